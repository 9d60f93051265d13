// Handles, threads, the debugger test, time zones, event rebinding, and the
// internal-error report that stays silent for a user without a debugger.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "core/Errors.h"
#include "core/ExceptionLog.h"
#include "core/Hooks.h"
#include "core/NamedEvents.h"
#include "core/VArev.h"
#include "core/VArevText.h"

using namespace RevavaRez;

namespace {

TEST(SystemHelpers, HandlesAndThreadsOnBothPlatformBranches) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (DWORD platform : {DWORD(VER_PLATFORM_WIN32_NT), DWORD(VER_PLATFORM_WIN32_WINDOWS)}) {
    EXPECT_TRUE(HandleIsValid(event, platform)) << platform;
    EXPECT_FALSE(HandleIsValid(reinterpret_cast<HANDLE>(0x7FF0), platform)) << platform;
  }
  CloseHandle(event);
  EXPECT_FALSE(HandleIsValid(event));

  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(
      nullptr, 0, [](void* go) WINAPI -> DWORD { return WaitForSingleObject(go, 30000); }, go, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(ThreadIsRunning(thread));
  SetEvent(go);
  ASSERT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
  EXPECT_FALSE(ThreadIsRunning(thread));
  CloseHandle(thread);
  CloseHandle(go);
  EXPECT_FALSE(IsDebuggerAttached());
}

TEST(SystemHelpers, ZoneHoursAreRounded) {
  TDateTime utc = EncodeDateTime(2007, 1, 31, 12);
  EXPECT_EQ(RoundedZoneHours(EncodeDateTime(2007, 1, 31, 20), utc), 8);
  EXPECT_EQ(RoundedZoneHours(EncodeDateTime(2007, 1, 31, 7), utc), -5);
  EXPECT_EQ(RoundedZoneHours(EncodeDateTime(2007, 1, 31, 17, 30), utc), 6);  // +5:30 rounds to 6
  EXPECT_EQ(RoundedZoneHours(EncodeDateTime(2007, 1, 31, 2, 15), utc), -10);
  int zone = TimeZoneHours();
  EXPECT_GE(zone, -12);
  EXPECT_LE(zone, 14);
  EXPECT_EQ(MailDate(utc).substr(0, 26), "Wed, 31 Jan 2007 12:00:00 ");
  EXPECT_EQ(WindowsVersionName().substr(0, 18), "Microsoft Windows ");
}

class TEventfulObject : public INamedEvents {
 public:
  std::map<std::string, void*> Events = {{"OnException", nullptr}};
  bool GetEventCode(const std::string& name, void*& code) const override {
    auto it = Events.find(name);
    if (it == Events.end()) return false;
    code = it->second;
    return true;
  }
  void SetEventCode(const std::string& name, void* code) override { Events[name] = code; }
};

TEST(SystemHelpers, ReplaceEventHandlerSwapsOnlyAnExistingDifferentCode) {
  TEventfulObject object;
  int first, second;
  EXPECT_EQ(ReplaceEventHandler(&object, "OnException", &first), nullptr);
  EXPECT_EQ(object.Events["OnException"], &first);
  EXPECT_EQ(ReplaceEventHandler(&object, "OnException", &second), &first);
  EXPECT_EQ(ReplaceEventHandler(&object, "OnException", &second), nullptr);  // the same code
  EXPECT_EQ(ReplaceEventHandler(&object, "OnIdle", &first), nullptr);
  EXPECT_EQ(object.Events.count("OnIdle"), 0u);
  EXPECT_EQ(ReplaceEventHandler(nullptr, "OnException", &first), nullptr);
}

TEST(InternalErrors, WithoutADebuggerOrTheIDENothingIsReported) {
  std::string log = ChangeFileExt(ModuleFileNameOf(nullptr), ".log");
  DeleteFileA(log.c_str());
  try {
    throw EConvertError("inside");
  } catch (...) {
    InternalErrorHandler("ExceptionLog.Init");
  }
  InternalErrorHandler("outside a catch");  // no current exception: no fault either
  EXPECT_EQ(GetFileAttributesA(log.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(InternalStackText(), "");
}

std::vector<TStackEntryText> TwoEntries() {
  TStackEntryText first;
  first.Address = 0xAB12;
  first.ModuleHandle = 0x400000;
  first.ModuleName = "Prog.exe";
  TStackEntryText second = first;
  second.Address = 0xCD34;
  second.Line = 12;
  second.Unit = "UnitMain";
  second.ClassName = "TForm1";
  second.Procedure = "Button1Click";
  second.LineText = "12[3]";
  return {first, second};
}

TEST(InternalErrors, StackTextHasOneLineAnEntryIndentedAfterTheFirst) {
  auto saved = LibraryHooks.CurrentThreadStack;
  LibraryHooks.CurrentThreadStack = TwoEntries;
  std::string text = InternalStackText();
  LibraryHooks.CurrentThreadStack = saved;
  std::string pad(sizeof(void*) * 2 - 8, '0');
  EXPECT_EQ(text, "00 $" + pad + "0000ab12 - [" + pad + "00400000] Prog.exe \r\n" + std::string(12, ' ') +
                      "01 $" + pad + "0000cd34 - [" + pad +
                      "00400000] Prog.exe  - UnitMain - TForm1 - Button1Click - 12[3]\r\n");
}

}  // namespace
