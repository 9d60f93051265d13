// The activation gate in copies of the test modules and of the deliverables:
// the library works only in a module that carries its data block, or in any
// module inside the development environment, and its module block exists
// exactly while it works.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <functional>
#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"
#include "core/VArev.h"

namespace {

using brx_test::Bytes;

std::wstring Widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring BuildPath(const std::string& path) {
  std::wstring wide = Widened(path);
  for (auto& c : wide)
    if (c == L'/') c = L'\\';
  return !wide.empty() && wide[0] == L'\\' ? L"Z:" + wide : wide;
}

Bytes GoodBlock() {
  brx_test::TDataBlock block;
  block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, block.Version);
  return brx_test::ResourceBlock(block);
}

Bytes Trailer(uint32_t lastWord) {
  brx_test::TDataBlock block;
  block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, block.Version);
  return brx_test::TrailerBlock(block, lastWord);
}

// What a module copy carries.
struct TBlockCase {
  const char* What;
  std::function<bool(const std::wstring&)> Apply;
  bool HasData;
};

const TBlockCase BlockCases[] = {
    {"no block", [](const std::wstring&) { return true; }, false},
    {"a good resource", [](const std::wstring& m) { return brx_test::PutResource(m, GoodBlock()); }, true},
    {"a 2-byte resource", [](const std::wstring& m) { return brx_test::PutResource(m, Bytes{0x10, 0xAB}); }, false},
    {"a resource with the wrong first word",
     [](const std::wstring& m) {
       Bytes block = GoodBlock();
       block[0] = 0x11;
       return brx_test::PutResource(m, block);
     },
     false},
    {"a trailer", [](const std::wstring& m) { return brx_test::AppendToFile(m, Trailer(brx_test::kDataBlockMagic)); },
     true},
    {"a wrong trailer word", [](const std::wstring& m) { return brx_test::AppendToFile(m, Trailer(0x000FAB11)); },
     false},
};

// "active=1 defer=0 hooks=1 options=1 block=5,0" for a working library:
// its own options made and its module block there, empty.
std::string ExpectedState(bool active, bool defer) {
  return std::string("active=") + (active ? "1" : "0") + " defer=" + (defer ? "1" : "0") + " hooks=1 " +
         (active ? "options=1 block=5,0" : "options=0 block=none");
}

TEST(Gate, ModuleCopiesCrossedWithTheHost) {
  const std::wstring ideHost = Widened(RevavaRez::IDEHostFileName);
  for (const TBlockCase& block : BlockCases) {
    for (const std::wstring& host : {std::wstring(L"host.exe"), ideHost}) {
      SCOPED_TRACE(std::string(block.What) + " in " + std::string(host.begin(), host.end()));
      brx_test::TTempFolder folder(L"gate");
      const std::wstring exe = folder.Path() + L"\\" + host;
      const std::wstring dll = folder.Path() + L"\\module.dll";
      ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_console.exe"), exe));
      ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_dll.dll"), dll));
      ASSERT_TRUE(block.Apply(dll));
      const brx_test::TModuleRun run = brx_test::RunTestModule(exe, L"load \"" + dll + L"\"");
      ASSERT_TRUE(run.Ended);
      EXPECT_EQ(run.ExitCode, 0u);
      EXPECT_EQ(run.Report, ExpectedState(block.HasData || host == ideHost, false));
    }
  }
}

TEST(Gate, ExecutablesWithAndWithoutABlock) {
  for (const wchar_t* module : {L"brx_test_module_console.exe", L"brx_test_module_windowed.exe"}) {
    for (bool withBlock : {false, true}) {
      SCOPED_TRACE(std::wstring(module) + (withBlock ? L" with a trailer" : L" without a block"));
      brx_test::TTempFolder folder(L"gate exe");
      const std::wstring exe = folder.Path() + L"\\" + module;
      ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(module), exe));
      if (withBlock) {
      ASSERT_TRUE(brx_test::AppendToFile(exe, Trailer(brx_test::kDataBlockMagic)));
    }
      const brx_test::TModuleRun run = brx_test::RunTestModule(exe, L"state");
      ASSERT_TRUE(run.Ended) << "start error " << run.StartError;
      EXPECT_EQ(run.Report, ExpectedState(withBlock, false));
    }
  }
}

TEST(Gate, AnActiveModuleListsItsMainThread) {
  for (bool withBlock : {false, true}) {
    SCOPED_TRACE(withBlock ? "with a trailer" : "without a block");
    brx_test::TTempFolder folder(L"gate threads");
    const std::wstring exe = folder.Path() + L"\\brx_test_module_console.exe";
    ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_console.exe"), exe));
    if (withBlock) {
      ASSERT_TRUE(brx_test::AppendToFile(exe, Trailer(brx_test::kDataBlockMagic)));
    }
    const brx_test::TModuleRun run = brx_test::RunTestModule(exe, L"threads");
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.Report, withBlock ? "records=1 id=1 handle=1 top=1" : "no list");
  }
}

