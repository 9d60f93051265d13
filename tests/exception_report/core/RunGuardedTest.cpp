// Every unit's set-up and shut-down runs guarded: a failure must be reported
// once and in the right form, never lost and never thrown at the loader.
#include <gtest/gtest.h>

#include "core/Errors.h"
#include "core/VArev.h"
#include "core/VArevText.h"

using namespace RevavaRez;

namespace {

std::vector<std::string> Reported;
std::string ReportedMessage;

void RecordingHook(const std::string& section) {
  Reported.push_back(section);
  // The hook runs while the failure is the current exception.
  try {
    throw;
  } catch (const std::exception& e) {
    ReportedMessage = e.what();
  } catch (...) {
    ReportedMessage = "?";
  }
}

void Fine() {}
void Fails() { throw Exception("disk gone"); }
void ThrowsInt() { throw 42; }

class Guarded : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = InternalErrorHook;
    Reported.clear();
    ReportedMessage.clear();
  }
  void TearDown() override { InternalErrorHook = saved; }
  TInternalErrorHook saved = nullptr;
};

std::string MessageOf(void (*procedure)(), const char* label) {
  try {
    RunGuarded(procedure, label);
  } catch (const EAbort&) {
    return "EAbort";
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no exception";
}

TEST_F(Guarded, WithTheHookTheFailureIsReportedAndAbortsSilently) {
  InternalErrorHook = RecordingHook;
  EXPECT_EQ(MessageOf(Fine, "VArev.Init"), "no exception");
  EXPECT_TRUE(Reported.empty());
  EXPECT_EQ(MessageOf(Fails, "EHook.Init"), "EAbort");
  ASSERT_EQ(Reported.size(), 1u);
  EXPECT_EQ(Reported[0], "EHook.Init (Address: " + AddressText(reinterpret_cast<uintptr_t>(&Fails)) + ")");
  EXPECT_EQ(ReportedMessage, "disk gone");
}

TEST_F(Guarded, WithoutTheHookTheFailureBecomesACriticalError) {
  InternalErrorHook = nullptr;
  EXPECT_EQ(MessageOf(Fails, "ESockets.Init"),
            "Critical error at: \"ESockets.Init\"\r\nError: \"disk gone\".");
  EXPECT_EQ(MessageOf(ThrowsInt, "ESockets.Done"), "General internal error.");
}

TEST_F(Guarded, AtTheEntryNothingEscapes) {
  InternalErrorHook = nullptr;
  EXPECT_TRUE(RunGuardedAtEntry(Fine, "VArev.Init"));
  EXPECT_FALSE(RunGuardedAtEntry(Fails, "VArev.Init"));
  EXPECT_FALSE(RunGuardedAtEntry(ThrowsInt, "VArev.Init"));
  InternalErrorHook = RecordingHook;
  EXPECT_FALSE(RunGuardedAtEntry(Fails, "VArev.Init"));
  EXPECT_EQ(Reported.size(), 1u);
}

TEST(VArevUnit, SetUpAndShutDownAreCountedAndTheHostIsNotTheIDE) {
  VArevInit();
  VArevInit();  // nested: nothing more
  VArevDone();
  VArevDone();
  EXPECT_FALSE(IsIDEHost());
  EXPECT_TRUE(IsIDEHostName(std::string("C:\\Tools\\") + LowerCase(IDEHostFileName)));
  EXPECT_FALSE(IsIDEHostName("C:\\Tools\\Brindolux.exe"));
  EXPECT_FALSE(IsIDEHostName(std::string(IDEHostFileName) + "\\other.exe"));
}

}  // namespace
