// The constructor-list patch over lists of the linker's form run by a loop
// of the run-time's kind, in a test library's own load and unload, and the
// web hooks that keep what a web host's program writes.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <httpext.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestModules.h"
#include "interception/InterceptionState.h"
#include "options/UnitTable.h"

namespace {

using RevavaRez::Interception;

// ---- Synthetic lists -------------------------------------------------------

void** CurrentList = nullptr;
std::string Ran;
std::string InitializationSeen;

void Record(char name) {
  Ran += name;
  InitializationSeen += char('0' + Interception.InInitialization);
}
void RoutineA() { Record('A'); }
void RoutineB() { Record('B'); }
void RoutineC() { Record('C'); }
// The start-up's constructor: the first to run, patching from inside.
void StartUpRoutine() {
  RevavaRez::UnitStartUpBegins();
  RevavaRez::PatchUnitInitTable(CurrentList);
  Record('S');
  RevavaRez::UnitStartUpEnds();
}

// As the run-time does: count up to the 0, then from the last to the
// first, each slot read when its turn comes.
void RunList(void** list) {
  size_t count = 0;
  while (list[count + 1] != nullptr) ++count;
  for (size_t at = count; at >= 1; --at) reinterpret_cast<void (*)()>(list[at])();
}

DWORD ProtectionOf(const void* address) {
  MEMORY_BASIC_INFORMATION info{};
  VirtualQuery(address, &info, sizeof info);
  return info.Protect;
}

TEST(UnitTable, TheRoutineThatRunsLastEndsTheInitialisation) {
  struct TCase {
    const char* Name;
    std::vector<void (*)()> Routines;  // in list order
    bool PatchFromOutside;
    std::string Ran, Seen;
  };
  const TCase cases[] = {
      {"several routines", {RoutineA, RoutineB, RoutineC}, true, "CBA", "111"},
      {"one routine", {RoutineA}, true, "A", "1"},
      {"the start-up's routine alone", {StartUpRoutine}, false, "S", "1"},
      {"the start-up first of several", {RoutineA, RoutineB, StartUpRoutine}, false, "SBA", "111"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    std::vector<void*> list{reinterpret_cast<void*>(~uintptr_t(0))};
    for (auto routine : test.Routines) list.push_back(reinterpret_cast<void*>(routine));
    list.push_back(nullptr);
    const std::vector<void*> before = list;
    const DWORD protection = ProtectionOf(list.data());
    CurrentList = list.data();
    Ran.clear();
    InitializationSeen.clear();
    Interception.InInitialization = 1;

    if (test.PatchFromOutside) {
      RevavaRez::PatchUnitInitTable(list.data());
      EXPECT_EQ(list[1], reinterpret_cast<void*>(&RevavaRez::AfterLastUnitInit));
      EXPECT_EQ(ProtectionOf(list.data()), protection);
    }
    RunList(list.data());

    EXPECT_EQ(Ran, test.Ran);
    EXPECT_EQ(InitializationSeen, test.Seen);
    EXPECT_EQ(Interception.InInitialization, 0);
    EXPECT_EQ(list, before) << "the slot is put back";
    EXPECT_EQ(ProtectionOf(list.data()), protection);
  }
}

TEST(UnitTable, AnEmptyListIsLeftAlone) {
  void* list[] = {reinterpret_cast<void*>(~uintptr_t(0)), nullptr};
  Interception.InInitialization = 1;
  RevavaRez::PatchUnitInitTable(list);
  EXPECT_EQ(list[0], reinterpret_cast<void*>(~uintptr_t(0)));
  EXPECT_EQ(list[1], nullptr);
  EXPECT_EQ(Interception.InInitialization, 1);
  Interception.InInitialization = 0;
}

// ---- A library's own load and unload ---------------------------------------

using TTextExport = void(__stdcall*)(char*, int);

TEST(UnitTable, ALibraryKnowsItsInitialisationAndDestruction) {
  brx_test::TTempFolder folder(L"unit table");
  const std::wstring report = folder.Path() + L"\\destructor.txt";
  SetEnvironmentVariableW(L"BRX_UNIT_REPORT", report.c_str());
  HMODULE module = LoadLibraryW(brx_test::TestModulePath(L"brx_test_module_units.dll").c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  auto state = reinterpret_cast<TTextExport>(reinterpret_cast<void*>(GetProcAddress(module, "TestModuleUnitState")));
  ASSERT_NE(state, nullptr);
  char text[128] = {};
  state(text, sizeof text);
  EXPECT_STREQ(text, "constructor init=1 fin=0, loaded init=0 fin=0");
  FreeLibrary(module);
  SetEnvironmentVariableW(L"BRX_UNIT_REPORT", nullptr);
  EXPECT_EQ(brx_test::ReadFileText(report), "init=0 fin=1");
}

// ---- A CGI program's standard output ---------------------------------------

TEST(WebHooks, ACgiProgramKeepsWhatItWritesToStandardOutput) {
  brx_test::TTempFolder folder(L"unit cgi");
  const std::wstring exe = folder.Path() + L"\\brx_test_module_console.exe";
  ASSERT_TRUE(brx_test::MakeActiveCopy(brx_test::TestModulePath(L"brx_test_module_console.exe"), exe));
  const std::string page = "Content-Type: text/html\r\n\r\n<p>cgi page</p>";
  for (bool requestMethod : {true, false}) {
    SCOPED_TRACE(requestMethod ? "with REQUEST_METHOD" : "without");
    if (requestMethod) SetEnvironmentVariableW(L"REQUEST_METHOD", L"GET");
    const brx_test::TModuleRun run = brx_test::RunTestModule(exe, L"cgi-write");
    SetEnvironmentVariableW(L"REQUEST_METHOD", nullptr);
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.ExitCode, 0u);
    // The bytes for the other file are not the page.
    EXPECT_EQ(run.Report, "page=" + (requestMethod ? page : std::string()));
  }
}

// ---- An ISAPI extension's client writes ------------------------------------

using TEntry = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
using TFlagExport = BOOL(__stdcall*)();
using TPageExport = int(__stdcall*)(char*, int);

struct TFakeServer {
  EXTENSION_CONTROL_BLOCK Block{};
  std::vector<std::string> Writes;
  std::vector<DWORD> Requests;
};

BOOL WINAPI FakeSupport(HCONN connection, DWORD request, LPVOID, LPDWORD, LPDWORD) {
  static_cast<TFakeServer*>(connection)->Requests.push_back(request);
  return TRUE;
}

BOOL WINAPI FakeWrite(HCONN connection, LPVOID buffer, LPDWORD bytes, DWORD) {
  static_cast<TFakeServer*>(connection)->Writes.emplace_back(static_cast<const char*>(buffer), *bytes);
  return TRUE;
}

class HookedIsapi : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring copy = FFolder.Path() + L"\\brx_test_module_isapi_hooked.dll";
    ASSERT_TRUE(brx_test::MakeActiveCopy(brx_test::TestModulePath(L"brx_test_module_isapi_hooked.dll"), copy));
    FModule = LoadLibraryW(copy.c_str());
    ASSERT_NE(FModule, nullptr) << GetLastError();
    auto hook = reinterpret_cast<int(__stdcall*)()>(reinterpret_cast<void*>(GetProcAddress(FModule, "TestModuleHookEntry")));
    ASSERT_NE(hook, nullptr);
    ASSERT_EQ(hook(), 1);
    FEntry = reinterpret_cast<TEntry>(reinterpret_cast<void*>(GetProcAddress(FModule, "HttpExtensionProc")));
    ASSERT_NE(FEntry, nullptr);
  }
  void TearDown() override {
    if (FModule == nullptr) return;
    if (auto done = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(FModule, "TestModuleHooksDone"))))
      done();
    FreeLibrary(FModule);
  }

  DWORD Request(TFakeServer& server, void* data, DWORD bytes, const char* query) {
    server.Block.cbSize = sizeof server.Block;
    server.Block.ConnID = &server;
    server.Block.lpbData = static_cast<LPBYTE>(data);
    server.Block.cbAvailable = bytes;
    server.Block.lpszQueryString = const_cast<char*>(query);
    server.Block.ServerSupportFunction = FakeSupport;
    server.Block.WriteClient = FakeWrite;
    return FEntry(&server.Block);
  }
  std::string LastHtmlPage() {
    auto read = reinterpret_cast<TPageExport>(reinterpret_cast<void*>(GetProcAddress(FModule, "TestModuleLastHtmlPage")));
    if (read == nullptr) return "no export";
    std::string page(static_cast<size_t>(read(nullptr, 0)), '\0');
    if (!page.empty()) read(&page[0], static_cast<int>(page.size()));
    return page;
  }

  brx_test::TTempFolder FFolder{L"unit isapi"};
  HMODULE FModule = nullptr;
  TEntry FEntry = nullptr;
};

