// The modules of one process as one reporter: the test program and the
// test library both carrying the library, the control as a guest, and the
// exports called as another module calls them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"

namespace {

std::wstring BuildPath(const std::string& path) {
  std::wstring wide(path.begin(), path.end());
  for (auto& c : wide)
    if (c == L'/') c = L'\\';
  return !wide.empty() && wide[0] == L'\\' ? L"Z:" + wide : wide;
}

// An active copy of the file in the folder under the name.
std::wstring ActiveCopy(const brx_test::TTempFolder& folder, const std::wstring& from, const wchar_t* name) {
  const std::wstring to = folder.Path() + L"\\" + name;
  return brx_test::MakeActiveCopy(from, to) ? to : std::wstring();
}

struct TPair {
  brx_test::TTempFolder Folder{L"events"};
  std::wstring Exe = ActiveCopy(Folder, brx_test::TestModulePath(L"brx_test_module_console.exe"),
                                L"brx_test_module_console.exe");
  std::wstring Dll = ActiveCopy(Folder, brx_test::TestModulePath(L"brx_test_module_dll.dll"), L"brx_test_module_dll.dll");

  brx_test::TModuleRun Run(const std::wstring& which, const std::wstring& library) {
    return brx_test::RunTestModule(Exe, L"events " + which + L" \"" + library + L"\"");
  }
};

TEST(EventChain, TheLibraryWhereTheExceptionHappenedHearsFirst) {
  TPair pair;
  ASSERT_FALSE(pair.Exe.empty() || pair.Dll.empty());
  const brx_test::TModuleRun run = pair.Run(L"chain", pair.Dll);
  ASSERT_TRUE(run.Ended);
  // The library's sink ran before the program's; a class only the program
  // has is no object there. An address in a module without the library
  // runs the program's sinks alone.
  EXPECT_EQ(run.Report,
            "in-library: library=[dll-notify:none] program=[exe-notify:object after=[dll-notify:none]] "
            "in-kernel32: library=[] program=[exe-notify:object after=[]]");
}

TEST(EventChain, AnAccessViolationInTheLibraryReachesItsSinksAsItsOwnObject) {
  TPair pair;
  ASSERT_FALSE(pair.Exe.empty() || pair.Dll.empty());
  const brx_test::TModuleRun run = pair.Run(L"fault", pair.Dll);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(run.Report.rfind("thread=7 library=[dll-notify:av@", 0), 0u) << run.Report;
  EXPECT_NE(run.Report.find(" dll-custom:av@"), std::string::npos) << run.Report;
  EXPECT_NE(run.Report.find("] reports=1"), std::string::npos) << run.Report;
}

TEST(ExceptionManager, ALibraryDefersToTheProgramsManager) {
  TPair pair;
  ASSERT_FALSE(pair.Exe.empty() || pair.Dll.empty());
  const brx_test::TModuleRun library = pair.Run(L"defer", pair.Dll);
  ASSERT_TRUE(library.Ended);
  EXPECT_EQ(library.Report, "result=0 reports=1");
  // The control carries no block of its own: it still hands over.
  const brx_test::TModuleRun control = pair.Run(L"defer", BuildPath(BRX_OCX_PATH));
  ASSERT_TRUE(control.Ended);
  EXPECT_EQ(control.Report, "result=0 reports=1");
}

TEST(ExceptionManager, AnInactiveHostPassesEverythingOn) {
  HMODULE control = LoadLibraryW(BuildPath(BRX_OCX_PATH).c_str());
  ASSERT_NE(control, nullptr) << GetLastError();
  using TManager = uint8_t(__stdcall*)(void*, void*, uint8_t, HMODULE);
  auto manager = reinterpret_cast<TManager>(reinterpret_cast<void*>(GetProcAddress(control, "ExceptionManager")));
  ASSERT_NE(manager, nullptr);
  std::runtime_error error("Not for an inactive library");
  EXPECT_EQ(manager(static_cast<std::exception*>(&error), nullptr, 0, nullptr), 1);
  EXPECT_EQ(manager(nullptr, nullptr, 0, nullptr), 1);
  FreeLibrary(control);
}

TEST(PasswordExport, AnswersAtMostTheCallersMaximum) {
  brx_test::TTempFolder folder(L"events password");
  const std::wstring dll = folder.Path() + L"\\brx_test_module_dll.dll";
  ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_dll.dll"), dll));
  HMODULE module = LoadLibraryW(dll.c_str());
  ASSERT_NE(module, nullptr);
  using TRegister = void(__stdcall*)();
  using TAsk = void(__stdcall*)(void*, unsigned char*, int32_t);
  auto reg = reinterpret_cast<TRegister>(reinterpret_cast<void*>(GetProcAddress(module, "TestEventsRegister")));
  auto ask = reinterpret_cast<TAsk>(reinterpret_cast<void*>(GetProcAddress(module, "RevavaRez_PasswordRequestEventEx")));
  ASSERT_TRUE(reg && ask);
  reg();
  const struct {
    int32_t Maximum;
    const char* Expected;
  } cases[] = {{4, "0123"}, {-1, ""}, {300, "0123456789"}, {10, "0123456789"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Maximum);
    unsigned char password[256] = {3, 'o', 'l', 'd'};
    ask(nullptr, password, c.Maximum);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(password + 1), password[0]), c.Expected);
  }
  FreeLibrary(module);
}

}  // namespace
