// Verbs that hand exceptions to the processing in this module, with the
// dialog, screenshot and send seams recording, and tell what happened:
//   process CASE REPORT
//     filtered     a class that inherits from the filter's "ETestBase"
//     console      standard output goes to a file; the report reads it back
//     dialog       a minimised main window; the dialog seam notes whether it
//                  was restored
//     unhandled    a sink clears Handled
//     background   the send seam's thread blocks; the processing returns
//     outer        handler kind 2, then a report from the re-raise point
//     custom       the custom-data event answers a text; the report is kept
//     threads      two allocating workers, twenty reports
//     pause        a worker counts while the dialog seam watches it
//     sleeping     a worker reports while the main thread sleeps with its
//                  window minimised
//     real-dialog  the library's own dialog, which the test drives; the
//                  answer adds whether the clipboard holds the report and
//                  the send box's state
//   The answer is "result=N dialog=N log=N sent=N" and what the case adds.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "MessageBoxWatchdog.h"
#include "TestModuleDriver.h"
#include "base/Exception.h"
#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "dialog/DialogResources.h"
#include "dialog/ExceptionDialog.h"
#include "events/EventSinks.h"
#include "options/ActivationGate.h"
#include "processing/ProcessException.h"
#include "processing/ProcessingSeams.h"
#include "processing/ProcessingState.h"
#include "report/LogFile.h"
#include "report/LogFilePlace.h"
#include "stack/StackList.h"
#include "stack/ThreadsList.h"

extern "C" void __cxa_rethrow();

