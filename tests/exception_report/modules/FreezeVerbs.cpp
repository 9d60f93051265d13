// The freeze watchdog's verbs: a main window that stops answering, with the
// dialog seam recording every report.
//   freeze CASE REPORT   one case of the watch in this module:
//     hang1       the main thread ignores messages for 1 s
//     hang3       ... for 3 s
//     failsend    every send fails at once; the report's delay after start
//     sink        a notify sink holds the main thread 3 s in a processing
//     destroyed   the window is destroyed, then the thread ignores 3 s
//     nowindow    no window; how long the stop takes
//     off         FreezeSeconds 0; the options' switch
//   freeze-dll DLL REPORT   the library DLL watches while the main thread
//                           ignores messages 3 s; a thread stops the watch
//                           through the options during the report
// The answer is "reports=N" and what the case adds.
#include <windows.h>

#include <atomic>
#include <string>

#include "TestModuleDriver.h"
#include "core/Hooks.h"
#include "events/EventSinks.h"
#include "interception/Dispatch.h"
#include "options/ActivationGate.h"
#include "options/CurrentRevavaRezOptions.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingSeams.h"
#include "processing/ProcessingState.h"
#include "watchdog/FreezeWatch.h"

using namespace RevavaRez;

extern "C" __declspec(dllexport) void FreezeTestHang(DWORD ms);

namespace {

constexpr DWORD kBound = 8000;
const wchar_t kTitle[] = L"Freezing main window";

struct TFreezeSeen {
  std::atomic<int> Reports{0};
  std::atomic<int> FreezeReports{0};
  std::string Message;
  std::string Report;
  DWORD ReportThread = 0;
  uint64_t At = 0;
  // Set on the processing thread during a report, for the DLL case.
  void (*AtReport)() = nullptr;
};
TFreezeSeen Seen;

bool RecordDialog() {
  ++Seen.Reports;
  const std::string message = ProcessingState().LastExceptionMessage;
  if (message.find("frozen") != std::string::npos) {
    ++Seen.FreezeReports;
    Seen.Message = message;
    Seen.Report = ProcessingState().ReportText;
    if (Seen.At == 0) Seen.At = GetTickCount64();
  }
  if (Seen.AtReport) Seen.AtReport();
  return true;
}


// The watch's options as the test's data block gives them (2 s), set
// without the switch's start.
// The options' switch acts on the current options, the watch reads the
// library's own: both get them.
TVezavuModuleOptionsEx* CurrentOptions() {
  try {
    return CurrentRevavaRezOptions();
  } catch (...) {
    return nullptr;
  }
}

void WatchOptions(uint8_t behaviourFlags) {
  for (TVezavuModuleOptionsEx* options : {LibraryState().Options.get(), CurrentOptions()}) {
    if (options == nullptr) continue;
    options->TVezavuModuleOptions::SetFreezeWatch(true);
    options->SetFreezeSeconds(2);
    options->SetBehaviourFlags(behaviourFlags);
  }
}

void RecordReports() {
  brx_test_module::RecordProcessingDialogs(RecordDialog);
}

std::atomic<int> NullsSeen{0};

LRESULT CALLBACK FreezeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NULL) ++NullsSeen;
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow() {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = FreezeWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"BrxFreezeWindow";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, L"BrxFreezeWindow", kTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 300, 200,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window) SetForegroundWindow(window);
  return window;
}

