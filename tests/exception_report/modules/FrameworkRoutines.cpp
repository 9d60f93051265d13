// Stand-ins for the framework routines that the library hooks by symbol,
// for a data block's symbol directory to point at, and the scenarios that
// call them as the framework would. Each routine and the stand-in manager
// write what ran into a trace the test reads.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "BufferText.h"
#include "TestModuleDriver.h"
#include "core/VArev.h"
#include "core/Streams.h"
#include "hooking/FrameworkHooks.h"
#include "hooking/HookEngine.h"
#include "interception/InterceptionState.h"
#include "packing/TGZWriter.h"
#include "report/ReportFiles.h"
#include "web/ErrorPage.h"
#include "web/IntraWeb.h"

using namespace RevavaRez;

namespace {

std::string Trace;
uint8_t Answer = 1;
const void* Thrown = nullptr;

void Note(const std::string& text) { Trace += text + " "; }

// Plain stores first: the hook's jump takes the place of code that moves
// anywhere, not of a call or an address relative to the routine.
#define MOVABLE_ENTRY()         \
  volatile int scratch = 1;     \
  scratch = scratch * 3 + 1;    \
  (void)scratch

// The manager's kind, and "=e" when it got the exception the scenario
// raised, "=0" for none.
uint8_t StandInManager(void* object, void*, uint8_t outputKind) {
  Note("M" + std::to_string(outputKind) + (object == Thrown ? "=e" : object ? "=?" : "=0"));
  return Answer;
}

// What the framework's routines do: note that they ran. HandleException
// shows the exception through ShowException, as the framework's does.
__attribute__((noinline, used)) BRX_FRAMEWORK_CALL void FrameworkShowException(void*, void*) {
  MOVABLE_ENTRY();
  Note("O1");
}
__attribute__((noinline, used)) BRX_FRAMEWORK_CALL void FrameworkHandleException(void* application,
                                                                                          void*) {
  MOVABLE_ENTRY();
  Note("O0");
  TShowExceptionRoutine volatile show = &FrameworkShowException;
  show(application, const_cast<void*>(Thrown));
}
__attribute__((noinline, used)) BRX_FRAMEWORK_CALL void ClxFrameworkHandleException(void*, void*) {
  MOVABLE_ENTRY();
  Note("O2");
}
__attribute__((noinline, used)) BRX_FRAMEWORK_CALL void ClxFrameworkShowException(void*, void*) {
  MOVABLE_ENTRY();
  Note("O3");
}
__attribute__((noinline, used)) BRX_FRAMEWORK_CALL uintptr_t SecondIdentifiedRoutine(void*, void*) {
  MOVABLE_ENTRY();
  Note("O4");
  return 7;
}
__attribute__((noinline, used)) BRX_FRAMEWORK_CALL uintptr_t FirstIdentifiedRoutine(void*, void*) {
  MOVABLE_ENTRY();
  Note("O5");
  return 7;
}

// The server controller as the web framework builds one.
struct TControllerSetup {
  std::string Version;  // empty: none published
  int Compression = 0;  // 0 none, 1 readable, 2 its flag byte unreadable
  bool OldHandler = false;
} Setup;

const uint8_t ReadableCompression[8] = {0, 0, 0, 0, 1, 0, 0, 0};

const void* UnreadableCompression() {
  static uint8_t* pages = [] {
    auto* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (block) VirtualProtect(block + 4096, 4096, PAGE_NOACCESS, &old);
    return block;
  }();
  // Its first four bytes readable, the flag byte on the no-access page.
  return pages ? pages + 4096 - 4 : nullptr;
}

__attribute__((noinline, used)) BRX_FRAMEWORK_CALL void OldHandler4(void*, void*, void* application,
                                                                              void*, bool*) {
  MOVABLE_ENTRY();
  Note(std::string("old4 app=") + (IntraWebHost().Application == application ? "kept" : "lost"));
}
__attribute__((noinline, used)) BRX_FRAMEWORK_CALL void OldHandler3(void*, void*, void* application,
                                                                              void*) {
  MOVABLE_ENTRY();
  Note(std::string("old3 app=") + (IntraWebHost().Application == application ? "kept" : "lost"));
}

class TTestController final : public IServerController {
 public:
  TTestController() {
    if (Setup.OldHandler) FCode = FourParameters() ? reinterpret_cast<void*>(&OldHandler4)
                                                   : reinterpret_cast<void*>(&OldHandler3);
  }
  bool GetEventCode(const std::string& name, void*& code) const override {
    if (name != "OnException") return false;
    code = FCode;
    return true;
  }
  void SetEventCode(const std::string& name, void* code) override {
    if (name == "OnException") FCode = code;
  }
  bool PublishedObject(const std::string& name, const void*& value) const override {
    if (name != "Compression" || Setup.Compression == 0) return false;
    value = Setup.Compression == 1 ? static_cast<const void*>(ReadableCompression) : UnreadableCompression();
    return true;
  }
  bool PublishedText(const std::string& name, std::string& value) const override {
    if (name != "Version" || Setup.Version.empty()) return false;
    value = Setup.Version;
    return true;
  }
  bool PublishedOrdinal(const std::string& name, int32_t& value) const override {
    if (name != "ExceptionDisplayMode") return false;
    value = 3;
    return true;
  }
  // The framework's own call of its event, in its release's form.
  void RaiseEvent(void* application, void* exception) {
    if (FCode == nullptr) return Note("no-event");
    if (FourParameters()) {
      bool handled = false;
      reinterpret_cast<TExceptionEvent4>(FCode)(this, this, application, exception, &handled);
      Note(std::string("handled=") + (handled ? "1" : "0"));
    } else {
      reinterpret_cast<TExceptionEvent3>(FCode)(this, this, application, exception);
    }
  }

