// Warnings carry failures of sending and logging to the user and the
// debugger; any thread may report one.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "core/Errors.h"
#include "core/ExceptionLog.h"
#include "core/Hooks.h"
#include "MessageBoxWatchdog.h"
#include "PumpUntil.h"

using namespace RevavaRez;

namespace {

TEST(Warnings, TheLastOneIsKeptAndCleared) {
  ReportWarning(eeLogError, "cannot write");
  EXPECT_EQ(LastWarning().Code, eeLogError);
  EXPECT_EQ(LastWarning().Message, "cannot write");
  try {
    throw EConvertError("bad number");
  } catch (...) {
    WarnFromException(eeEmailSMTPError, "SMTP");
  }
  EXPECT_EQ(LastWarning().Code, eeEmailSMTPError);
  EXPECT_EQ(LastWarning().Message, "[SMTP] bad number");
  try {
    throw 3;
  } catch (...) {
    WarnFromException(eeWebFTPError, "FTP");
  }
  EXPECT_EQ(LastWarning().Message, "General 'FTP' error.");
  ClearWarning();
  EXPECT_EQ(LastWarning().Code, eeNoError);
  EXPECT_EQ(LastWarning().Message, "");
  EXPECT_STREQ(ErrorCodeName(eeWebHTTPSError), "eeWebHTTPSError");
  EXPECT_STREQ(ErrorCodeName(eeShowError), "eeShowError");
}

TEST(Warnings, ThreadsReportingAtOnceLeaveOneWholeWarning) {
  std::string a(300, 'a'), b(500, 'b');
  std::thread first([&] {
    for (int i = 0; i < 2000; ++i) ReportWarning(eeWebHTTPError, a);
  });
  std::thread second([&] {
    for (int i = 0; i < 2000; ++i) ReportWarning(eeWebFTPError, b);
  });
  for (int i = 0; i < 2000; ++i) {
    TWarning w = LastWarning();
    ASSERT_TRUE(w.Message.empty() || w.Message == a || w.Message == b);
  }
  first.join();
  second.join();
  TWarning w = LastWarning();
  EXPECT_TRUE((w.Code == eeWebHTTPError && w.Message == a) || (w.Code == eeWebFTPError && w.Message == b));
  ClearWarning();
}

bool DialogUp() { return true; }

TEST(Warnings, SendingFailuresShowWhileTheProgressDialogIsUp) {
  TMessageBoxWatchdog watchdog;
  ReportWarning(eeWebHTTPError, "no answer");  // no dialog: no box
  EXPECT_TRUE(watchdog.TakeDismissed().empty());
  auto saved = LibraryHooks.SendProgressDialogUp;
  LibraryHooks.SendProgressDialogUp = DialogUp;
  ReportWarning(eeLogError, "log only");  // not a sending failure
  ReportWarning(eeWebHTTPError, "no answer");
  LibraryHooks.SendProgressDialogUp = saved;
  std::vector<std::wstring> boxes = watchdog.TakeDismissed();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].substr(0, 7), L"Error.:");
  EXPECT_NE(boxes[0].find(L"no answer"), std::wstring::npos);
  ClearWarning();
}

}  // namespace
