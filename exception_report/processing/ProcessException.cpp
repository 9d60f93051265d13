#include "processing/ProcessException.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/ExceptionLog.h"
#include "core/ExceptionObjects.h"
#include "core/ExternalExceptions.h"
#include "core/FaultingThread.h"
#include "core/ProgressStep.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "events/EventChain.h"
#include "interception/ThreadTracking.h"
#include "moduleinfo/ModulesList.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/OutputDecisions.h"
#include "processing/ProcessingSeams.h"
#include "processing/ProcessingState.h"
#include "processing/ReportLog.h"
#include "processing/ReportOutput.h"
#include "report/LogFile.h"
#include "report/GeneralValues.h"
#include "report/LogItem.h"
#include "report/ReportFiles.h"
#include "report/ReportText.h"
#include "stack/StackList.h"
#include "stack/StackWalk.h"
#include "stack/ThreadContext.h"
#include "stack/ThreadsList.h"
#include "web/ErrorPage.h"
#include "web/WebHost.h"

// The run-time library's re-raise point: a report raised from there is the
// same exception again, whose call stack was taken before.
extern "C" void __cxa_rethrow();

namespace RevavaRez {

namespace {

constexpr uintptr_t kRethrowSpan = 64;

// Set while this thread processes: an exception the library raises itself
// on the way must not start a second run.
thread_local bool ProcessingOnThisThread = false;

void Step(int32_t value) { ProgressStep.store(value); }

uintptr_t CurrentStackPointer() { return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)); }

// What a report may use the object as: a std::exception only when it can
// be read and its class descends from the root of the exceptions.
const std::exception* AsException(const void* object) {
  if (!IsReportable(object) || !InheritsFromName(ClassOf(object), "exception")) return nullptr;
  return static_cast<const std::exception*>(object);
}

const EXCEPTION_RECORD* SystemRecordOf(const std::exception* exception) {
  const auto* external = dynamic_cast<const EExternal*>(exception);
  return external ? &external->SystemRecord() : nullptr;
}

// The first filter entry whose class the exception's class or one of its
// ancestors bears; -1 for none.
int MatchFilter(const void* object, const TVezavuModuleOptions& options) {
  const std::type_info* classRef = ClassOf(object);
  if (classRef == nullptr) return -1;
  const TStringList& names = options.FilterClassNames();
  for (int i = 0; i < names.Count(); ++i) {
    const std::string name = UpperCase(Trim(names[i]));
    if (!name.empty() && InheritsFromName(classRef, name)) return i;
  }
  return -1;
}

// The module record whose options steer this report, copied into this
// module's working options.
void ChooseOptions(uintptr_t address, HMODULE reportingModule, TVezavuModuleOptionsEx& working) {
  TModulesLock lock;
  TVezavuModulesList& modules = Modules();
  const auto withOptions = [](TVezavuModuleInfo* record) {
    return record != nullptr && record->Options && record->HasOwnOptions ? record : nullptr;
  };
  Step(101);
  TVezavuModuleInfo* chosen = address ? withOptions(modules.FindByAddress(address)) : nullptr;
  if (chosen == nullptr) {
    Step(102);
    chosen = withOptions(modules.FindByHandle(reportingModule ? reportingModule : ThisModule()));
  }
  if (chosen == nullptr) {
    Step(103);
    HMODULE mainModule = GetModuleHandleW(nullptr);
    HMODULE other = reportingModule == nullptr || reportingModule == ThisModule() ? mainModule : ThisModule();
    TVezavuModuleInfo* record = modules.FindByHandle(other);
    if (record && record->Options) chosen = record;
  }
  if (chosen == nullptr) return;
  working.Assign(chosen->Options.get());
  if ((working.BehaviourFlags() & 0x10) != 0) {
    TVezavuModuleInfo* mainRecord = withOptions(modules.FindByHandle(GetModuleHandleW(nullptr)));
    if (mainRecord != nullptr) {
      working.Assign(mainRecord->Options.get());
      chosen = mainRecord;
    }
  }
  Step(104);
  if (IsIDEHost()) working.SetDialogFlags(working.DialogFlags() & 0x7F);
  working.SetModuleFileName(chosen->FileName);
}

