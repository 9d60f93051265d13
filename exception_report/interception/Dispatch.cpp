#include "interception/Dispatch.h"

#include <atomic>
#include <cstring>
#include <new>

#include "base/Exception.h"
#include "core/ExceptionObjects.h"
#include "core/SectionScope.h"
#include "core/FaultingThread.h"
#include "core/VArev.h"
#include "dialog/SendProgress.h"
#include "events/ExceptionManager.h"
#include "interception/InterceptionState.h"
#include "interception/LibraryThreads.h"
#include "interception/ThreadExceptionState.h"
#include "interception/ThreadTracking.h"
#include "moduleinfo/PEImage.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessException.h"
#include "screenshot/Screenshot.h"
#include "stack/ThreadContext.h"

namespace RevavaRez {

const char kSafeCallPrefix[] = "[SafeCall Exception]: ";

namespace {

constexpr DWORD kWaitStep = 10;

std::atomic<uintptr_t> DispatchedAddress{0};
constexpr int kPumpedPerRound = 11;
constexpr int kClassNameLength = 256;

// What one processing on its own thread gets, copied on the faulting thread
// before it starts: the faulting thread's state must not be read from the
// processing thread.
struct TExceptionThread {
  void* Object = nullptr;
  uintptr_t Address = 0;
  bool LanguageRaise = false;
  uint8_t HandlerKind = 0;
  HMODULE Module = nullptr;
  uint8_t RaiserType = 0;
  TExceptNotifyParams Params;
  TThreadContext Context{};
  uint8_t Result = 1;
  DWORD ThreadID = 0;
  std::atomic<bool> Executing{true};
};

// Set on a processing thread: the faulting thread that waits for it holds
// the exception lock, so an exception there must not be dispatched again.
thread_local bool OnProcessingThread = false;

DWORD ExceptionThreadBody(void* parameter) {
  auto* thread = static_cast<TExceptionThread*>(parameter);
  OnProcessingThread = true;
  try {
    thread->Result = ProcessException(thread->Object, thread->Address, thread->LanguageRaise, thread->HandlerKind,
                                      thread->Module, thread->RaiserType, thread->Params)
                         ? 1
                         : 0;
  } catch (...) {
  }
  thread->Executing.store(false);
  return 0;
}

// The stack overflow leaves too little stack for a window procedure.
bool PumpingAllowedFor(const void* object) {
  return !InheritsFromName(ClassOf(object), "EStackOverflow");
}

// The faulting thread's part of the parameters: what the caller did not
// give is the thread's own, taken here on the thread itself.
void CompleteParams(TExceptNotifyParams& params, TThreadContext& contextCopy) {
  TThreadExceptionState& state = ThreadExceptionState();
  if (params.Context == nullptr && state.HasContext) {
    contextCopy = state.Context;
    params.Context = &contextCopy.Context;
  }
  if (params.FramePointer == 0) params.FramePointer = state.Frame ? state.Frame : state.StackPointer;
  if (params.StackTop == 0) params.StackTop = CurrentThreadStackBase();
  if (params.ThreadID == 0)
    params.ThreadID = state.OnWatchdogThread ? LibraryState().MainThreadID : GetCurrentThreadId();
}

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM found) {
  if (!IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

// The processing thread shows its dialogs and boxes itself; the send
// progress has a thread of its own.
bool LibraryDialogUp(DWORD processingThread) {
  bool found = false;
  EnumThreadWindows(processingThread, FindVisibleWindow, reinterpret_cast<LPARAM>(&found));
  return found || SendProgressDialogUp();
}

bool IsDroppedInput(UINT message) {
  return (message >= 0xA1 && message <= 0xA9) || (message >= 0x201 && message <= 0x209) ||
         (message >= 0x100 && message <= 0x102) || (message >= 0x104 && message <= 0x106);
}

// Holds while this thread waits for its processing: the hand-over of
// procedures reads it.
class TWaitingScope {
 public:
  TWaitingScope() { SetFaultingThreadWaiting(true); }
  ~TWaitingScope() { SetFaultingThreadWaiting(false); }
  TWaitingScope(const TWaitingScope&) = delete;
  TWaitingScope& operator=(const TWaitingScope&) = delete;
};

uint8_t WaitForProcessing(TExceptionThread& work, HANDLE thread, bool pumpingAllowed) {
  const bool mainThread = GetCurrentThreadId() == LibraryState().MainThreadID;
  // Only a thread that has a queue answers sent messages; a peek on any
  // other would make it one.
  const bool hasQueue = IsGUIThread(FALSE) != FALSE;
  bool pumping = pumpingAllowed && mainThread;
  bool quitSeen = false;
  int quitCode = 0;
  {
    TWaitingScope waiting;
    // A processing thread that was ended from outside never clears its
    // flag: its end ends the wait as well.
    while (work.Executing.load() && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) {
      if (pumping && LibraryDialogUp(work.ThreadID)) pumping = PumpWaitingMessages(quitSeen, quitCode);
      RunPendingProcedure(0);
      if (hasQueue) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        MsgWaitForMultipleObjects(1, &thread, FALSE, kWaitStep, QS_SENDMESSAGE);
      } else {
        WaitForSingleObject(thread, kWaitStep);
      }
    }
  }
  WaitForSingleObject(thread, INFINITE);
  if (quitSeen) PostQuitMessage(quitCode);
  return work.Result;
}

// The processing of the exception on a thread of its own; false when that
// thread could not start, and nothing was processed.
bool ProcessOnOwnThread(TExceptionThread& work, bool pumpingAllowed, uint8_t& result) {
  DWORD id = 0;
  HANDLE thread = StartLibraryThread(ExceptionThreadBody, &work, true, &id);
  if (thread == nullptr) return false;
  work.ThreadID = id;
  SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  if (ResumeThreadUntracked(thread) == static_cast<DWORD>(-1)) {
    // A thread that never ran would leave the work to be freed under it.
    TerminateThread(thread, 1);
    CloseHandle(thread);
    return false;
  }
  result = WaitForProcessing(work, thread, pumpingAllowed);
  CloseHandle(thread);
  return true;
}

class TDispatchMark {
 public:
  TDispatchMark() { ThreadExceptionState().InDispatch = 1; }
  ~TDispatchMark() { ThreadExceptionState().InDispatch = 0; }
  TDispatchMark(const TDispatchMark&) = delete;
  TDispatchMark& operator=(const TDispatchMark&) = delete;
};

uint8_t DispatchLocked(void* object, uintptr_t address, bool languageRaise, uint8_t handlerKind, HMODULE module,
                       uint8_t raiserType, const void* context, uintptr_t framePointer, uintptr_t stackTop,
                       bool pumpingAllowed) {
  if (ThreadExceptionState().InDispatch) return 0;
  TDispatchMark mark;
  if (IsSafeCallException(object)) return 0;

  auto work = std::unique_ptr<TExceptionThread>(new TExceptionThread);
  work->Object = object;
  work->Address = address;
  work->LanguageRaise = languageRaise;
  work->HandlerKind = handlerKind;
  work->Module = module;
  work->RaiserType = raiserType;
  const TVezavuModuleOptionsEx* options = LibraryState().Options.get();
  if (options != nullptr && options->ReportingOn()) {
    work->Params.Context = context;
    work->Params.FramePointer = framePointer;
    work->Params.StackTop = stackTop;
    work->Params.FocusedClass = FocusedWindowClass();
    work->Params.FocusedText = FocusedWindowText();
  }
  CompleteParams(work->Params, work->Context);

  uint8_t result = 1;
  const bool atLoad = IsDLLModule(ThisModule()) && (Interception.InInitialization || Interception.InFinalization);
  // No thread starts while this one holds the loader lock: the wait would
  // never end.
  if (atLoad || HoldsLoaderLock() || !ProcessOnOwnThread(*work, pumpingAllowed, result))
    result = ProcessException(object, address, languageRaise, handlerKind, module, raiserType, work->Params) ? 1 : 0;
  DispatchedAddress.store(address);
  ClearThreadExceptionState();
  if (handlerKind == 1) TagSafeCallException(object);
  return result;
}

}  // namespace

uint8_t DispatchException(void* object, uintptr_t address, bool languageRaise, uint8_t handlerKind, HMODULE module,
                          uint8_t raiserType, const void* context, uintptr_t framePointer, uintptr_t stackTop) {
  if (!LibraryState().Active || OnProcessingThread) return 1;
  try {
    const bool pumpingAllowed = PumpingAllowedFor(object);
    TSectionScope lock(ExceptionLock());
    return DispatchLocked(object, address, languageRaise, handlerKind, module, raiserType, context, framePointer,
                          stackTop, pumpingAllowed);
  } catch (...) {
    return 1;
  }
}

uintptr_t LastDispatchedAddress() { return DispatchedAddress.load(); }

bool PumpWaitingMessages(bool& quitSeen, int& quitCode) {
  for (int i = 0; i < kPumpedPerRound; ++i) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) break;
    if (message.message == WM_QUIT) {
      // The program's own loop is to end once the report is done.
      quitSeen = true;
      quitCode = static_cast<int>(message.wParam);
      continue;
    }
    if (IsDroppedInput(message.message)) {
      MessageBeep(0);
      continue;
    }
    try {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    } catch (...) {
      return false;
    }
  }
  return true;
}