 private:
  bool FourParameters() const { return !Setup.Version.empty() && Setup.Version >= "7.2.32"; }
  void* FCode = nullptr;
};

TTestController* LastController = nullptr;

__attribute__((noinline, used)) BRX_FRAMEWORK_CALL IServerController* FrameworkControllerConstructor(
    void*, void*) {
  MOVABLE_ENTRY();
  Note("O6");
  delete LastController;
  LastController = new TTestController;
  return LastController;
}

__attribute__((noinline, used)) void FrameworkShowMessage(void*, const std::string& message,
                                                                     int messageType, const std::string&) {
  MOVABLE_ENTRY();
  Note("show=" + message + ":" + std::to_string(messageType));
}

class TTestReply : public IWebReply {
 public:
  TTestReply(const std::string& type, const std::string& content) : FType(type) {
    FContent.WriteBuffer(content.data(), static_cast<int64_t>(content.size()));
    FContent.SetPosition(3);
  }
  TStream* ContentStream() override { return &FContent; }
  std::string ContentType() const override { return FType; }
  TMemoryStream FContent;

 private:
  std::string FType;
};

__attribute__((noinline, used)) BRX_FRAMEWORK_CALL void FrameworkReplySend(IWebReply* reply) {
  MOVABLE_ENTRY();
  Note("O8 pos=" + std::to_string(reply->ContentStream()->Position()));
}

__attribute__((noinline, used)) BRX_FRAMEWORK_CALL void FrameworkLogMessage(
    void*, const std::string& message, uint32_t eventType, int32_t category, int32_t identifier) {
  MOVABLE_ENTRY();
  Note("O9=" + message + "/" + std::to_string(eventType) + "/" + std::to_string(category) + "/" +
       std::to_string(identifier));
}

__attribute__((noinline, used)) BRX_FRAMEWORK_CALL void FrameworkThreadDoException(void*, void*) {
  MOVABLE_ENTRY();
  Note("O10");
}

const char kPage[] = "<html>reply page</html>";

void RunReply(const std::string& form) {
  LastHtmlPage = "before";
  LastPageIDComment = "<!-- RevavaRez ID: 42 -->";
  IntraWebHost().ReplyCompression = false;
  std::string content = kPage;
  std::string type = "Text/HTML";
  if (form == "gzip")
    content = GZipFileBytes(reinterpret_cast<const uint8_t*>(kPage), std::strlen(kPage), "page");
  else if (form == "own")
    content = std::string("<html>") + LastPageIDComment + "</html>";
  else if (form == "plain-text")
    type = "text/plain";
  TTestReply reply(type, content);
  TReplySend volatile send = &FrameworkReplySend;
  send(&reply);
  Note("page=" + LastHtmlPage + " compression=" + (IntraWebHost().ReplyCompression ? "1" : "0"));
}

void RunController(const std::string& version, int compression, bool oldHandler) {
  Setup = TControllerSetup{version, compression, oldHandler};
  TIntraWebHost& host = IntraWebHost();
  host.ServerController = nullptr;
  host.ReplyCompression = false;
  TControllerConstructor volatile construct = &FrameworkControllerConstructor;
  IServerController* controller = construct(nullptr, nullptr);
  Note(std::string("kept=") + (host.ServerController == controller ? "1" : "0") +
       " compression=" + (host.ReplyCompression ? "1" : "0"));
  int application = 0;
  static_cast<TTestController*>(controller)->RaiseEvent(&application, const_cast<void*>(Thrown));
  Note(std::string("app=") + (host.Application ? "set" : "clear"));
}

// One scenario, inside the catch of an exception the framework is handling
// (except "outside", which calls the row with no exception being handled).
void RunScenario(const std::string& scenario) {
  int application = 0;
  void* const self = &application;
  auto run = [&](void* exception) {
    if (scenario == "0") {
      THandleExceptionRoutine volatile routine = &FrameworkHandleException;
      routine(self, self);
    } else if (scenario == "1") {
      TShowExceptionRoutine volatile routine = &FrameworkShowException;
      routine(self, exception);
    } else if (scenario == "2") {
      THandleExceptionRoutine volatile routine = &ClxFrameworkHandleException;
      routine(self, self);
    } else if (scenario == "3" || scenario == "3-disabled" || scenario == "3-excluded") {
      if (scenario == "3-disabled") Interception.HandlingEnabled = 0;
      if (scenario == "3-excluded") ExcludeThread(GetCurrentThreadId());
      TShowExceptionRoutine volatile routine = &ClxFrameworkShowException;
      routine(self, exception);
      Interception.HandlingEnabled = 1;
      IncludeThread(GetCurrentThreadId());
    } else if (scenario == "4" || scenario == "5") {
      TIdentifiedRoutine volatile routine = scenario == "4" ? &SecondIdentifiedRoutine : &FirstIdentifiedRoutine;
      Note("result=" + std::to_string(routine(self, self)));
    } else if (scenario == "9" || scenario == "9-outside") {
      TServiceLogMessage volatile routine = &FrameworkLogMessage;
      routine(self, "service text", 1, 2, 3);
    } else if (scenario == "10") {
      TThreadDoException volatile routine = &FrameworkThreadDoException;
      routine(self, exception);
    } else if (scenario.rfind("controller ", 0) == 0) {
      // "controller VERSION COMPRESSION OLD": "-" for no version.
      char version[32] = "", old[8] = "";
      int compression = 0;
      std::sscanf(scenario.c_str() + 11, "%31s %d %7s", version, &compression, old);
      RunController(std::strcmp(version, "-") == 0 ? "" : version, compression, std::strcmp(old, "old") == 0);
    } else if (scenario.rfind("reply ", 0) == 0) {
      RunReply(scenario.substr(6));
    } else {
      Note("unknown");
    }
  };
  if (scenario == "9-outside") {
    Thrown = nullptr;
    run(nullptr);
    return;
  }
  try {
    throw std::runtime_error("framework fault");
  } catch (std::exception& fault) {
    Thrown = &fault;
    run(&fault);
  }
  Thrown = nullptr;
}

}  // namespace

