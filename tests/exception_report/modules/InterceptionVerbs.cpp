// Verbs that put the interception in place in this module (its kernel32
// import hooks and the run-time's two procedures, as the start-up will) and
// then raise, throw or fault, with the dialog seam recording what reached
// the processing:
//   intercept CASE REPORT
//     main-throw      an uncaught throw from an export, on the main thread
//                     of a windowed module whose window is in front
//     worker-throw    an uncaught throw on a CreateThread worker
//     violation       a worker writes to address 0x10
//     language-raise  a worker raises the language layout itself
//     caught          a throw the module catches
//     sink-thread     a notify sink and the processing, by thread
//     sent-message    the processing sends to the waiting worker's window
//     pump            a library window is up while the main thread waits:
//                     posted input, a posted message and a quit
//     overflow-pump   the same wait for a stack overflow
//     sink-twice      a sink hands a second exception in
//     safecall        one exception dispatched twice with handler kind 1
//     deep-throw      an uncaught throw 150 KB deep in a worker
//     password        a focused password edit on the main thread
//     thread-attach   a library's thread attach hands an exception in
//     nested          the processing thread hands an exception in itself
//     processing-dies the processing thread ends in the middle
//   The answer is "dialog=N" and what the case adds; the seam writes it too,
//   for the cases whose end is the thread's or the program's.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "TestModuleDriver.h"
#include "base/Exception.h"
#include "core/ExceptionLog.h"
#include "core/ExternalExceptions.h"
#include "core/SectionScope.h"
#include "core/VArev.h"
#include "events/EventSinks.h"
#include "events/ExceptionManager.h"
#include "hooking/HookEngine.h"
#include "interception/Dispatch.h"
#include "interception/InterceptionHooks.h"
#include "interception/InterceptionState.h"
#include "interception/RuntimeProcedures.h"
#include "processing/ProcessingSeams.h"
#include "processing/ProcessingState.h"
#include "report/CpuSection.h"

using namespace RevavaRez;

class EInterceptedError : public Exception {
 public:
  using Exception::Exception;
};

// Exported, so that the report's call stack names it.
extern "C" __declspec(dllexport) __attribute__((noinline)) void BrxInterceptThrowingExport() {
  throw EInterceptedError("Thrown from an export");
}