bool IsSafeCallException(const void* object) {
  if (!IsReportable(object) || !InheritsFromName(ClassOf(object), "Exception")) return false;
  const auto* exception = dynamic_cast<const Exception*>(static_cast<const std::exception*>(object));
  return exception != nullptr && exception->Message().compare(0, sizeof kSafeCallPrefix - 1, kSafeCallPrefix) == 0;
}

void TagSafeCallException(void* object) {
  if (IsSafeCallException(object)) return;
  if (!IsReportable(object) || !InheritsFromName(ClassOf(object), "Exception")) return;
  auto* exception = dynamic_cast<Exception*>(static_cast<std::exception*>(object));
  if (exception != nullptr) exception->SetMessage(kSafeCallPrefix + exception->Message());
}

namespace {

// The focused window: the calling thread's own, else the focus of the
// foreground window's thread when that thread is of this process.
HWND FocusedWindow() {
  HWND focus = GetFocus();
  if (focus != nullptr) return focus;
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  const DWORD owner = foreground ? GetWindowThreadProcessId(foreground, &process) : 0;
  if (owner == 0 || process != GetCurrentProcessId()) return nullptr;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(owner, &info) ? info.hwndFocus : nullptr;
}

std::string ClassNameOfWindow(HWND window) {
  char name[kClassNameLength] = {};
  const int length = window ? GetClassNameA(window, name, sizeof name) : 0;
  return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

}  // namespace

std::string FocusedWindowClass() {
  HWND focus = FocusedWindow();
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;
  const bool showing = GetCursorInfo(&cursor) && (cursor.flags & CURSOR_SHOWING) != 0;
  RememberFocus(focus, showing ? cursor.hCursor : nullptr, cursor.ptScreenPos);
  return ClassNameOfWindow(focus);
}

std::string FocusedWindowText() {
  HWND focus = FocusedWindow();
  if (focus == nullptr) return std::string();
  // Another thread's window may be stuck or waiting for this one: its text
  // is read without a message. This thread's own is asked, as controls
  // such as edits keep their text themselves.
  wchar_t wide[1024] = {};
  const bool own = GetWindowThreadProcessId(focus, nullptr) == GetCurrentThreadId();
  const int length = own ? GetWindowTextW(focus, wide, 1024) : InternalGetWindowText(focus, wide, 1024);
  if (length <= 0) return std::string();
  std::string upper = ClassNameOfWindow(focus);
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  if (upper.find("EDIT") != std::string::npos && (GetWindowLongW(focus, GWL_STYLE) & ES_PASSWORD) != 0)
    return std::string(static_cast<size_t>(length), '*');
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string text(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, length, &text[0], bytes, nullptr, nullptr);
  return text;
}

bool HoldsLoaderLock() {
  using TIsLocked = BOOLEAN(NTAPI*)(RTL_CRITICAL_SECTION*);
  static const auto isLocked = reinterpret_cast<TIsLocked>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlIsCriticalSectionLockedByThread")));
  if (isLocked == nullptr) return false;
  const uint8_t* peb = nullptr;
#if defined(__x86_64__)
  constexpr size_t kLoaderLockOffset = 0x110;
  __asm__("movq %%gs:0x60, %0" : "=r"(peb));
#else
  constexpr size_t kLoaderLockOffset = 0xA0;
  __asm__("movl %%fs:0x30, %0" : "=r"(peb));
#endif
  if (peb == nullptr) return false;
  RTL_CRITICAL_SECTION* loaderLock = nullptr;
  std::memcpy(&loaderLock, peb + kLoaderLockOffset, sizeof loaderLock);
  return loaderLock != nullptr && isLocked(loaderLock) != 0;
}

}  // namespace RevavaRez
