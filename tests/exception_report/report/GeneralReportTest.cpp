// Whole reports from copies of the test programs that carry the library,
// console and windowed, each with a data block that shows every field.
#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"
#include "core/Texts.h"
#include "report/LogFile.h"

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

// Every section of a whole report reads back through the log: the calling
// thread's call stack, the modules, and the
// registers and dump of its own context.
TEST(WholeReport, EverySectionReadsBackThroughTheLog) {
  const brx_test::TModuleRun run = ReportOf(L"brx_test_module_windowed.exe", L"report");
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(run.ExitCode, 0u);
  RevavaRez::TLogFile log("", false);
  log.AddEntry(run.Report, 10);
  const std::string xml = log.EntryToXML(0);
  // The program has no exports and no debug data, so its own frames are
  // not written; the system's, named by their exports, are.
  EXPECT_TRUE(Has(xml, "Module=\"kernel32.dll\"")) << xml;
  EXPECT_TRUE(Has(xml, "<ExceptionThread")) << xml;
  EXPECT_TRUE(std::regex_search(xml, std::regex("<Module [^>]*brx_test_module_windowed.exe"))) << xml;
  const std::string digits = sizeof(void*) == 8 ? "16" : "8";
  const std::string ip = sizeof(void*) == 8 ? "RIP" : "EIP";
  EXPECT_TRUE(std::regex_search(xml, std::regex(ip + "=\"[0-9A-F]{" + digits + "}\""))) << xml;
  std::string::size_type at = xml.find("<MemoryDump");
  ASSERT_NE(at, std::string::npos) << xml;
  int lines = 0;
  for (at = xml.find("<Line", at); at != std::string::npos; at = xml.find("<Line", at + 1)) ++lines;
  EXPECT_EQ(lines, 16) << xml;
}
