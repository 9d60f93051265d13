// The raise and unwind hooks' bodies in the test process, with test
// originals in place of kernel32's: what they leave in the thread's state
// and that the original runs once.
#include <gtest/gtest.h>
#include <windows.h>

#include "interception/Dispatch.h"
#include "interception/RaiseInterception.h"
#include "interception/ThreadExceptionState.h"
#include "options/ActivationGate.h"
#include "stack/ThreadContext.h"

namespace {

using namespace RevavaRez;

int UnwindCalls = 0;
EXCEPTION_RECORD* UnwoundRecord = nullptr;
void WINAPI TestUnwind(void*, void*, EXCEPTION_RECORD* record, void*) {
  ++UnwindCalls;
  UnwoundRecord = record;
}

// The library works in this process for the test's time; the test's
// originals stand in for kernel32's.
class RaiseHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    FActive = LibraryState().Active;
    LibraryState().Active = true;
    FSavedUnwind = OriginalRtlUnwind;
    OriginalRtlUnwind = TestUnwind;
    UnwindCalls = 0;
    UnwoundRecord = nullptr;
    ClearThreadExceptionState();
  }
  void TearDown() override {
    OriginalRtlUnwind = FSavedUnwind;
    LibraryState().Active = FActive;
    ClearThreadExceptionState();
  }

 private:
  bool FActive = false;
  TRtlUnwind FSavedUnwind = nullptr;
};

EXCEPTION_RECORD Record(DWORD code, DWORD flags, DWORD count) {
  EXCEPTION_RECORD record{};
  record.ExceptionCode = code;
  record.ExceptionFlags = flags;
  record.NumberParameters = count;
  record.ExceptionAddress = reinterpret_cast<void*>(&TestUnwind);
  return record;
}

TEST_F(RaiseHooks, AnUnwoundViolationIsSeenAsCaughtAndLeavesNoFreedObjectBehind) {
  const uintptr_t dispatchedBefore = LastDispatchedAddress();
  EXCEPTION_RECORD record = Record(EXCEPTION_ACCESS_VIOLATION, 2, 2);
  RtlUnwindHook(nullptr, nullptr, &record, nullptr);
  EXPECT_EQ(UnwindCalls, 1);
  EXPECT_EQ(UnwoundRecord, &record);
  // Caught: nothing processed. The object made for it is gone, and no raise
  // names it.
  EXPECT_EQ(LastDispatchedAddress(), dispatchedBefore);
  EXPECT_FALSE(ThreadExceptionState().HasLastRaise);
  EXPECT_EQ(ThreadExceptionState().LastRaiseObject, nullptr);
}

TEST_F(RaiseHooks, AnUnwindKeepsAnEarlierRaiseAndCallsTheOriginalWhateverTheRecord) {
  int earlier = 0;
  const struct {
    DWORD Code, Flags, Count;
  } records[] = {{EXCEPTION_ACCESS_VIOLATION, 2, 2}, {0xC0000004, 2, 2}, {0xC000013B, 2, 2},
                 {EXCEPTION_ACCESS_VIOLATION, 0, 2}, {EXCEPTION_ACCESS_VIOLATION, 2, 3}};
  for (const auto& r : records) {
    SCOPED_TRACE(r.Code);
    ThreadExceptionState().HasLastRaise = true;
    ThreadExceptionState().LastRaiseObject = &earlier;
    EXCEPTION_RECORD record = Record(r.Code, r.Flags, r.Count);
    UnwindCalls = 0;
    RtlUnwindHook(nullptr, nullptr, &record, nullptr);
    EXPECT_EQ(UnwindCalls, 1);
    EXPECT_TRUE(ThreadExceptionState().HasLastRaise);
    EXPECT_EQ(ThreadExceptionState().LastRaiseObject, &earlier);
  }
  UnwindCalls = 0;
  RtlUnwindHook(nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(UnwindCalls, 1);
}

TEST_F(RaiseHooks, ALanguageRaiseBecomesTheThreadsLastRaiseWithItsRegisters) {
  int object = 0;
  const uintptr_t address = reinterpret_cast<uintptr_t>(&TestUnwind) + 0x30;
  const ULONG_PTR arguments[7] = {address, reinterpret_cast<ULONG_PTR>(&object), 0x11, 0x22, 0x33, 0x44, 0x55};
  ThreadExceptionState().StackPointer = 0x1000;
  RaiseHookBody(kLanguageRaiseCode, 1, 7, arguments, false);
  const TThreadExceptionState& state = ThreadExceptionState();
  EXPECT_EQ(LastRaiseAddressOf(&object), address);
  EXPECT_EQ(LastRaiseAddressOf(&state), 0u);
  EXPECT_TRUE(state.LastRaiseLanguage);
  EXPECT_EQ(state.Frame, 0x1000u);
  ASSERT_TRUE(state.HasContext);
  const CONTEXT& context = state.Context.Context;
  EXPECT_EQ(context.ContextFlags, kContextFlags);
  EXPECT_EQ(ContextInstructionPointer(context), address - 5);
  EXPECT_EQ(ContextStackPointer(context), 0x1000u);
#if defined(__x86_64__)
  EXPECT_EQ(context.Rax, reinterpret_cast<uintptr_t>(&object));
  EXPECT_EQ(context.Rdx, address);
  EXPECT_EQ(context.Rbx, 0x11u);
  EXPECT_EQ(context.Rbp, 0x44u);
#else
  EXPECT_EQ(context.Eax, reinterpret_cast<uintptr_t>(&object));
  EXPECT_EQ(context.Edx, address);
  EXPECT_EQ(context.Ebx, 0x11u);
  EXPECT_EQ(context.Ebp, 0x44u);
#endif
}

TEST_F(RaiseHooks, OtherRaisesLeaveTheLanguageStateAlone) {
  int object = 0;
  const ULONG_PTR arguments[7] = {0x1234, reinterpret_cast<ULONG_PTR>(&object), 0, 0, 0, 0, 0};
  const struct {
    DWORD Code, Flags, Count;
  } raises[] = {{kLanguageRaiseCode, 0, 7}, {kLanguageRaiseCode, 1, 6}, {0xE06D7363, 1, 7}};
  for (const auto& r : raises) {
    RaiseHookBody(r.Code, r.Flags, r.Count, arguments, false);
    EXPECT_FALSE(ThreadExceptionState().HasLastRaise);
    EXPECT_FALSE(ThreadExceptionState().HasContext);
  }
  RaiseHookBody(kLanguageRaiseCode, 1, 7, nullptr, false);
  EXPECT_FALSE(ThreadExceptionState().HasLastRaise);
}

}  // namespace