TEST_F(HookedIsapi, AFailingRequestGetsItsPageThroughTheHooksBlock) {
  TFakeServer server;
  char body[] = "<p>before the fault</p>";
  EXPECT_EQ(Request(server, body, sizeof body - 1, "fail"), DWORD(HSE_STATUS_SUCCESS));
  ASSERT_EQ(server.Writes.size(), 2u);
  EXPECT_EQ(server.Writes[0], body);
  EXPECT_NE(server.Writes[1].find("The request failed"), std::string::npos) << server.Writes[1];
  EXPECT_EQ(server.Requests, std::vector<DWORD>{HSE_REQ_SEND_RESPONSE_HEADER});
  // The library's own page is not what the extension wrote.
  EXPECT_EQ(LastHtmlPage(), body);
}

TEST_F(HookedIsapi, AClientWriteKeepsOnlyTheBytesGiven) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    DWORD Count;
    std::string Kept;
  };
  const TCase cases[] = {
      {"the whole buffer", "abcdef", 6, "abcdef"},
      {"fewer than the buffer holds", "abcdef", 3, "abc"},
      {"up to a zero inside", std::string("abc\0def", 7), 7, "abc"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TFakeServer server;
    std::string bytes = test.Bytes;
    Request(server, &bytes[0], test.Count, "");
    ASSERT_EQ(server.Writes.size(), 1u);
    EXPECT_EQ(server.Writes[0], test.Bytes.substr(0, test.Count)) << "the same arguments go on";
    EXPECT_EQ(LastHtmlPage(), test.Kept);
  }
}

TEST_F(HookedIsapi, ABufferBeforeANoAccessPageIsKeptWhole) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  auto* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &old));
  const DWORD count = 100;
  char* buffer = pages + system.dwPageSize - count;
  std::fill(buffer, buffer + count, 'x');

  TFakeServer server;
  EXPECT_EQ(Request(server, buffer, count, ""), DWORD(HSE_STATUS_SUCCESS));
  EXPECT_EQ(LastHtmlPage(), std::string(count, 'x'));
  VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace
