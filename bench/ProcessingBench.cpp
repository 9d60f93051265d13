// The whole processing of an access-violation report against the work a
// report cannot do without. An active console program (a copy of this one
// with a data block of default options) with 10 waiting workers in its
// threads list and a log already holding 32 reports makes 50 reports, the
// dialog returning at once and no mail or web mode. The baseline, in the
// same run: capture and walk the same threads, build the report text, add
// it to the log and save it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DataBlockBuilder.h"
#include "FolderTree.h"
#include "core/ExceptionLog.h"
#include "core/ExternalExceptions.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "moduleinfo/ModulesList.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessException.h"
#include "processing/ProcessingSeams.h"
#include "report/LogFile.h"
#include "report/ReportText.h"
#include "stack/StackWalk.h"
#include "stack/ThreadContext.h"
#include "stack/ThreadsList.h"

using namespace RevavaRez;

namespace {

constexpr int kWorkers = 10;
constexpr int kLogReports = 32;
constexpr int kReports = 50;

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct TWorker {
  HANDLE Added = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE Release = nullptr;
  HANDLE Thread = nullptr;
};

// The end of the calling thread's stack reservation: the regions above a
// local variable that belong to the same allocation.
uintptr_t StackTop() {
  volatile int local = 0;
  MEMORY_BASIC_INFORMATION region{};
  auto at = reinterpret_cast<uintptr_t>(&local);
  if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) != sizeof region) return 0;
  void* const base = region.AllocationBase;
  uintptr_t top = at;
  while (VirtualQuery(reinterpret_cast<void*>(top), &region, sizeof region) == sizeof region &&
         region.AllocationBase == base)
    top = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  return top;
}

// Joins the threads list as the start-up hooks would list a raw thread,
// then waits.
DWORD WINAPI WorkerThread(void* parameter) {
  auto* worker = static_cast<TWorker*>(parameter);
  TVezavuThreadsList& threads = *LibraryState().Threads;
  threads.WriteLock();
  ThreadRecord* record = threads.NewRecord(true);
  record->ThreadID = GetCurrentThreadId();
  record->Handle = DuplicateThreadHandle(GetCurrentThread());
  record->StackTop = StackTop();
  record->StartAddress = reinterpret_cast<void*>(&WorkerThread);
  threads.WriteUnlock();
  SetEvent(worker->Added);
  WaitForSingleObject(worker->Release, INFINITE);
  return 0;
}

// An access violation at a place in this program, reading address 0x10.
EXCEPTION_RECORD ViolationRecord() {
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(&ViolationRecord) + 8);
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = 0;
  record.ExceptionInformation[1] = 0x10;
  return record;
}

void ProcessOne(const EXCEPTION_RECORD& record) {
  std::unique_ptr<EExternal> object = ExternalExceptionFor(record);
  TThreadContext context{};
  RtlCaptureContext(&context.Context);
  TExceptNotifyParams params;
  params.Context = &context.Context;
  params.ThreadID = GetCurrentThreadId();
  ProcessException(object.get(), reinterpret_cast<uintptr_t>(record.ExceptionAddress), false, hkFull,
                   GetModuleHandleW(nullptr), rtConsole, params);
}

// What a report needs at the least, from the same threads and options.
void NecessaryWork(const EXCEPTION_RECORD& record, const TVezavuModuleOptions& options, const std::string& log) {
  std::unique_ptr<EExternal> object = ExternalExceptionFor(record);
  TLibraryState& state = LibraryState();
  TThreadContext context{};
  RtlCaptureContext(&context.Context);
  TVezavuStackList stack;
  WalkCurrentThread(stack, TWalkOptions());
  {
    TVezavuThreadsList threads(*state.Threads);
    for (int i = 0; i < threads.Count(); ++i) {
      const ThreadRecord& thread = *threads.Items(i);
      if (thread.ThreadID == GetCurrentThreadId()) continue;
      TCapturedStack captured = CaptureThreadStack(thread.Handle);
      if (!captured.Ok || captured.Copy.empty()) continue;
      TWalkOptions walk;
      walk.ThreadID = thread.ThreadID;
      const auto start = reinterpret_cast<uintptr_t>(captured.Copy.data());
      WalkStack(stack, ContextInstructionPointer(captured.Context.Context), start, start + captured.Copy.size() - 1,
                walk);
    }
  }
  TReportInputs inputs;
  inputs.Options = &options;
  inputs.ExceptionObject = object.get();
  inputs.Address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
  inputs.SystemRecord = &object->SystemRecord();
  inputs.Params.Context = &context.Context;
  const TReportText text = BuildReportText(inputs, stack, Modules(), state.Threads.get(), state.MainThreadID);
  TLogFile file(log, false);
  file.AddEntry(text.Text, options.LogCapacity());
  file.Save();
}