TWalkOptions WalkOptionsFor(const TVezavuModuleOptions& options, DWORD threadID, bool running) {
  TWalkOptions walk;
  walk.KindSet = EntryKindMask(options.StackFlags());
  walk.ThreadID = threadID;
  walk.ThreadFlag = running;
  return walk;
}

// What one run has done that its end must undo, whatever step failed.
struct TRun {
  std::unique_ptr<TVezavuThreadsList> Threads;
  std::vector<HANDLE> Paused;

  void ResumePaused() {
    for (HANDLE thread : Paused) ResumeThreadUntracked(thread);
    Paused.clear();
  }
  ~TRun() { ResumePaused(); }
};

// The call stacks of the exception thread and of the other threads the
// options admit. Threads are stopped only inside CaptureThreadStack, which
// allocates nothing while they stand; their copies are walked afterwards.
std::unique_ptr<TVezavuStackList> BuildCallStacks(const TVezavuModuleOptions& options, uintptr_t address,
                                                  const TExceptNotifyParams& params, DWORD exceptionThread,
                                                  TVezavuThreadsList* threads, DWORD mainThreadID) {
  auto stack = std::make_unique<TVezavuStackList>();
  const DWORD current = GetCurrentThreadId();
  if (exceptionThread == current) {
    const uintptr_t start = params.FramePointer ? params.FramePointer : CurrentStackPointer();
    const uintptr_t base = CurrentThreadStackBase();
    if (start < base) WalkStack(*stack, address, start, base - 1, WalkOptionsFor(options, exceptionThread, false));
  } else if (params.FramePointer != 0 && params.FramePointer < params.StackTop) {
    // The faulting thread waits for this processing: its stack above the
    // frame stands still.
    WalkStack(*stack, address, params.FramePointer, params.StackTop - 1, WalkOptionsFor(options, exceptionThread, false));
  } else if (address) {
    TWalkCounts counts;
    AddStackEntry(*stack, address, WalkOptionsFor(options, exceptionThread, false), counts);
  }
  if (threads == nullptr) return stack;
  const int own = threads->FindByID(exceptionThread);
  if (own >= 0) WalkRecordCopy(*stack, *threads->Items(own));
  for (int i = 0; i < threads->Count(); ++i) {
    const ThreadRecord& record = *threads->Items(i);
    if (record.ThreadID == current || record.ThreadID == exceptionThread) continue;
    if (record.Handle == nullptr || !CallStackTest(record, options.StackFlags(), mainThreadID)) continue;
    const TCapturedStack captured = CaptureThreadStack(record.Handle);
    if (!captured.Ok || captured.Copy.empty()) continue;
    const uintptr_t ip = ContextInstructionPointer(captured.Context.Context);
    if (ip == 0 || ContextFramePointer(captured.Context.Context) == 0) continue;
    const auto start = reinterpret_cast<uintptr_t>(captured.Copy.data());
    WalkStack(*stack, ip, start, start + captured.Copy.size() - 1, WalkOptionsFor(options, record.ThreadID, true));
    WalkRecordCopy(*stack, record);
  }
  return stack;
}

// The threads the options say to hold still while the report is made.
void PauseThreads(const TVezavuModuleOptions& options, TRun& run, DWORD exceptionThread, DWORD mainThreadID) {
  if (!run.Threads) return;
  const DWORD current = GetCurrentThreadId();
  for (int i = 0; i < run.Threads->Count(); ++i) {
    const ThreadRecord& record = *run.Threads->Items(i);
    if (record.ThreadID == current || record.ThreadID == exceptionThread || record.Handle == nullptr) continue;
    if (!BehaviourTest(record, options.BehaviourFlags(), mainThreadID)) continue;
    if (SuspendThread(record.Handle) != static_cast<DWORD>(-1)) run.Paused.push_back(record.Handle);
  }
}

// Items 2.2 to 2.5 of the general section as the report shows them.
TDuplicateKeys DuplicateKeysOf(const std::string& report) {
  TLogFile log(std::string(), true);
  log.LoadFromText(report);
  TDuplicateKeys keys;
  keys.Address = log.ReadItemValue("2.2", 0);
  keys.Module = log.ReadItemValue("2.3", 0);
  keys.Type = log.ReadItemValue("2.4", 0);
  keys.Message = log.ReadItemValue("2.5", 0);
  return keys;
}

