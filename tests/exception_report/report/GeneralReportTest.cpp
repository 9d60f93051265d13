// Whole reports from copies of the test programs that carry the library,
// console and windowed, each with a data block that shows every field.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"
#include "core/Texts.h"

using RevavaRez::TextAt;

namespace {

brx_test::TModuleRun ReportOf(const wchar_t* module, const wchar_t* verb) {
  brx_test::TTempFolder folder(L"general report");
  const std::wstring exe = folder.Path() + L"\\" + module;
  brx_test::TModuleRun run;
  if (!brx_test::CopyModule(brx_test::TestModulePath(module), exe)) return run;
  brx_test::TDataBlock block;
  block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, block.Version);
  if (!brx_test::AppendToFile(exe, brx_test::TrailerBlock(block, brx_test::kDataBlockMagic))) return run;
  return brx_test::RunTestModule(exe, verb);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(GeneralReport, ActiveControlsOnlyInAWindowedProgram) {
  for (bool windowed : {false, true}) {
    SCOPED_TRACE(windowed ? "windowed" : "console");
    const brx_test::TModuleRun run =
        ReportOf(windowed ? L"brx_test_module_windowed.exe" : L"brx_test_module_console.exe", L"report");
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.ExitCode, 0u);
    const std::string& text = run.Report;
    ASSERT_EQ(text.rfind("RevavaRez 5.1.10\r\n\r\n", 0), 0u) << text;
    EXPECT_TRUE(Has(text, "  1.1 " + std::string(TextAt(23)))) << text;
    for (int label = 35; label <= 38; ++label)
      EXPECT_EQ(Has(text, "  3." + std::to_string(label - 34) + " " + TextAt(label)), windowed) << label << text;
    EXPECT_EQ(Has(text, std::string(TextAt(34)) + ":\r\n"), windowed) << text;
    // Computer is section 4 either way.
    EXPECT_TRUE(Has(text, "  4.1 " + std::string(TextAt(40)))) << text;
    EXPECT_TRUE(Has(text, "  6.6 " + std::string(TextAt(60)))) << text;
  }
}

TEST(GeneralReport, ForegroundWindowWhoseThreadIsBlocked) {
  const brx_test::TModuleRun run = ReportOf(L"brx_test_module_windowed.exe", L"report-blocked");
  ASSERT_TRUE(run.Ended) << "the report hung on the blocked window";
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(Has(run.Report, "  3.2 " + std::string(TextAt(36)))) << run.Report;
  EXPECT_TRUE(Has(run.Report, ": Blocked foreground window\r\n")) << run.Report;
}