// The console's copy of the report is not what is measured.
void QuietStandardOutput() {
  HANDLE null = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (null != INVALID_HANDLE_VALUE) SetStdHandle(STD_OUTPUT_HANDLE, null);
  std::freopen("NUL", "w", stdout);
}

int RunActive(const std::string& console) {
  TLibraryState& state = LibraryState();
  ProcessingSeams.ShowExceptionDialog = [] { return true; };
  std::vector<TWorker> workers(kWorkers);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (TWorker& worker : workers) {
    worker.Release = release;
    worker.Thread = CreateThread(nullptr, 0, WorkerThread, &worker, 0, nullptr);
    WaitForSingleObject(worker.Added, 10000);
  }
  const int listed = state.Threads->Count();
  const EXCEPTION_RECORD record = ViolationRecord();

  // The options as the processing makes them for this program: its file
  // names the log.
  TVezavuModuleOptionsEx options(false, "");
  options.Assign(state.Options.get());
  options.SetModuleFileName(ModuleFileNameOf(nullptr));
  const std::string processingLog = LogFilePath(options);
  const std::string baselineLog = ChangeFileExt(processingLog, ".baseline.rrl");

  QuietStandardOutput();
  for (int i = 0; i < kLogReports; ++i) ProcessOne(record);
  for (int i = 0; i < kLogReports; ++i) NecessaryWork(record, options, baselineLog);

  LARGE_INTEGER t0, t1, t2;
  QueryPerformanceCounter(&t0);
  for (int i = 0; i < kReports; ++i) ProcessOne(record);
  QueryPerformanceCounter(&t1);
  for (int i = 0; i < kReports; ++i) NecessaryWork(record, options, baselineLog);
  QueryPerformanceCounter(&t2);
  int logged = 0;
  {
    TLogFile log(processingLog, true);
    logged = log.Count();
  }

  SetEvent(release);
  for (TWorker& worker : workers) {
    WaitForSingleObject(worker.Thread, 10000);
    CloseHandle(worker.Thread);
    CloseHandle(worker.Added);
  }
  CloseHandle(release);

  const double processing = Milliseconds(t0, t1) / kReports, baseline = Milliseconds(t1, t2) / kReports;
  char text[1024];
  std::snprintf(text, sizeof text,
                "processing_bench: %d access-violation reports, %d threads listed, log of %d reports\r\n"
                "  ProcessException:              %8.3f ms per report\r\n"
                "  capture, walk, text, log save: %8.3f ms per report (baseline)\r\n"
                "  ratio:                         %8.2f (target at most 1.5)\r\n",
                kReports, listed, logged, processing, baseline, baseline > 0 ? processing / baseline : 0.0);
  HANDLE out = CreateFileA(console.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  CloseHandle(out);
  return logged == kLogReports ? 0 : 1;
}

// Makes an active copy of this program with default options and runs it;
// prints what it measured.
int RunCopy() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "brx processing bench " + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string self = ModuleFileNameOf(nullptr);
  const std::string copy = folder + "\\processing_bench.exe";
  const std::string result = folder + "\\result.txt";
  brx_test::TDataBlock block;
  block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, block.Version);
  const std::wstring wideCopy(copy.begin(), copy.end());
  int code = 1;
  if (!CopyFileA(self.c_str(), copy.c_str(), FALSE) ||
      !brx_test::AppendToFile(wideCopy, brx_test::TrailerBlock(block))) {
    std::printf("processing_bench: cannot make the active copy\n");
  } else {
    std::string command = "\"" + copy + "\" run \"" + result + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(copy.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                       &process)) {
      WaitForSingleObject(process.hProcess, INFINITE);
      DWORD exit = 1;
      GetExitCodeProcess(process.hProcess, &exit);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      code = static_cast<int>(exit);
      FILE* file = std::fopen(result.c_str(), "rb");
      if (file) {
        char line[1024];
        while (std::fgets(line, sizeof line, file)) std::fputs(line, stdout);
        std::fclose(file);
      } else {
        std::printf("processing_bench: the active copy measured nothing (exit code %d)\n", code);
      }
    }
  }
  RemoveTree(folder);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "run") {
    if (!LibraryState().Active) return 2;
    return RunActive(argv[2]);
  }
  return RunCopy();
}
