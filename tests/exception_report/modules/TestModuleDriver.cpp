#include "TestModuleDriver.h"

#include <windows.h>

#include <cstdio>

#include "GateReport.h"
#include "moduleinfo/ModulesList.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingSeams.h"
#include "report/ReportText.h"
#include "stack/StackList.h"
#include "stack/StackWalk.h"
#include "stack/ThreadContext.h"

namespace brx_test_module {

bool WriteReport(const std::wstring& file, const std::string& text) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(handle);
  return ok && written == text.size();
}

namespace {

void Nothing() {}
void NoSend(const RevavaRez::TSendRequest&) {}

}  // namespace

void RecordProcessingDialogs(bool (*showDialog)()) {
  using RevavaRez::ProcessingSeams;
  ProcessingSeams.ShowExceptionDialog = showDialog;
  ProcessingSeams.CaptureScreenshot = Nothing;
  ProcessingSeams.SaveScreenshotFile = Nothing;
  ProcessingSeams.FreeScreenshot = Nothing;
  ProcessingSeams.DeleteScreenshotFile = Nothing;
  ProcessingSeams.AskReproduceSteps = Nothing;
  ProcessingSeams.SendReport = NoSend;
}

namespace {

std::string LoadedLibraryState(const std::wstring& dll) {
  HMODULE module = LoadLibraryW(dll.c_str());
  if (module == nullptr) return "load failed " + std::to_string(GetLastError());
  using TGateState = void(__stdcall*)(char*, int);
  auto gateState = reinterpret_cast<TGateState>(reinterpret_cast<void*>(GetProcAddress(module, "TestModuleGateState")));
  char line[256] = "no export";
  if (gateState) gateState(line, sizeof line);
  return line;
}

// The report of this module's own options, as the processing would write
// it without an exception.
std::string ReportText() {
  RevavaRez::TLibraryState& state = RevavaRez::LibraryState();
  if (!state.Active || !state.Options) return "inactive";
  RevavaRez::TReportInputs inputs;
  inputs.Options = state.Options.get();
  // The calling thread stands for the exception's: its own context and
  // live walk, so every section has content.
  RevavaRez::TThreadContext context{};
  RtlCaptureContext(&context.Context);
  inputs.Params.Context = &context.Context;
  inputs.Address = RevavaRez::ContextInstructionPointer(context.Context);
  RevavaRez::TVezavuStackList stack;
  RevavaRez::WalkCurrentThread(stack, RevavaRez::TWalkOptions());
  return RevavaRez::BuildReportText(inputs, stack, RevavaRez::Modules(), state.Threads.get(), state.MainThreadID)
      .Text;
}

const wchar_t* const kBlockedTitle = L"Blocked foreground window";

struct TBlockedWindow {
  HANDLE Ready = nullptr;
  HANDLE Release = nullptr;
};

// Makes the foreground window, then stops reading its messages until
// released: a message sent to it would wait for that.
DWORD WINAPI BlockedWindowThread(void* parameter) {
  auto* blocked = static_cast<TBlockedWindow*>(parameter);
  HWND window = CreateWindowExW(0, L"STATIC", kBlockedTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window) {
    SetForegroundWindow(window);
    MSG message;
    for (int i = 0; i < 50 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&message);
  }
  SetEvent(blocked->Ready);
  WaitForSingleObject(blocked->Release, 60000);
  if (window) DestroyWindow(window);
  return 0;
}

// Other test programs run beside this one and may take the foreground
// while the report is made; then the report did not read the blocked
// window, and it is made again with a new one.
std::string ReportWithBlockedForeground() {
  std::string text = "no window thread";
  for (int attempt = 0; attempt < 20; ++attempt) {
    TBlockedWindow blocked;
    blocked.Ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    blocked.Release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, BlockedWindowThread, &blocked, 0, nullptr);
    bool held = false;
    if (thread && WaitForSingleObject(blocked.Ready, 10000) == WAIT_OBJECT_0) {
      // GetForegroundWindow and GetWindowThreadProcessId send nothing.
      const auto ours = [thread] {
        HWND foreground = GetForegroundWindow();
        return foreground && GetWindowThreadProcessId(foreground, nullptr) == GetThreadId(thread);
      };
      const bool before = ours();
      text = ReportText();
      held = before && ours();
    }
    SetEvent(blocked.Release);
    if (thread) {
      WaitForSingleObject(thread, 10000);
      CloseHandle(thread);
    }
    CloseHandle(blocked.Ready);
    CloseHandle(blocked.Release);
    if (held) break;
  }
  return text;
}

}  // namespace

int RunVerbs(const std::vector<std::wstring>& arguments) {
  // What these verbs throw must stay uncaught.
  const int intercepted = RunInterceptionVerbs(arguments);
  if (intercepted != kNotMyVerb) return intercepted;
  try {
    if (arguments.size() == 2 && arguments[0] == L"state") return WriteReport(arguments[1], GateStateLine()) ? 0 : 3;
    if (arguments.size() == 2 && arguments[0] == L"report") return WriteReport(arguments[1], ReportText()) ? 0 : 3;
    if (arguments.size() == 2 && arguments[0] == L"report-blocked")
      return WriteReport(arguments[1], ReportWithBlockedForeground()) ? 0 : 3;
    if (arguments.size() == 2 && arguments[0] == L"threads")
      return WriteReport(arguments[1], ThreadsStateLine()) ? 0 : 3;
    if (arguments.size() == 3 && arguments[0] == L"load")
      return WriteReport(arguments[2], LoadedLibraryState(arguments[1])) ? 0 : 3;
    for (auto group : {RunProcessingVerbs, RunLogVerbs, RunEventVerbs, RunWebVerbs, RunThreadVerbs, RunUnitVerbs,
                       RunFrameworkVerbs, RunFreezeVerbs}) {
      const int answer = group(arguments);
      if (answer != kNotMyVerb) return answer;
    }
  } catch (...) {
    return 4;
  }
  return 2;
}

}  // namespace brx_test_module