// The stand-in routine of a row, for the symbol directory.
extern "C" __declspec(dllexport) uintptr_t TestModuleFrameworkRoutine(int row) {
  static const uintptr_t routines[] = {
      reinterpret_cast<uintptr_t>(&FrameworkHandleException),
      reinterpret_cast<uintptr_t>(&FrameworkShowException),
      reinterpret_cast<uintptr_t>(&ClxFrameworkHandleException),
      reinterpret_cast<uintptr_t>(&ClxFrameworkShowException),
      reinterpret_cast<uintptr_t>(&SecondIdentifiedRoutine),
      reinterpret_cast<uintptr_t>(&FirstIdentifiedRoutine),
      reinterpret_cast<uintptr_t>(&FrameworkControllerConstructor),
      reinterpret_cast<uintptr_t>(&FrameworkShowMessage),
      reinterpret_cast<uintptr_t>(&FrameworkReplySend),
      reinterpret_cast<uintptr_t>(&FrameworkLogMessage),
      reinterpret_cast<uintptr_t>(&FrameworkThreadDoException)};
  return row >= 0 && row < 11 ? routines[row] : 0;
}

namespace {

// Hooks the framework's routines as the start-up will, with the stand-in
// manager; answers how many code hooks exist, -1 when hooking failed.
int InstallStandIns(std::string& error) {
  try {
    static const bool engineUp = (EHookInit(), true);
    (void)engineUp;
    FrameworkExceptionManager = StandInManager;
    InstallFrameworkHooks();
    return CodeHooks ? static_cast<int>(CodeHooks->size()) : 0;
  } catch (const std::exception& failure) {
    error = failure.what();
  } catch (...) {
    error = "unknown";
  }
  return -1;
}

// The trace of one scenario with the manager answering answer.
std::string TraceOf(const std::string& scenario, int answer) {
  try {
    Trace.clear();
    Answer = static_cast<uint8_t>(answer);
    RunScenario(scenario);
    if (!Trace.empty()) Trace.pop_back();
    if (Interception.IndyHookInstalled) Trace += " [indy]";
    return Trace;
  } catch (...) {
    return "failed";
  }
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

}  // namespace

// The stand-in's answers through the library's exports, for a test library.
extern "C" __declspec(dllexport) int TestModuleInstallFrameworkHooks(char* error, int size) {
  std::string message;
  const int hooks = InstallStandIns(message);
  brx_test_module::CopyToBuffer(message, error, size);
  return hooks;
}

extern "C" __declspec(dllexport) void TestModuleRunFramework(const char* scenario, int answer, char* trace,
                                                             int size) {
  brx_test_module::CopyToBuffer(TraceOf(scenario ? scenario : "", answer), trace, size);
}

// And through verbs, for a test EXE:
//   framework-offsets REPORT   "ROW OFFSET" lines: each stand-in's offset from
//                              this module's handle + 4096
//   framework CASE... REPORT   each CASE "SCENARIO:ANSWER"; "hooks=N" (or the
//                              engine's message), then one trace a line
int brx_test_module::RunFrameworkVerbs(const std::vector<std::wstring>& arguments) {
  if (arguments.size() == 2 && arguments[0] == L"framework-offsets") {
    std::string text;
    const auto base = reinterpret_cast<uintptr_t>(ThisModule());
    for (int row = 0; row < 11; ++row)
      text += std::to_string(row) + " " + std::to_string(TestModuleFrameworkRoutine(row) - base - 4096) + "\n";
    return WriteReport(arguments[1], text) ? 0 : 3;
  }
  if (arguments.size() >= 2 && arguments[0] == L"framework") {
    std::string error;
    const int hooks = InstallStandIns(error);
    std::string text = hooks < 0 ? "hooks failed: " + error + "\n" : "hooks=" + std::to_string(hooks) + "\n";
    for (size_t at = 1; at + 1 < arguments.size(); ++at) {
      const std::string item = Narrow(arguments[at]);
      const size_t colon = item.rfind(':');
      if (colon == std::string::npos) return 2;
      text += TraceOf(item.substr(0, colon), std::atoi(item.c_str() + colon + 1)) + "\n";
    }
    return WriteReport(arguments.back(), text) ? 0 : 3;
  }
  return kNotMyVerb;
}