void PointRecordAtReport(TProcessingState& state) {
  state.Record.ReportText = state.ReportText.c_str();
  state.Record.ReportLength = static_cast<uint32_t>(state.ReportText.size());
}

std::string WithoutControlCharacters(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return text;
}

// Steps 1 to 18; answers the routine's result.
bool RunSteps(void* object, uintptr_t address, bool languageRaise, uint8_t handlerKind, HMODULE module,
              uint8_t raiserType, TExceptNotifyParams params, TRun& run) {
  TLibraryState& library = LibraryState();
  TProcessingState& state = ProcessingState();
  TVezavuModuleOptionsEx& options = *library.Options;

  Step(1);
  ExceptionTime = ProcessingNow();
  state.LastExceptionObject = object;
  if (library.Threads) run.Threads = std::make_unique<TVezavuThreadsList>(*library.Threads);
  if (languageRaise && address != 0) address -= 5;
  Modules().DropChangedFiles();

  const DWORD exceptionThread = params.ThreadID ? params.ThreadID : GetCurrentThreadId();
  const std::exception* exception = AsException(object);
  const EXCEPTION_RECORD* systemRecord = SystemRecordOf(exception);
  state.Record = TVezavuExceptionRecord{};
  state.Record.ExceptionObject = object;
  state.Record.ExceptionAddress = reinterpret_cast<void*>(address);
  state.Record.ThreadID = exceptionThread;
  state.Record.SystemRecord = systemRecord;
  options.SetModuleFileName(std::string());
  ChooseOptions(address, module, options);

  if (handlerKind != hkOuterOnly && options.HandleActive()) {
    Step(2);
    Step(201);
    const int filtered = MatchFilter(object, options);
    if (filtered >= 0) {
      const std::string message =
          filtered < options.FilterMessages().Count() ? options.FilterMessages()[filtered] : std::string();
      if (!message.empty())
        MessageBoxA(nullptr, message.c_str(), options.TextAt(0).c_str(),
                    MB_ICONINFORMATION | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION);
      return false;
    }
  }

  Step(3);
  if (params.Context != nullptr && !IsReadable(params.Context, kContextSize)) params.Context = nullptr;

  Step(4);
  const auto rethrow = reinterpret_cast<uintptr_t>(&__cxa_rethrow);
  const bool reraised = address >= rethrow && address - rethrow <= kRethrowSpan;
  if (!reraised || !state.StoredCallStack) {
    state.StoredCallStack.reset();
    state.StoredCallStack =
        BuildCallStacks(options, address, params, exceptionThread, run.Threads.get(), library.MainThreadID);
  }
  if (handlerKind == hkOuterOnly) return false;

  Step(5);
  PauseThreads(options, run, exceptionThread, library.MainThreadID);

  Step(6);
  state.Handled = true;
  if ((options.LogFlags() & 0x10) != 0) Modules().Refresh();

  Step(7);
  Step(702);
  TReportInputs inputs;
  inputs.Options = &options;
  inputs.ExceptionObject = object;
  inputs.Address = address;
  inputs.SystemRecord = systemRecord;
  inputs.Params = params;
  const TReportText report =
      BuildReportText(inputs, *state.StoredCallStack, Modules(), run.Threads.get(), library.MainThreadID);
  state.ReportText = report.Text;
  state.CpuText = report.CpuText;
  state.TextToSend = state.ReportText;
  PointRecordAtReport(state);
  Step(703);
  Step(704);
  SetCurrentExceptionRecord(&state.Record);
  SetDuplicateKeys(DuplicateKeysOf(state.ReportText));
  RecomputeDuplicateFound();
  Step(705);
  ClearWarning();
  Step(706);
  ProcessingSeams.CaptureScreenshot();
  if (IsCGIHost()) LastHtmlPage = BuildErrorPage(state.ReportText, true);

  RaiseExceptionNotify(state.Handled);

  Step(8);
  if (!state.Handled) {
    run.ResumePaused();
    ProcessingSeams.FreeScreenshot();
    state.StoredCallStack.reset();
    Step(18);
    CloseIfRequested(options);
    return true;
  }
  AddCrashTime(options);
  std::string customData;
  RaiseCustomDataRequest(customData);
  state.CustomDataText = customData;
  if (!customData.empty()) {
    TLogItem item(5);
    item.AddSection(options.TextAt(13));
    item.AddItem(std::string(), customData);
    const size_t at = report.GeneralLength <= state.ReportText.size() ? report.GeneralLength : state.ReportText.size();
    state.ReportText.insert(at, item.GetText() + "\r\n");
    state.TextToSend = state.ReportText;
    PointRecordAtReport(state);
  }

  Step(9);
  ++state.ErrorCount;
  Step(10);
  state.LastExceptionMessage = WithoutControlCharacters(ExceptionMessageText(object, address, systemRecord));

  state.SendChecked = options.MailMode() != 0 || options.WebMode() != 0;
  ScreenshotChecked = (options.SendFlags() & 0x10) != 0;
  state.CopyChecked = false;
  if ((options.DialogFlags() & 0x01) != 0) {
    Step(11);
    Step(12);
    state.DialogResult = true;
    ClearWarning();
    RaiseActionNotify(acBeforeDialog, state.DialogResult);
    // The program's window comes to the front for the dialog and for what a
    // send after it shows.
    const bool windowed = IsGUIAllowed();
    if ((raiserType == rtConsole || (raiserType == rtDecide && windowed)) &&
        ReportIsToBeSent(acBeforeDialog, windowed, SendInputsOf(options)))
      BringMainWindowToFront();
    if (state.DialogResult) {
      Step(13);
      ShowReport(raiserType, state);
    }
    Step(14);
    RaiseActionNotify(acAfterDialog, state.DialogResult);
  } else if (IsWebHost()) {
    ShowWebPage(state.LastExceptionMessage, state);
  }

  ProcessingSeams.AskReproduceSteps();
  const bool sendDue = ReportCanBeSent(SendInputsOf(options));
  if (sendDue) ProcessingSeams.SaveScreenshotFile();
  ProcessingSeams.FreeScreenshot();

  Step(15);
  if ((options.LogFlags() & 0x04) != 0) DeleteLogOfOtherVersion(options);
  if (options.SaveLog()) SaveReportToLog(options);
  if (state.CopyChecked) CopyTextToClipboard(state.ReportText);
  Step(16);
  const bool background = sendDue && (options.SendFlags() & 0x80) != 0;
  if (sendDue) {
    TSendRequest request;
    request.Object = exception;
    request.Address = address;
    request.SystemRecord = systemRecord;
    request.Background = background;
    ProcessingSeams.SendReport(request);
  }
  if (!background) {
    ProcessingSeams.DeleteScreenshotFile();
    ApplyCrashRule(options);
  }
  run.ResumePaused();
  Step(17);
  // A background send still reads the call stack.
  if (!background) state.StoredCallStack.reset();

  Step(18);
  if (!background) CloseIfRequested(options);
  return false;
}

}  // namespace

bool ProcessException(void* object, uintptr_t address, bool languageRaise, uint8_t handlerKind, HMODULE module,
                      uint8_t raiserType, const TExceptNotifyParams& params) {
  TLibraryState& library = LibraryState();
  TProcessingState& state = ProcessingState();
  if (!library.Active || !library.Options) return true;
  if (state.WebFrameworkHandlesExceptions && !state.NestedMessageDisplay &&
      GetCurrentThreadId() == library.MainThreadID)
    return true;
  if (ProcessingOnThisThread) return true;
  ProcessingOnThisThread = true;
  bool result = false;
  {
    TRun run;
    try {
      result = RunSteps(object, address, languageRaise, handlerKind, module, raiserType, params, run);
    } catch (...) {
      InternalErrorHandler(std::to_string(ProgressStep.load()));
    }
    Step(19);
  }
  SetCurrentExceptionRecord(nullptr);
  ClearDuplicateKeys();
  ProcessingOnThisThread = false;
  return result;
}

}  // namespace RevavaRez