namespace brx_test_module {

namespace {

constexpr UINT kProbe = WM_APP + 1;
constexpr UINT kAnswerMe = WM_APP + 2;
constexpr LRESULT kAnswer = 42;
constexpr DWORD kBound = 10000;
const wchar_t kTitle[] = L"Intercepting main window";

struct TSeen {
  std::wstring ReportFile;
  std::atomic<int> Dialogs{0};
  DWORD ProcessingThread = 0;
  DWORD SinkThread = 0;
  std::string Report;
  std::string Message;
  std::string Extra;
  // The case's own look at the processing, on the processing thread.
  void (*AtDialog)() = nullptr;
};
TSeen Seen;

HWND MainWindow = nullptr;
HANDLE ProbeHandled = nullptr;
std::atomic<bool> ProbeSeen{false};
std::atomic<bool> InputSeen{false};

std::string Answer() { return "dialog=" + std::to_string(Seen.Dialogs.load()) + Seen.Extra; }

void WriteAnswer() { WriteReport(Seen.ReportFile, Answer()); }

bool RecordDialog() {
  ++Seen.Dialogs;
  Seen.ProcessingThread = GetCurrentThreadId();
  Seen.Report = ProcessingState().ReportText;
  Seen.Message = ProcessingState().LastExceptionMessage;
  if (Seen.AtDialog) Seen.AtDialog();
  // Beside the answer, for a test that fails to show.
  WriteReport(Seen.ReportFile + L".report", Seen.Message + "\r\n" + Seen.Report);
  WriteAnswer();
  return true;
}


void Intercept(const std::wstring& reportFile) {
  Seen.ReportFile = reportFile;
  RecordProcessingDialogs(RecordDialog);
  EHookInit();
  InstallInterceptionHooks({ModuleFileNameOf(ThisModule())});
  InstallRuntimeProcedures();
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void Add(const std::string& key, bool value) { Seen.Extra += " " + key + "=" + (value ? "1" : "0"); }

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProbe) {
    ProbeSeen = true;
    SetEvent(ProbeHandled);
    return 0;
  }
  if (message == kAnswerMe) return kAnswer;
  if (message == WM_KEYDOWN || message == WM_LBUTTONDOWN) InputSeen = true;
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow(const wchar_t* title, bool inFront) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"BrxInterceptMain";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(WS_EX_APPWINDOW, L"BrxInterceptMain", title, WS_OVERLAPPEDWINDOW, 30, 30, 420, 300,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return nullptr;
  if (inFront) {
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
  }
  MSG message;
  for (int i = 0; i < 200 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&message);
  return window;
}

// A worker started through the hooked CreateThread; answers its exit code.
DWORD RunWorker(LPTHREAD_START_ROUTINE body, void* parameter = nullptr) {
  HANDLE thread = CreateThread(nullptr, 0, body, parameter, 0, nullptr);
  if (thread == nullptr) return 1000;
  DWORD code = 1001;
  if (WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0) GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  return code;
}

DWORD WINAPI ThrowingWorker(void*) {
  throw EInterceptedError("Thrown on a worker");
}

volatile uintptr_t ViolatedAddress = 0x10;
DWORD WINAPI ViolatingWorker(void*) {
  *reinterpret_cast<volatile int*>(ViolatedAddress) = 1;
  return 0;
}

uintptr_t LanguageRaiseAddress = 0;

__attribute__((noinline)) void LanguageRaiseSite() {
  auto* object = new EInterceptedError("Raised in the language layout");
  LanguageRaiseAddress = reinterpret_cast<uintptr_t>(&LanguageRaiseSite) + 0x20;
  volatile uintptr_t here = 0;
  const ULONG_PTR arguments[7] = {LanguageRaiseAddress, reinterpret_cast<ULONG_PTR>(object), 0x11, 0x22, 0x33,
                                  0x44, reinterpret_cast<ULONG_PTR>(&here)};
  RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 7, arguments);
}

DWORD WINAPI LanguageRaiseWorker(void*) {
  LanguageRaiseSite();
  return 0;
}

std::string HexRegister(uintptr_t value) {
  const uint64_t wide = value;
  return RegisterText(&wide, static_cast<int>(2 * sizeof(void*)));
}

// The processing is handed one exception from here, as a program's own
// handler hands it in.
uint8_t HandIn(std::exception& object) {
  return ExceptionManager(&object, reinterpret_cast<void*>(&HandIn), 0, GetModuleHandleW(nullptr));
}

// Runs the main thread's message loop until its quit (the code) or the
// bound (99).
int MessageLoopCode() {
  SetTimer(nullptr, 0, 20000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) return 99;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

HWND LibraryWindow() {
  return CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"Library window stand-in", WS_POPUP | WS_VISIBLE, 50, 50, 200,
                         100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

bool SendRoundTrip() {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(MainWindow, kAnswerMe, 0, 0, SMTO_NORMAL, kBound, &result) != 0 && result == kAnswer;
}

DWORD MainThreadID = 0;

// The library's window is up; input, a quit and a probe are posted to the
// waiting main thread, the probe last: once it is handled, all three went
// through the main thread's pumping.
void PostWhileUp() {
  HWND library = LibraryWindow();
  PostMessageW(MainWindow, WM_KEYDOWN, 'A', 0);
  PostThreadMessageW(MainThreadID, WM_QUIT, 7, 0);
  PostMessageW(MainWindow, kProbe, 0, 0);
  Add("pumped", WaitForSingleObject(ProbeHandled, kBound) == WAIT_OBJECT_0);
  if (library) DestroyWindow(library);
}

// The same wait without pumping: each sent message takes the main thread
// through a round of its wait, where pumping would have handled the probe.
void ProbeWithoutPump() {
  HWND library = LibraryWindow();
  PostMessageW(MainWindow, kProbe, 0, 0);
  bool answered = true;
  for (int i = 0; i < 3; ++i) answered = SendRoundTrip() && answered;
  Add("answered", answered);
  Add("pumped", ProbeSeen.load());
  if (library) DestroyWindow(library);
}

std::atomic<uint8_t> InnerResult{255};

void SinkNotesThread(void*, TVezavuExceptionRecord*, bool&) { Seen.SinkThread = GetCurrentThreadId(); }

void SinkHandsInAnother(void*, TVezavuExceptionRecord*, bool&) {
  EInterceptedError inner("Raised inside a sink");
  InnerResult = HandIn(inner);
}

DWORD DeepThreadID = 0;

volatile bool ThrowDeepDown = true;
__attribute__((noinline)) void ThrowWithMarker() {
  volatile uint32_t marker[4] = {0xB1A5ED01u, 0xB1A5ED02u, 0xB1A5ED03u, 0xB1A5ED04u};
  (void)marker[0];
  if (ThrowDeepDown) throw EInterceptedError("Thrown deep down");
}

__attribute__((noinline)) void GoDeep(int depth) {
  volatile char pad[1024];
  pad[0] = static_cast<char>(depth);
  if (depth == 0)
    ThrowWithMarker();
  else
    GoDeep(depth - 1);
  pad[1] = pad[0];
}

DWORD WINAPI DeepWorker(void*) {
  DeepThreadID = GetCurrentThreadId();
  GoDeep(150);
  return 0;
}

void LookAtStackCopy() {
  TSectionScope lock(StackCopyLock());
  const TStackCopy& copy = StackCopy();
  const uint32_t marker[2] = {0xB1A5ED01u, 0xB1A5ED02u};
  bool found = false;
  for (size_t at = 0; at + sizeof marker <= 2048 && at + sizeof marker <= copy.Size; at += 4)
    if (std::memcmp(copy.Bytes + at, marker, sizeof marker) == 0) found = true;
  Seen.Extra += " copied=" + std::to_string(copy.Size);
  Add("own-thread", copy.ThreadID == DeepThreadID);
  Add("from-throw", found);
}

HWND AnsweringWindow = nullptr;
DWORD WINAPI SentMessageWorker(void*) {
  AnsweringWindow = CreateWindowExW(0, L"BrxInterceptMain", L"Answering", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                    nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  EInterceptedError error("Waiting for its processing");
  HandIn(error);
  if (AnsweringWindow) DestroyWindow(AnsweringWindow);
  return 0;
}

void DispatchFromProcessing() {
  EInterceptedError nested("Raised while processing");
  const uint8_t result = DispatchException(&nested, 0, false, 0, GetModuleHandleW(nullptr), 0, nullptr, 0, 0);
  Seen.Extra += " nested=" + std::to_string(result);
}

void EndProcessingThread() {
  WriteAnswer();
  ExitThread(0);
}

// The loader runs the library's thread attach while this thread starts.
DWORD AttachingThreadID = 0;
DWORD WINAPI PlainWorker(void*) {
  AttachingThreadID = GetCurrentThreadId();
  return 5;
}

int RunCase(const std::wstring& which, const std::wstring& reportFile) {
  Intercept(reportFile);
  MainThreadID = GetCurrentThreadId();
  ProbeHandled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (which == L"main-throw") {
    // The throw comes from the library beside this program, whose exports
    // the report names; its run-time reaches only its own procedures.
    MainWindow = MakeWindow(kTitle, true);
    HMODULE dll = LoadLibraryW(L"brx_test_module_dll.dll");
    using TProcedure = void(__stdcall*)();
    const auto find = [dll](const char* name) {
      return dll ? reinterpret_cast<TProcedure>(reinterpret_cast<void*>(GetProcAddress(dll, name))) : nullptr;
    };
    const TProcedure intercept = find("TestModuleIntercept"), thrower = find("BrxInterceptThrowingExport");
    if (intercept == nullptr || thrower == nullptr) return 5;
    Seen.AtDialog = [] {
      Add("export", Has(Seen.Report, "BrxInterceptThrowingExport"));
      Add("form", Has(Seen.Report, "Intercepting main window"));
    };
    intercept();
    thrower();
    return 3;  // not reached: the program ends with the report
  }
  if (which == L"worker-throw") {
    const DWORD code = RunWorker(ThrowingWorker);
    Seen.Extra += " worker=" + std::to_string(code);
  } else if (which == L"violation") {
    const DWORD code = RunWorker(ViolatingWorker);
    Add("message", Has(Seen.Message, "Write of address " + HexRegister(0x10)));
    Seen.Extra += " worker=" + std::to_string(code);
  } else if (which == L"language-raise") {
    const DWORD code = RunWorker(LanguageRaiseWorker);
    Add("ip", Has(Seen.Report, HexRegister(LanguageRaiseAddress - 5)));
    Seen.Extra += " worker=" + std::to_string(code);
  } else if (which == L"caught") {
    try {
      throw EInterceptedError("Caught at once");
    } catch (const EInterceptedError&) {
      Seen.Extra += " caught=1";
    }
  } else if (which == L"sink-thread" || which == L"sink-twice") {
    static TRevavaRezEvents sink;
    sink.ExceptionNotify = which == L"sink-thread" ? SinkNotesThread : SinkHandsInAnother;
    RevavaRezList().Register(&sink);
    EInterceptedError error("Handed in");
    HandIn(error);
    RevavaRezList().Unregister(&sink);
    if (which == L"sink-thread") {
      Add("sink-here", Seen.SinkThread == GetCurrentThreadId());
      Add("processing-elsewhere", Seen.ProcessingThread != 0 && Seen.ProcessingThread != GetCurrentThreadId());
    } else {
      Seen.Extra += " inner=" + std::to_string(InnerResult.load());
    }
  } else if (which == L"sent-message") {
    Seen.AtDialog = [] {
      DWORD_PTR result = 0;
      Add("answered", SendMessageTimeoutW(AnsweringWindow, kAnswerMe, 0, 0, SMTO_NORMAL, kBound, &result) != 0 &&
                          result == kAnswer);
    };
    MainWindow = MakeWindow(kTitle, false);
    RunWorker(SentMessageWorker);
  } else if (which == L"pump") {
    MainWindow = MakeWindow(kTitle, false);
    Seen.AtDialog = PostWhileUp;
    EInterceptedError error("Waiting on the main thread");
    HandIn(error);
    Add("input", InputSeen.load());
    WriteAnswer();
    return MessageLoopCode();
  } else if (which == L"overflow-pump") {
    MainWindow = MakeWindow(kTitle, false);
    Seen.AtDialog = ProbeWithoutPump;
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
    EStackOverflow overflow("Stack overflow.", record);
    HandIn(overflow);
  } else if (which == L"safecall") {
    EInterceptedError error("Left a safecall method");
    const uint8_t first = DispatchException(&error, reinterpret_cast<uintptr_t>(&HandIn), false, 1,
                                            GetModuleHandleW(nullptr), 0, nullptr, 0, 0);
    const uint8_t second = DispatchException(&error, reinterpret_cast<uintptr_t>(&HandIn), false, 1,
                                             GetModuleHandleW(nullptr), 0, nullptr, 0, 0);
    Seen.Extra += " first=" + std::to_string(first) + " second=" + std::to_string(second) + " message=" +
                  error.Message();
  } else if (which == L"deep-throw") {
    Seen.AtDialog = LookAtStackCopy;
    const DWORD code = RunWorker(DeepWorker);
    Seen.Extra += " worker=" + std::to_string(code);
  } else if (which == L"password") {
    MainWindow = MakeWindow(kTitle, true);
    HWND edit = CreateWindowExW(0, L"EDIT", L"secret", WS_CHILD | WS_VISIBLE | ES_PASSWORD, 10, 10, 200, 24,
                                MainWindow, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetFocus(edit);
    EInterceptedError error("With a password typed");
    HandIn(error);
    Add("stars", Has(Seen.Report, "******"));
    Add("secret", Has(Seen.Report, "secret"));
  } else if (which == L"nested" || which == L"processing-dies") {
    Seen.AtDialog = which == L"nested" ? DispatchFromProcessing : EndProcessingThread;
    EInterceptedError error("Handed in");
    Seen.Extra += " result=" + std::to_string(HandIn(error));
  } else if (which == L"thread-attach") {
    // The library in the copy beside this program hands an exception in
    // from its thread attach, once armed.
    HMODULE dll = LoadLibraryW(L"brx_test_module_dll.dll");
    using TArm = void(__stdcall*)(const wchar_t*);
    auto arm = dll ? reinterpret_cast<TArm>(reinterpret_cast<void*>(GetProcAddress(dll, "TestModuleArmThreadAttach")))
                   : nullptr;
    if (arm == nullptr) return 5;
    arm((reportFile + L".dll").c_str());
    const DWORD code = RunWorker(PlainWorker);
    Add("on-attaching-thread", Seen.ProcessingThread != 0 && Seen.ProcessingThread == AttachingThreadID);
    Seen.Extra += " worker=" + std::to_string(code);
  } else {
    return kNotMyVerb;
  }
  WriteAnswer();
  return 0;
}

}  // namespace

int RunInterceptionVerbs(const std::vector<std::wstring>& arguments) {
  if (arguments.size() == 3 && arguments[0] == L"intercept") return RunCase(arguments[1], arguments[2]);
  return kNotMyVerb;
}

}  // namespace brx_test_module
