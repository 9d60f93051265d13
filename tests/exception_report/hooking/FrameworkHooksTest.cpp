// The framework's routines hooked by symbol in an active test library whose
// data block's symbol directory points the rows at stand-ins of its own,
// each called the way the framework calls it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ModuleCopy.h"
#include "hooking/FrameworkHooks.h"

using brx_test::TBlockForm;

namespace {

const wchar_t kModule[] = L"brx_test_module_dll.dll";

// The stand-ins' offsets from the module's handle + 4096, read from the
// module as built.
std::vector<brx_test::TSymbolEntry> RowSymbols(const std::vector<uint8_t>& rows) {
  std::vector<brx_test::TSymbolEntry> symbols;
  HMODULE module = LoadLibraryW(brx_test::TestModulePath(kModule).c_str());
  if (module == nullptr) return symbols;
  auto routine = reinterpret_cast<uintptr_t (*)(int)>(
      reinterpret_cast<void*>(GetProcAddress(module, "TestModuleFrameworkRoutine")));
  const auto base = reinterpret_cast<uintptr_t>(module);
  for (uint8_t row : rows)
    if (routine && routine(row) != 0)
      symbols.push_back({row, static_cast<uint32_t>(routine(row) - base - 4096), 64});
  FreeLibrary(module);
  return symbols;
}

class TFrameworkCopy {
 public:
  TFrameworkCopy(const std::vector<uint8_t>& rows, const wchar_t* name) : FFolder(L"framework") {
    brx_test::TDataBlock block;
    block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, block.Version);
    block.Symbols = RowSymbols(rows);
    FSymbolCount = block.Symbols.size();
    FCopy.reset(new brx_test::TModuleCopy(FFolder, kModule, name, TBlockForm::Resource,
                                          brx_test::ResourceBlock(block)));
  }
  size_t SymbolCount() const { return FSymbolCount; }
  // The number of code hooks afterwards, -1 with the engine's message.
  int Install(std::string& error) {
    auto install = FCopy->Export<int (*)(char*, int)>("TestModuleInstallFrameworkHooks");
    if (install == nullptr) return -2;
    char text[512] = "";
    const int hooks = install(text, sizeof text);
    error = text;
    return hooks;
  }
  std::string Run(const std::string& scenario, int answer) {
    auto run = FCopy->Export<void (*)(const char*, int, char*, int)>("TestModuleRunFramework");
    if (run == nullptr) return "no export";
    char trace[1024] = "";
    run(scenario.c_str(), answer, trace, sizeof trace);
    return trace;
  }

 private:
  brx_test::TTempFolder FFolder;
  std::unique_ptr<brx_test::TModuleCopy> FCopy;
  size_t FSymbolCount = 0;
};

struct TRowCase {
  const char* Scenario;
  int Answer;
  const char* Trace;
};

// "M<kind>=e": the manager got the exception being handled; "O<row>": the
// original ran. The socket thread's hook is flagged as installed.
const TRowCase kRowCases[] = {
    // HandleException's own ShowException does not report it again.
    {"0", 1, "M1=e O0 O1"},
    {"0", 0, "M1=e"},
    {"1", 1, "M1=e O1"},
    {"1", 0, "M1=e"},
    {"2", 1, "M1=e O2"},
    {"2", 0, "M1=e"},
    {"3", 1, "M1=e O3"},
    {"3", 0, "M1=e"},
    {"3-disabled", 0, "O3"},
    {"3-excluded", 0, "O3"},
    {"4", 1, "M2=e O4 result=7"},
    {"4", 0, "M2=e result=0"},
    {"5", 1, "M2=e O5 result=7"},
    {"5", 0, "M2=e result=0"},
    {"9", 0, "M0=e O9=service text/1/2/3"},
    {"9-outside", 1, "O9=service text/1/2/3"},
    {"10", 1, "M0=e O10"},
    {"10", 0, "M0=e"},
};

}  // namespace