// Answers the window's messages until the condition holds or the bound
// passes.
template <typename TCondition>
bool PumpUntil(TCondition condition, DWORD bound = kBound) {
  const uint64_t start = GetTickCount64();
  while (!condition()) {
    if (GetTickCount64() - start > bound) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return true;
}

// The watchdog sends again: it found the window and watches.
bool PumpUntilWatched() {
  const int before = NullsSeen.load();
  return PumpUntil([before] { return NullsSeen.load() > before; });
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Flag(const char* key, bool value) { return std::string(" ") + key + "=" + (value ? "1" : "0"); }

std::string ReportFacts() {
  const std::string title = "Freezing main window";
  std::string facts = Flag("text", Seen.Message == LibraryState().Options->FreezeText());
  facts += Flag("class", Has(Seen.Report, "EFrozenApplication"));
  facts += Flag("hangs-in", Has(Seen.Report, "FreezeTestHang"));
  facts += Flag("title", Has(Seen.Report, title));
  // The report's thread is the main thread's.
  facts += Flag("thread", Has(Seen.Report, std::to_string(LibraryState().MainThreadID)));
  return facts;
}

void SinkHolds(void*, TVezavuExceptionRecord*, bool&) { Sleep(3000); }

class EFreezeCase : public Exception {
 public:
  using Exception::Exception;
};

// The hang runs in the library beside this program (the test puts it
// there), whose exports the report's call stack names.
void HangInLibrary(DWORD ms) {
  HMODULE library = LoadLibraryW(L"brx_test_module_dll.dll");
  auto hang = library ? reinterpret_cast<void (*)(DWORD)>(reinterpret_cast<void*>(GetProcAddress(library, "FreezeTestHang")))
                      : nullptr;
  (hang ? hang : FreezeTestHang)(ms);
}

std::string RunCase(const std::wstring& which) {
  std::string extra;
  if (which == L"off") {
    TVezavuModuleOptionsEx& own = *LibraryState().Options;
    own.SetFreezeSeconds(0);
    StartFreezeWatch();
    extra += Flag("zero-starts", FreezeWatchRunning());
    own.SetFreezeSeconds(2);
    // What the options' switch calls (the library DLL's case switches
    // through the options themselves).
    LibraryHooks.StartFreezeWatch();
    extra += Flag("switch-on-starts", FreezeWatchRunning());
    LibraryHooks.StopFreezeWatch();
    extra += Flag("switch-off-stops", !FreezeWatchRunning());
    return extra;
  }
  if (which == L"nowindow") {
    StartFreezeWatch();
    extra += Flag("running", FreezeWatchRunning());
    const uint64_t start = GetTickCount64();
    StopFreezeWatch();
    return extra + " stop-ms=" + std::to_string(GetTickCount64() - start);
  }
  if (which == L"failsend") FreezeSend = [](HWND) { return false; };
  HWND window = MakeWindow();
  if (window == nullptr) return " no-window";
  const uint64_t started = GetTickCount64();
  StartFreezeWatch();
  if (which == L"failsend") {
    extra += Flag("reported", PumpUntil([] { return Seen.FreezeReports.load() > 0; }));
    extra += " after-ms=" + std::to_string(Seen.At - started);
  } else {
    extra += Flag("watched", PumpUntilWatched());
    if (which == L"hang1" || which == L"hang3") {
      HangInLibrary(which == L"hang1" ? 1000 : 3000);
      // The main thread runs on and the watchdog watches again.
      extra += Flag("watched-after", PumpUntilWatched());
      if (Seen.FreezeReports > 0) extra += ReportFacts();
    } else if (which == L"sink") {
      static TRevavaRezEvents sink;
      sink.ExceptionNotify = SinkHolds;
      RevavaRezList().Register(&sink);
      EFreezeCase error("A processing that takes its time");
      DispatchException(&error, 0, false, 0, GetModuleHandleW(nullptr), 0, nullptr, 0, 0);
      RevavaRezList().Unregister(&sink);
      extra += Flag("watched-after", PumpUntilWatched());
    } else if (which == L"destroyed") {
      DestroyWindow(window);
      window = nullptr;
      FreezeTestHang(3000);
    }
  }
  StopFreezeWatch();
  extra += Flag("stopped", !FreezeWatchRunning());
  if (window) DestroyWindow(window);
  return extra;
}

// The DLL's side: its stop runs on a thread of its own during the report.
HANDLE Stopper = nullptr;
HANDLE StopReturned = nullptr;
std::atomic<bool> StopEarly{false};

DWORD WINAPI StopThroughOptions(void*) {
  if (TVezavuModuleOptionsEx* options = CurrentOptions()) options->SetFreezeWatch(false);
  SetEvent(StopReturned);
  return 0;
}

void StartStopperDuringReport() {
  if (Stopper != nullptr) return;
  StopReturned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Stopper = CreateThread(nullptr, 0, StopThroughOptions, nullptr, 0, nullptr);
  // A stop that returned while the report still holds the main thread
  // would be the fault; the correct one waits past this bound.
  StopEarly = WaitForSingleObject(StopReturned, 1000) == WAIT_OBJECT_0;
}

std::string RunDllCase(const std::wstring& dll) {
  HMODULE module = LoadLibraryW(dll.c_str());
  if (module == nullptr) return " load-failed";
  auto start = reinterpret_cast<int (*)(int)>(reinterpret_cast<void*>(GetProcAddress(module, "TestModuleFreezeStart")));
  auto finish =
      reinterpret_cast<int (*)(char*, int)>(reinterpret_cast<void*>(GetProcAddress(module, "TestModuleFreezeFinish")));
  if (start == nullptr || finish == nullptr) return " no-exports";
  // The library alone watches here.
  StopFreezeWatch();
  HWND window = MakeWindow();
  std::string extra = Flag("dll-running", start(0x20) != 0);
  extra += Flag("watched", PumpUntilWatched());
  FreezeTestHang(3000);
  // The main thread runs on.
  extra += Flag("pumps-after", PumpUntil([] { return true; }));
  char line[256] = {};
  finish(line, sizeof line);
  extra += line;
  if (window) DestroyWindow(window);
  return extra;
}

}  // namespace

// Where the main thread hangs: the report's call stack names it.
volatile DWORD HungFor = 0;
extern "C" __declspec(dllexport) __attribute__((noinline)) void FreezeTestHang(DWORD ms) {
  Sleep(ms);
  // No tail call: the frame stays on the stack while it sleeps.
  HungFor = ms;
}

// The library DLL's watch, reporting into the DLL's own seam; the report
// starts the stop through the options on another thread.
extern "C" __declspec(dllexport) int TestModuleFreezeStart(int behaviourFlags) {
  WatchOptions(static_cast<uint8_t>(behaviourFlags));
  RecordReports();
  Seen.AtReport = StartStopperDuringReport;
  StartFreezeWatch();
  return FreezeWatchRunning() ? 1 : 0;
}

extern "C" __declspec(dllexport) void TestModuleFreezeFinish(char* line, int size) {
  const bool joined = Stopper != nullptr && WaitForSingleObject(Stopper, kBound) == WAIT_OBJECT_0;
  std::string text = " dll-reports=" + std::to_string(Seen.FreezeReports.load());
  text += Flag("stopper-joined", joined);
  text += Flag("stop-early", StopEarly);
  text += Flag("dll-stopped", !FreezeWatchRunning());
  if (Seen.FreezeReports > 0) text += ReportFacts();
  lstrcpynA(line, text.c_str(), size);
}

// A library DLL whose main module watches starts none.
extern "C" __declspec(dllexport) int TestModuleFreezeStartOnly(int behaviourFlags) {
  WatchOptions(static_cast<uint8_t>(behaviourFlags));
  StartFreezeWatch();
  const bool running = FreezeWatchRunning();
  StopFreezeWatch();
  return running ? 1 : 0;
}

namespace brx_test_module {

int RunFreezeVerbs(const std::vector<std::wstring>& arguments) {
  if (arguments.size() != 3 || (arguments[0] != L"freeze" && arguments[0] != L"freeze-dll")) return kNotMyVerb;
  if (!LibraryState().Active || !LibraryState().Options) return WriteReport(arguments[2], "inactive") ? 0 : 3;
  WatchOptions(0x30);
  RecordReports();
  std::string extra;
  if (arguments[0] == L"freeze") {
    extra = RunCase(arguments[1]);
  } else if (arguments[1].find(L"mainwatches") != std::wstring::npos) {
    HMODULE module = LoadLibraryW(arguments[1].c_str());
    auto only = module ? reinterpret_cast<int (*)(int)>(
                             reinterpret_cast<void*>(GetProcAddress(module, "TestModuleFreezeStartOnly")))
                       : nullptr;
    extra = only ? Flag("dll-running", only(0x30) != 0) : " no-exports";
  } else {
    extra = RunDllCase(arguments[1]);
  }
  return WriteReport(arguments[2], "reports=" + std::to_string(Seen.FreezeReports.load()) + extra) ? 0 : 3;
}

}  // namespace brx_test_module