namespace brx_test_module {

namespace {

using namespace RevavaRez;

class ETestBase : public Exception {
 public:
  using Exception::Exception;
};
class ETestDerived : public ETestBase {
 public:
  using ETestBase::ETestBase;
};

struct TSeen {
  int Dialogs = 0;
  int Sent = 0;
  bool Background = false;
  bool WindowRestored = false;
  const TVezavuStackList* StackAtDialog = nullptr;
  std::string Extra;
};
TSeen Seen;
HWND MainWindow = nullptr;
std::atomic<long> Counter{0};
std::atomic<bool> CounterStill{false};

bool RecordDialog() {
  ++Seen.Dialogs;
  Seen.StackAtDialog = ProcessingState().StoredCallStack.get();
  if (MainWindow) Seen.WindowRestored = !IsIconic(MainWindow);
  return true;
}

void RecordSend(const TSendRequest& request) {
  ++Seen.Sent;
  Seen.Background = request.Background;
}

int LogCount() {
  TVezavuModuleOptionsEx options(false, "");
  options.Assign(LibraryState().Options.get());
  options.SetModuleFileName(ModuleFileNameOf(nullptr));
  const std::string path = LogFilePath(options);
  if (!LogFileExists(path)) return 0;
  TLogFile log(path, true);
  return log.Count();
}

// One language exception of the class, reported from here.
template <typename TError>
bool ProcessOne(uint8_t handlerKind = hkFull, uintptr_t address = 0, const char* message = "A processed error") {
  try {
    throw TError(message);
  } catch (const std::exception& e) {
    if (address == 0) address = reinterpret_cast<uintptr_t>(&ProcessOne<TError>) + 16;
    return ProcessException(const_cast<std::exception*>(&e), address, false, handlerKind, GetModuleHandleW(nullptr),
                            rtDecide, TExceptNotifyParams());
  }
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeMinimisedMainWindow() {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = PlainWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"BrxProcessingMain";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(WS_EX_APPWINDOW, L"BrxProcessingMain", L"Processing main window",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 400, 300, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ShowWindow(window, SW_MINIMIZE);
  MSG message;
  for (int i = 0; i < 100 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&message);
  return window;
}

// A worker in this module's threads list, as the library's own thread hooks
// would add it.
class TListedWorker {
 public:
  explicit TListedWorker(void (*body)(std::atomic<bool>&)) : FBody(body) {
    FThread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    TVezavuThreadsList& threads = *LibraryState().Threads;
    threads.WriteLock();
    ThreadRecord* record = threads.NewRecord(true);
    record->ThreadID = GetThreadId(FThread);
    record->Handle = DuplicateThreadHandle(FThread);
    record->Priority = GetThreadPriority(FThread);
    threads.WriteUnlock();
  }
  ~TListedWorker() {
    FStop = true;
    WaitForSingleObject(FThread, 30000);
    CloseHandle(FThread);
  }
  // The suspend count the thread had: 0 when nothing left it suspended.
  DWORD SuspendCount() {
    const DWORD count = SuspendThread(FThread);
    ResumeThread(FThread);
    return count;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* worker = static_cast<TListedWorker*>(self);
    worker->FBody(worker->FStop);
    return 0;
  }
  void (*FBody)(std::atomic<bool>&);
  std::atomic<bool> FStop{false};
  HANDLE FThread = nullptr;
};

void Allocating(std::atomic<bool>& stop) {
  while (!stop) {
    std::vector<char>* block = new std::vector<char>(512);
    delete block;
  }
}

void Counting(std::atomic<bool>& stop) {
  while (!stop) ++Counter;
}

HANDLE SendRelease = nullptr;
DWORD WINAPI BlockedSend(void*) { return WaitForSingleObject(SendRelease, 30000); }

bool SleepingResult = false;
DWORD WINAPI SleepingWorker(void*) {
  SleepingResult = ProcessOne<ETestDerived>();
  return 0;
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* locked = static_cast<const char*>(GlobalLock(data))) {
      text = locked;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

std::string Answer(bool result) {
  return "result=" + std::to_string(result ? 1 : 0) + " dialog=" + std::to_string(Seen.Dialogs) +
         " log=" + std::to_string(LogCount()) + " sent=" + std::to_string(Seen.Sent) + Seen.Extra;
}

int Process(const std::wstring& which, const std::wstring& report) {
  if (!LibraryState().Active) return WriteReport(report, "inactive") ? 0 : 3;
  ProcessingSeams.ShowExceptionDialog = RecordDialog;
  ProcessingSeams.SendReport = RecordSend;
  bool result = false;
  if (which == L"filtered") {
    TMessageBoxWatchdog boxes;
    result = ProcessOne<ETestDerived>();
    std::string closed;
    for (const std::wstring& box : boxes.TakeDismissed()) closed += " box=" + std::string(box.begin(), box.end());
    Seen.Extra = closed;
  } else if (which == L"console") {
    const std::wstring path = report + L".out";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | GENERIC_READ, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                              nullptr);
    HANDLE before = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
    result = ProcessOne<ETestDerived>();
    SetStdHandle(STD_OUTPUT_HANDLE, before);
    CloseHandle(file);
  } else if (which == L"dialog") {
    MainWindow = MakeMinimisedMainWindow();
    result = ProcessOne<ETestDerived>();
    Seen.Extra = std::string(" restored=") + (Seen.WindowRestored ? "1" : "0");
  } else if (which == L"unhandled") {
    TRevavaRezEvents sink;
    sink.ExceptionNotify = [](void*, TVezavuExceptionRecord*, bool& handled) { handled = false; };
    RevavaRezList().Register(&sink);
    result = ProcessOne<ETestDerived>();
    RevavaRezList().Unregister(&sink);
  } else if (which == L"background") {
    SendRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ProcessingSeams.SendReport = [](const TSendRequest& request) {
      RecordSend(request);
      // The send's own thread would still be busy when the processing ends.
      CloseHandle(CreateThread(nullptr, 0, BlockedSend, nullptr, 0, nullptr));
    };
    result = ProcessOne<ETestDerived>();
    Seen.Extra = std::string(" background=") + (Seen.Background ? "1" : "0") +
                 " stored=" + (ProcessingState().StoredCallStack ? "1" : "0");
    SetEvent(SendRelease);
  } else if (which == L"outer") {
    result = ProcessOne<ETestDerived>(hkOuterOnly);
    const TVezavuStackList* stored = ProcessingState().StoredCallStack.get();
    const std::string afterOuter = std::string(" stored=") + (stored ? "1" : "0") + " log-after-outer=" +
                                   std::to_string(LogCount()) + " dialog-after-outer=" + std::to_string(Seen.Dialogs);
    ProcessOne<ETestDerived>(hkFull, reinterpret_cast<uintptr_t>(&__cxa_rethrow) + 8);
    Seen.Extra = afterOuter + " reused=" + (stored != nullptr && Seen.StackAtDialog == stored ? "1" : "0");
  } else if (which == L"custom") {
    OnCustomDataRequest = [](TVezavuExceptionRecord*, std::string& text) { text = "Custom line"; };
    result = ProcessOne<ETestDerived>();
    OnCustomDataRequest = nullptr;
    return WriteReport(report, ProcessingState().ReportText) ? 0 : 3;
  } else if (which == L"threads") {
    TListedWorker first(Allocating), second(Allocating);
    const DWORD start = GetTickCount();
    int running = 0;
    for (int i = 0; i < 20; ++i) {
      ProcessingSeams.ShowExceptionDialog = [] {
        RecordDialog();
        return true;
      };
      result = ProcessOne<ETestDerived>();
    }
    const std::string& text = ProcessingState().ReportText;
    for (size_t at = text.find("Running Thread"); at != std::string::npos; at = text.find("Running Thread", at + 1))
      ++running;
    Seen.Extra = " ms=" + std::to_string(GetTickCount() - start) + " suspended=" +
                 std::to_string(first.SuspendCount()) + "," + std::to_string(second.SuspendCount()) +
                 " running=" + std::to_string(running);
  } else if (which == L"pause") {
    TListedWorker counting(Counting);
    while (Counter.load() == 0) SwitchToThread();
    ProcessingSeams.ShowExceptionDialog = [] {
      RecordDialog();
      const long before = Counter.load();
      // Long enough for a running worker to count many times over.
      const DWORD start = GetTickCount();
      while (GetTickCount() - start < 200) SwitchToThread();
      CounterStill = Counter.load() == before;
      return true;
    };
    result = ProcessOne<ETestDerived>();
    const long after = Counter.load();
    bool moved = false;
    for (DWORD start = GetTickCount(); !moved && GetTickCount() - start < 10000;) {
      moved = Counter.load() != after;
      SwitchToThread();
    }
    Seen.Extra = std::string(" still=") + (CounterStill ? "1" : "0") + " moved=" + (moved ? "1" : "0");
  } else if (which == L"sleeping") {
    MainWindow = MakeMinimisedMainWindow();
    const DWORD start = GetTickCount();
    // The main thread reads no messages while the worker reports.
    HANDLE worker = CreateThread(nullptr, 0, SleepingWorker, nullptr, 0, nullptr);
    WaitForSingleObject(worker, 30000);
    CloseHandle(worker);
    result = SleepingResult;
    Seen.Extra = " ms=" + std::to_string(GetTickCount() - start);
  } else if (which == L"real-dialog") {
    ProcessingSeams.ShowExceptionDialog = RevavaRez::ShowExceptionDialog;
    TMessageBoxWatchdog boxes;
    boxes.Spare(L"Error.", kIdTabs);
    result = ProcessOne<ETestDerived>();
    const bool onClipboard = !ProcessingState().ReportText.empty() && ClipboardText() == ProcessingState().ReportText;
    Seen.Extra = std::string(" clipboard=") + (onClipboard ? "1" : "0") +
                 " send-box=" + (ProcessingState().SendChecked ? "1" : "0") +
                 " boxes=" + std::to_string(boxes.TakeDismissed().size());
  } else {
    return 2;
  }
  return WriteReport(report, Answer(result)) ? 0 : 3;
}

}  // namespace

int RunProcessingVerbs(const std::vector<std::wstring>& arguments) {
  if (arguments.size() == 3 && arguments[0] == L"process") return Process(arguments[1], arguments[2]);
  return kNotMyVerb;
}

}  // namespace brx_test_module