TEST(FrameworkHooks, EveryMappedRowReportsItsExceptionAndCallsOnAsItsRowSays) {
  TFrameworkCopy copy({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, L"framework.dll");
  ASSERT_EQ(copy.SymbolCount(), 11u);
  std::string error;
  // Row 7 only keeps the routine's address.
  ASSERT_EQ(copy.Install(error), 10) << error;

  for (const TRowCase& row : kRowCases)
    EXPECT_EQ(copy.Run(row.Scenario, row.Answer), std::string(row.Trace) + " [indy]")
        << row.Scenario << " answering " << row.Answer;
}

TEST(FrameworkHooks, TheServerControllerIsKeptAndItsExceptionEventTakenInTheFormOfItsVersion) {
  TFrameworkCopy copy({6, 7}, L"controller.dll");
  std::string error;
  ASSERT_EQ(copy.Install(error), 1) << error;
  // "controller VERSION COMPRESSION OLD-HANDLER": "-" for no version;
  // compression 0 none, 1 readable with the flag set, 2 its flag byte on a
  // no-access page.
  const TRowCase cases[] = {
      {"controller 7.2.32 1 old", 1, "O6 kept=1 compression=1 M2=e old4 app=kept handled=0 app=clear"},
      {"controller 7.3 0 -", 0, "O6 kept=1 compression=0 M2=e handled=1 app=clear"},
      {"controller 7.3 2 -", 1, "O6 kept=1 compression=0 M2=e handled=0 app=clear"},
      {"controller 7.2.31 0 -", 1, "O6 kept=1 compression=0 M2=e show=framework fault:3 app=clear"},
      {"controller 7.2.31 0 -", 0, "O6 kept=1 compression=0 M2=e app=clear"},
      {"controller - 1 old", 1, "O6 kept=1 compression=1 M2=e old3 app=kept app=clear"},
      {"controller - 2 -", 1, "O6 kept=1 compression=0 M2=e show=framework fault:3 app=clear"},
  };
  for (const TRowCase& row : cases)
    EXPECT_EQ(copy.Run(row.Scenario, row.Answer), row.Trace) << row.Scenario << " answering " << row.Answer;
}

TEST(FrameworkHooks, AnHtmlReplyIsKeptInflatedUnlessItIsTheLibrarysOwnPage) {
  TFrameworkCopy copy({8}, L"reply.dll");
  std::string error;
  ASSERT_EQ(copy.Install(error), 1) << error;
  // The reply's stream stands at 3 when sent and is there again for the
  // original.
  const TRowCase cases[] = {
      {"reply plain", 1, "O8 pos=3 page=<html>reply page</html> compression=0"},
      {"reply gzip", 1, "O8 pos=3 page=<html>reply page</html> compression=1"},
      {"reply own", 1, "O8 pos=3 page=before compression=0"},
      {"reply plain-text", 1, "O8 pos=3 page=before compression=0"},
  };
  for (const TRowCase& row : cases) EXPECT_EQ(copy.Run(row.Scenario, row.Answer), row.Trace) << row.Scenario;
}

TEST(FrameworkHooks, UnmappedRowsInstallNothing) {
  TFrameworkCopy copy({}, L"unmapped.dll");
  std::string error;
  ASSERT_EQ(copy.Install(error), 0) << error;
  EXPECT_EQ(copy.Run("0", 0), "O0 O1");
  EXPECT_EQ(copy.Run("10", 0), "O10") << "no socket-thread hook is flagged";
  EXPECT_EQ(copy.Run("reply plain", 1), "O8 pos=3 page=before compression=0");
}

TEST(FrameworkHooks, TheWebFrameworksPackageNameCarriesItsReleaseAndVersion) {
  EXPECT_EQ(RevavaRez::IntraWebPackageName(50), "Intraweb_50_70.bpl");
  EXPECT_EQ(RevavaRez::IntraWebPackageName(10), "Intraweb_10_70.bpl");
}

// The same rows in an active test program: its own stand-ins, found through
// the symbol directory of the block put into its copy as a resource.
TEST(FrameworkHooks, InATestProgramTheMappedRowsReportAndCallOnAlike) {
  brx_test::TTempFolder folder(L"framework-exe");
  const std::wstring plain = folder.Path() + L"\\plain.exe";
  ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_console.exe"), plain));
  const brx_test::TModuleRun offsets = brx_test::RunTestModule(plain, L"framework-offsets");
  ASSERT_TRUE(offsets.Ended && offsets.ExitCode == 0) << offsets.Report;
  brx_test::TDataBlock block;
  block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, block.Version);
  std::istringstream lines(offsets.Report);
  unsigned row = 0, offset = 0;
  while (lines >> row >> offset)
    if (row <= 5 || row == 9 || row == 10) block.Symbols.push_back({static_cast<uint8_t>(row), offset, 64});
  ASSERT_EQ(block.Symbols.size(), 8u) << offsets.Report;
  const std::wstring active = folder.Path() + L"\\framework.exe";
  ASSERT_TRUE(brx_test::CopyModule(plain, active) && brx_test::PutResource(active, brx_test::ResourceBlock(block)));

  std::wstring arguments = L"framework";
  std::string expected = "hooks=8\n";
  for (const TRowCase& row : kRowCases) {
    const std::string item = std::string(row.Scenario) + ":" + std::to_string(row.Answer);
    arguments += L" " + std::wstring(item.begin(), item.end());
    expected += std::string(row.Trace) + " [indy]\n";
  }
  const brx_test::TModuleRun run = brx_test::RunTestModule(active, arguments);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_EQ(run.Report, expected);
}
