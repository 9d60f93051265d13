// The stack copy of a worker thread blocked inside an active copy of the
// test library, and the walk of that copy.
#include <gtest/gtest.h>

#include "ModuleCopy.h"
#include "moduleinfo/ModulesList.h"
#include "stack/StackWalk.h"
#include "stack/ThreadContext.h"

using brx_test::TBlockForm;
using namespace RevavaRez;

namespace {

const wchar_t kModule[] = L"brx_test_module_dll.dll";
const char kWorker[] = "TestModuleBlockedWorker";
// The worker is small: its calls lie within this many bytes of its start.
constexpr uint32_t kWorkerSpan = 0x100;

struct TBlockedWorkerEvents {
  HANDLE Started;
  HANDLE Release;
};

// The worker's offset from the module's handle + 4096, as built.
bool WorkerOffset(uint32_t& offset) {
  HMODULE module = LoadLibraryW(brx_test::TestModulePath(kModule).c_str());
  if (module == nullptr) return false;
  const auto worker = reinterpret_cast<uintptr_t>(GetProcAddress(module, kWorker));
  if (worker != 0) offset = static_cast<uint32_t>(worker - reinterpret_cast<uintptr_t>(module) - 4096);
  FreeLibrary(module);
  return worker != 0;
}

// The worker thread in the copy, blocked until the object goes.
class TBlockedWorker {
 public:
  explicit TBlockedWorker(const brx_test::TModuleCopy& copy) {
    FEvents.Started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FEvents.Release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto worker = copy.Export<LPTHREAD_START_ROUTINE>(kWorker);
    if (worker) FThread = CreateThread(nullptr, 0, worker, &FEvents, 0, nullptr);
    FRunning = FThread != nullptr && WaitForSingleObject(FEvents.Started, 10000) == WAIT_OBJECT_0;
  }
  ~TBlockedWorker() {
    SetEvent(FEvents.Release);
    if (FThread) {
      WaitForSingleObject(FThread, 10000);
      CloseHandle(FThread);
    }
    CloseHandle(FEvents.Started);
    CloseHandle(FEvents.Release);
  }
  bool Running() const { return FRunning; }
  HANDLE Thread() const { return FThread; }

 private:
  TBlockedWorkerEvents FEvents{};
  HANDLE FThread = nullptr;
  bool FRunning = false;
};

brx_test::Bytes Block(bool debugData, uint32_t workerOffset) {
  brx_test::TDataBlock block;
  // Before version 500 names are only scrambled, so they read without a
  // password.
  block.Version = 499;
  block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, block.Version);
  if (debugData) {
    // One unit whose one procedure starts at the worker and spans it.
    brx_test::TDebugUnit unit;
    unit.Name = brx_test::NameRecord("Workers", block.Version);
    unit.FirstLine = 40;
    unit.CodeStart = workerOffset - 1;
    unit.CodeSize = kWorkerSpan + 1;
    unit.Table = brx_test::Cat({brx_test::ByteProcedureLine(1, 1), brx_test::NameRecord("TWorker.Blocked", block.Version)});
    block.DebugData = brx_test::DebugData({unit}, block.Version);
  }
  return brx_test::ResourceBlock(block);
}

}  // namespace

TEST(CaptureThreadStack, AWorkerBlockedInAnActiveModule) {
  uint32_t offset = 0;
  ASSERT_TRUE(WorkerOffset(offset));
  brx_test::TTempFolder folder(L"capture");
  for (bool debugData : {false, true}) {
    SCOPED_TRACE(debugData ? "with debug data" : "without debug data");
    brx_test::TModuleCopy copy(folder, kModule, debugData ? L"capture_debug.dll" : L"capture.dll",
                               TBlockForm::Resource, Block(debugData, offset));
    ASSERT_NE(copy.Handle(), nullptr);
    const auto worker = reinterpret_cast<uintptr_t>(copy.Export<void*>(kWorker));
    {
      TBlockedWorker blocked(copy);
      ASSERT_TRUE(blocked.Running());
      const TCapturedStack captured = CaptureThreadStack(blocked.Thread());
      ASSERT_TRUE(captured.Ok);
      EXPECT_NE(ContextInstructionPointer(captured.Context.Context), 0u);
      EXPECT_NE(ContextStackPointer(captured.Context.Context), 0u);
      EXPECT_EQ(captured.StackPointer, ContextStackPointer(captured.Context.Context));
      ASSERT_FALSE(captured.Copy.empty());
      EXPECT_LE(captured.Copy.size(), kStackWalkLimit);
      // Resumed: the next suspension is the first.
      EXPECT_EQ(SuspendThread(blocked.Thread()), 0u);
      ResumeThread(blocked.Thread());

      TVezavuStackList list;
      TWalkOptions options;
      options.ThreadID = GetThreadId(blocked.Thread());
      const auto start = reinterpret_cast<uintptr_t>(captured.Copy.data());
      WalkStack(list, 0, start, start + captured.Copy.size() - 1, options);
      // A scanning walk also finds stale return addresses: only the worker's
      // own entry is checked.
      const TVezavuStackEntry* found = nullptr;
      for (int i = 0; i < list.Count() && found == nullptr; ++i) {
        const TVezavuStackEntry* e = list.Items(i);
        if (e->Kind != dkAddress && e->Address > worker && e->Address < worker + kWorkerSpan) found = e;
      }
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->ThreadID, options.ThreadID);
      ASSERT_NE(found->Module, nullptr);
      EXPECT_EQ(found->Module->Handle, copy.Handle());
      if (debugData) {
        EXPECT_EQ(found->Kind, dkLineTables);
        EXPECT_EQ(found->UnitName, "Workers.pas");
        EXPECT_EQ(found->ClassName, "TWorker");
        EXPECT_EQ(found->ProcedureName, "Blocked");
        EXPECT_EQ(found->Line, 41);
      } else {
        EXPECT_EQ(found->Kind, dkExportName);
        EXPECT_EQ(found->ProcedureName, kWorker);
      }
    }
    // No later lookup may find the record once the copy is gone.
    const int index = Modules().IndexOfHandle(copy.Handle());
    if (index >= 0) Modules().Drop(index);
  }
}

TEST(CaptureThreadStack, RefusesTheCallingThreadAndNoThread) {
  EXPECT_FALSE(CaptureThreadStack(nullptr).Ok);
  EXPECT_FALSE(CaptureThreadStack(GetCurrentThread()).Ok);
}