TEST(Gate, ALibraryDefersToAMainModuleWithABlock) {
  struct TCase {
    bool HostBlock, LibraryBlock;
  };
  for (const TCase c : {TCase{false, false}, TCase{true, false}, TCase{true, true}, TCase{false, true}}) {
    SCOPED_TRACE(std::string("host ") + (c.HostBlock ? "with" : "without") + ", library " +
                 (c.LibraryBlock ? "with" : "without"));
    brx_test::TTempFolder folder(L"gate defer");
    const std::wstring exe = folder.Path() + L"\\host.exe";
    const std::wstring dll = folder.Path() + L"\\module.dll";
    ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_console.exe"), exe));
    ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_dll.dll"), dll));
    if (c.HostBlock) {
      ASSERT_TRUE(brx_test::AppendToFile(exe, Trailer(brx_test::kDataBlockMagic)));
    }
    if (c.LibraryBlock) {
      ASSERT_TRUE(brx_test::AppendToFile(dll, Trailer(brx_test::kDataBlockMagic)));
    }
    const brx_test::TModuleRun run = brx_test::RunTestModule(exe, L"load \"" + dll + L"\"");
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.Report, ExpectedState(c.LibraryBlock, c.HostBlock));
  }
}

// The control library as a container loads it.
void ExpectControlBlock(const std::wstring& ocx, const std::string& whileLoaded) {
  HMODULE control = LoadLibraryW(ocx.c_str());
  ASSERT_NE(control, nullptr) << GetLastError();
  EXPECT_EQ(brx_test::BlockState(GetCurrentProcessId(), control), whileLoaded);
  FreeLibrary(control);
  EXPECT_EQ(brx_test::BlockState(GetCurrentProcessId(), control), "block=none");
}

// The program as a user starts it, until it waits for input.
void ExpectProgramBlock(const std::wstring& exe, const std::string& whileRunning) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &started));
  // A windowed program comes up only on a display: without one (a test
  // program started by hand with no DISPLAY) it ends at once, and nothing
  // after this could be read.
  DWORD exitCode = 0;
  const bool idle = WaitForInputIdle(started.hProcess, 30000) == 0;
  const bool running = GetExitCodeProcess(started.hProcess, &exitCode) && exitCode == STILL_ACTIVE;
  if (!idle || !running) {
    TerminateProcess(started.hProcess, 0);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    FAIL() << "the program did not come up (exit code " << (running ? 0 : exitCode)
           << "): it needs a display, which scripts/test provides";
  }
  HMODULE modules[1] = {};
  DWORD needed = 0;
  EXPECT_TRUE(EnumProcessModules(started.hProcess, modules, sizeof modules, &needed));
  EXPECT_NE(modules[0], nullptr);
  EXPECT_EQ(brx_test::BlockState(started.dwProcessId, modules[0]), whileRunning);
  TerminateProcess(started.hProcess, 0);
  WaitForSingleObject(started.hProcess, 30000);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
}

TEST(Gate, TheShippedDeliverablesStayInactive) {
  ExpectControlBlock(BuildPath(BRX_OCX_PATH), "block=none");
  ExpectProgramBlock(BuildPath(BRX_PLAYER_EXE), "block=none");
}

TEST(Gate, DeliverablesWithATrailerWordAreActive) {
  brx_test::TTempFolder folder(L"gate deliverables");
  const std::wstring ocx = folder.Path() + L"\\Brindolux.ocx";
  ASSERT_TRUE(brx_test::CopyModule(BuildPath(BRX_OCX_PATH), ocx));
  ASSERT_TRUE(brx_test::AppendToFile(ocx, Trailer(brx_test::kDataBlockMagic)));
  ExpectControlBlock(ocx, "block=5,0");

  const std::wstring program = BuildPath(BRX_PLAYER_EXE);
  const std::wstring exe = folder.Path() + L"\\Brindolux.exe";
  ASSERT_TRUE(brx_test::CopyModule(program, exe));
  ASSERT_TRUE(brx_test::CopyModule(program.substr(0, program.find_last_of(L'\\')) + L"\\Tolvane.dll",
                                   folder.Path() + L"\\Tolvane.dll"));
  ASSERT_TRUE(brx_test::AppendToFile(exe, Trailer(brx_test::kDataBlockMagic)));
  ExpectProgramBlock(exe, "block=5,0");
}

}  // namespace
