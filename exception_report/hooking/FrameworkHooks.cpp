// The framework's routines hooked by symbol, and their replacements.
#include "hooking/FrameworkHooks.h"

#include <windows.h>

#include <exception>

#include "core/ExceptionObjects.h"
#include "core/FaultingThread.h"
#include "core/Hooks.h"
#include "core/Streams.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "events/ExceptionManager.h"
#include "interception/InterceptionState.h"
#include "moduleinfo/Symbols.h"
#include "options/ActivationGate.h"
#include "packing/TGZWriter.h"
#include "processing/ProcessingState.h"
#include "report/ReportFiles.h"
#include "web/ErrorPage.h"
#include "web/IntraWeb.h"

namespace RevavaRez {

volatile int32_t InsideHandleException = 0;
bool NewExceptionEventForm = false;

namespace {

uint8_t LibraryManager(void* object, void* address, uint8_t outputKind) {
  return ManageException(object, address, outputKind, ThisModule(), 0);
}

}  // namespace

uint8_t (*FrameworkExceptionManager)(void* object, void* address, uint8_t outputKind) = LibraryManager;

namespace {

// The originals, as the trampolines that run them.
THandleExceptionRoutine VclHandleException = nullptr;
TShowExceptionRoutine VclShowException = nullptr;
THandleExceptionRoutine ClxHandleException = nullptr;
TShowExceptionRoutine ClxShowException = nullptr;
TIdentifiedRoutine FirstIdentified = nullptr;
TIdentifiedRoutine SecondIdentified = nullptr;
TControllerConstructor ControllerConstructor = nullptr;
TReplySend ReplySend = nullptr;
TServiceLogMessage ServiceLogMessage = nullptr;
TThreadDoException ThreadDoException = nullptr;
// The controller's handler before ours took its place.
void* OldExceptionEvent = nullptr;

bool Working() { return LibraryState().Active; }

// The exception the calling catch handles, or null outside one.
void* CurrentObject() { return const_cast<void*>(CurrentException().Object); }

void* AddressOf(const void* object) {
  return reinterpret_cast<void*>(object ? LibraryHooks.RaiseAddressOf(object) : 0);
}

uint8_t Manage(void* object, uint8_t outputKind) {
  return FrameworkExceptionManager(object, AddressOf(object), outputKind);
}

BRX_FRAMEWORK_CALL void VclHandleExceptionReplacement(void* application, void* sender) {
  if (Working() && !ProcedurePending() && !Manage(CurrentObject(), 1)) return;
  InsideHandleException = -1;
  try {
    VclHandleException(application, sender);
  } catch (...) {
    InsideHandleException = 0;
    throw;
  }
  InsideHandleException = 0;
}

BRX_FRAMEWORK_CALL void VclShowExceptionReplacement(void* application, void* exception) {
  if (Working() && !ProcedurePending() && InsideHandleException == 0 && !Manage(exception, 1)) return;
  VclShowException(application, exception);
}

BRX_FRAMEWORK_CALL void ClxHandleExceptionReplacement(void* application, void* sender) {
  if (Working() && !Manage(CurrentObject(), 1)) return;
  ClxHandleException(application, sender);
}

BRX_FRAMEWORK_CALL void ClxShowExceptionReplacement(void* application, void* exception) {
  if (Working() && Interception.HandlingEnabled.load() != 0 && !IsThreadExcluded(GetCurrentThreadId()) &&
      !Manage(exception, 1))
    return;
  ClxShowException(application, exception);
}

uintptr_t CallIdentified(TIdentifiedRoutine original, void* first, void* second) {
  if (Working()) {
    const uint8_t answer = Manage(CurrentObject(), 2);
    if (!answer) return answer;
  }
  return original(first, second);
}

BRX_FRAMEWORK_CALL uintptr_t FirstIdentifiedReplacement(void* first, void* second) {
  return CallIdentified(FirstIdentified, first, second);
}

BRX_FRAMEWORK_CALL uintptr_t SecondIdentifiedReplacement(void* first, void* second) {
  return CallIdentified(SecondIdentified, first, second);
}

IServerController* Controller() { return static_cast<IServerController*>(IntraWebHost().ServerController); }

// The exception's message, read only from an object of the library's own
// exception root.
std::string MessageOf(void* exception) {
  const TCaughtException current = CurrentException();
  if (current.Object == exception && current.IsException) return current.Message;
  if (InheritsFromName(ClassOf(exception), "exception")) return static_cast<const std::exception*>(exception)->what();
  return std::string();
}

BRX_FRAMEWORK_CALL void ExceptionEvent4(void* self, void* sender, void* application, void* exception, bool* handled) {
  if (!Working()) {
    if (OldExceptionEvent) reinterpret_cast<TExceptionEvent4>(OldExceptionEvent)(self, sender, application, exception, handled);
    return;
  }
  IntraWebHost().Application = application;
  try {
    if (Manage(exception, 2)) {
      if (OldExceptionEvent)
        reinterpret_cast<TExceptionEvent4>(OldExceptionEvent)(self, sender, application, exception, handled);
    } else if (handled) {
      *handled = true;
    }
  } catch (...) {
    IntraWebHost().Application = nullptr;
    throw;
  }
  IntraWebHost().Application = nullptr;
}

BRX_FRAMEWORK_CALL void ExceptionEvent3(void* self, void* sender, void* application, void* exception) {
  if (!Working()) {
    if (OldExceptionEvent) reinterpret_cast<TExceptionEvent3>(OldExceptionEvent)(self, sender, application, exception);
    return;
  }
  TIntraWebHost& host = IntraWebHost();
  host.Application = application;
  try {
    if (Manage(exception, 2)) {
      if (OldExceptionEvent) {
        reinterpret_cast<TExceptionEvent3>(OldExceptionEvent)(self, sender, application, exception);
      } else if (host.ShowMessage) {
        int32_t mode = 0;
        if (IServerController* controller = Controller())
          if (!controller->PublishedOrdinal("ExceptionDisplayMode", mode)) mode = 0;
        host.ShowMessage(application, MessageOf(exception), mode, std::string());
      }
    }
  } catch (...) {
    host.Application = nullptr;
    throw;
  }
  host.Application = nullptr;
}

void* OurExceptionEvent() {
  return NewExceptionEventForm ? reinterpret_cast<void*>(&ExceptionEvent4) : reinterpret_cast<void*>(&ExceptionEvent3);
}

// Puts our handler into the controller's "OnException" again, keeping what
// the program put there since.
void BindExceptionEvent() {
  IServerController* controller = Controller();
  if (controller == nullptr) return;
  void* const ours = OurExceptionEvent();
  void* const old = ReplaceEventHandler(controller, "OnException", ours);
  if (old != nullptr && old != reinterpret_cast<void*>(&ExceptionEvent4) &&
      old != reinterpret_cast<void*>(&ExceptionEvent3))
    OldExceptionEvent = old;
}

std::string ControllerText(void* controller, const std::string& name) {
  std::string value;
  if (controller == nullptr || !static_cast<IServerController*>(controller)->PublishedText(name, value)) return {};
  return value;
}

BRX_FRAMEWORK_CALL IServerController* ControllerConstructorReplacement(void* classRef, void* owner) {
  IServerController* const controller = ControllerConstructor(classRef, owner);
  if (controller == nullptr || !Working()) return controller;
  TIntraWebHost& host = IntraWebHost();
  host.ServerController = controller;
  host.ControllerString = ControllerText;
  const void* compression = nullptr;
  if (controller->PublishedObject("Compression", compression) && compression != nullptr &&
      ReadableLength(static_cast<const uint8_t*>(compression) + 4, 1) >= 1)
    host.ReplyCompression = static_cast<const uint8_t*>(compression)[4] != 0;
  std::string version;
  if (!controller->PublishedText("Version", version)) version = "5.0.0";
  NewExceptionEventForm = version >= "7.2.32";
  OldExceptionEvent = nullptr;
  BindExceptionEvent();
  ProcessingState().WebFrameworkHandlesExceptions = true;
  return controller;
}

// The reply's content from its start, its position kept; at most what the
// inflation would take.
bool ReadWholeStream(TStream& stream, std::string& text) {
  const int64_t position = stream.Position();
  const int64_t size = stream.Size();
  if (size < 0 || static_cast<uint64_t>(size) > GZipInflateLimit) return false;
  text.assign(static_cast<size_t>(size), '\0');
  stream.SetPosition(0);
  const int64_t read = size > 0 ? stream.Read(&text[0], size) : 0;
  text.resize(static_cast<size_t>(read > 0 ? read : 0));
  stream.SetPosition(position);
  return true;
}

void KeepReply(IWebReply* reply) {
  TStream* const stream = reply->ContentStream();
  if (stream == nullptr || LowerCase(reply->ContentType()) != "text/html") return;
  std::string text;
  if (!ReadWholeStream(*stream, text)) return;
  if (!LastPageIDComment.empty() && text.find(LastPageIDComment) != std::string::npos) return;
  if (text.size() >= 2 && static_cast<uint8_t>(text[0]) == 0x1F && static_cast<uint8_t>(text[1]) == 0x8B) {
    IntraWebHost().ReplyCompression = true;
    TMemoryStream inflated;
    GZipInflate(text.data(), text.size(), inflated);
    text.assign(static_cast<size_t>(inflated.Size()), '\0');
    inflated.SetPosition(0);
    if (!text.empty()) inflated.ReadBuffer(&text[0], static_cast<int64_t>(text.size()));
  }
  LastHtmlPage = text;
}

BRX_FRAMEWORK_CALL void ReplySendReplacement(IWebReply* reply) {
  if (reply != nullptr && Working()) {
    try {
      KeepReply(reply);
    } catch (...) {
      // A reply that cannot be read is sent all the same.
    }
  }
  ReplySend(reply);
}

BRX_FRAMEWORK_CALL void ServiceLogMessageReplacement(void* service, const std::string& message, uint32_t eventType,
                                                    int32_t category, int32_t identifier) {
  if (Working() && !ProcedurePending() && InsideHandleException == 0)
    if (void* const object = CurrentObject()) Manage(object, 0);
  ServiceLogMessage(service, message, eventType, category, identifier);
}

BRX_FRAMEWORK_CALL void ThreadDoExceptionReplacement(void* thread, void* exception) {
  if (Working() && !Manage(exception, 0)) return;
  ThreadDoException(thread, exception);
}

template <typename T>
void HookRow(uint8_t identifier, const char* module, const char* symbol, T replacement, T& original) {
  void* const trampoline = HookSymbol(identifier, module ? module : "", symbol ? symbol : "",
                                      reinterpret_cast<void*>(replacement));
  if (trampoline != nullptr) original = reinterpret_cast<T>(trampoline);
}

const char kVcl[] = "VCL70.BPL";
const char kClx[] = "VISUALCLX70.BPL";

}  // namespace

std::string IntraWebPackageName(int n) { return "Intraweb_" + std::to_string(n) + "_70.bpl"; }

void InstallFrameworkHooks() {
  HookRow(0, kVcl, "@Forms@TApplication@HandleException$qqrp14System@TObject", &VclHandleExceptionReplacement,
          VclHandleException);
  HookRow(1, kVcl, "@Forms@TApplication@ShowException$qqrp18Sysutils@Exception", &VclShowExceptionReplacement,
          VclShowException);
  HookRow(5, nullptr, nullptr, &FirstIdentifiedReplacement, FirstIdentified);
  HookRow(4, nullptr, nullptr, &SecondIdentifiedReplacement, SecondIdentified);
  HookRow(2, kClx, "@Qforms@TApplication@HandleException$qqrp14System@TObject", &ClxHandleExceptionReplacement,
          ClxHandleException);
  HookRow(3, kClx, "@Qforms@TApplication@ShowException$qqrp18Sysutils@Exception", &ClxShowExceptionReplacement,
          ClxShowException);
  for (int n = 10; n <= 98; ++n) {
    const std::string package = IntraWebPackageName(n);
    HookRow(6, package.c_str(),
            "@Iwservercontrollerbase@TIWServerControllerBase@$bctr$qqrp18Classes@TComponent",
            &ControllerConstructorReplacement, ControllerConstructor);
    // Only the address: the library calls it to show its page.
    if (void* const showMessage = HookSymbol(
            7, package, "@Iwapplication@TIWApplication@ShowMessage$qqr17System@AnsiStringx26Iwtypes@TIWShowMessageTypet1",
            nullptr))
      IntraWebHost().ShowMessage = reinterpret_cast<decltype(TIntraWebHost::ShowMessage)>(showMessage);
    if (ControllerConstructor != nullptr) break;
  }
  HookRow(8, nullptr, nullptr, &ReplySendReplacement, ReplySend);
  HookRow(9, kVcl, "@Svcmgr@TService@LogMessage$qqr17System@AnsiStringuiii", &ServiceLogMessageReplacement,
          ServiceLogMessage);
  HookRow(10, "INDY70.BPL", "@Idthread@TIdThread@DoException$qqrp18Sysutils@Exception",
          &ThreadDoExceptionReplacement, ThreadDoException);
  Interception.IndyHookInstalled = ThreadDoException != nullptr;
  LibraryHooks.RebindWebExceptionEvent = BindExceptionEvent;
}

}  // namespace RevavaRez
