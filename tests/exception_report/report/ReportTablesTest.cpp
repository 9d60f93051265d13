#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "ReportFixture.h"
#include "report/CpuSection.h"
#include "report/LogFile.h"
#include "report/ReportTables.h"
#include "report/ReportText.h"

namespace RevavaRez {
namespace {

const std::vector<std::string> kStackTitles{"Address", "Module", "Unit", "Class", "Procedure", "Line"};
const std::vector<std::string> kModuleTitles{"Handle", "Name",     "Description", "Version",
                                             "Size",   "Modified", "Path"};
// Kinds 4 and 2, as bit 0 of the stack flags lets in.
const uint32_t kKinds4And2 = (1u << 4) | (1u << 2);

struct TEntrySpec {
  uint8_t Kind;
  DWORD ThreadID;
  bool Running;
  uintptr_t Address;
  const char* Unit;
  const char* Class;
  const char* Procedure;
  int32_t Line, RelativeLine;
  bool System = false;  // in kernel32.dll, else in Brindolux.exe
};

// A stack list over two module records that outlive it.
struct TStackFixture {
  TVezavuModuleInfo Program, System;
  TVezavuStackList Stack;
  explicit TStackFixture(const std::vector<TEntrySpec>& specs) {
    Program.FileName = "C:\\App\\Brindolux.exe";
    System.FileName = "C:\\Windows\\system32\\kernel32.dll";
    for (const TEntrySpec& spec : specs) {
      auto* entry = new TVezavuStackEntry;
      entry->Kind = spec.Kind;
      entry->Module = spec.System ? &System : &Program;
      entry->ThreadID = spec.ThreadID;
      entry->ThreadFlag = spec.Running;
      entry->Address = spec.Address;
      entry->UnitName = spec.Unit;
      entry->ClassName = spec.Class;
      entry->ProcedureName = spec.Procedure;
      entry->Line = spec.Line;
      entry->RelativeLine = spec.RelativeLine;
      Stack.Add(entry);
    }
  }
};

// The exception thread (10), a calling-thread copy (20), a running thread
// (30) with two entries, a filtered kind-3 entry of a thread of its own, and
// the exception thread again as a running one.
const std::vector<TEntrySpec> kThreeGroups{
    {4, 10, false, 0x401234, "Play.pas", "TPlayer", "Execute", 123, 4},
    {2, 10, false, 0x7C80B729, "", "", "Sleep", 0, 0, true},
    {4, 20, false, 0x403000, "Main.pas", "", "Start", 5, 0},
    {4, 30, true, 0x402000, "Worker.pas", "TWorker", "Run", 10, 2},
    {4, 30, true, 0x402010, "Worker.pas", "TWorker", "Run", 11, 3},
    {3, 50, true, 0x405000, "Hidden.pas", "", "Gone", 1, 0},
    {4, 10, true, 0x404000, "Play.pas", "TPlayer", "Wait", 7, 1},
};

std::string FakeHeader(DWORD threadID, bool firstEntry, bool running) {
  return "H" + std::to_string(threadID) + (firstEntry ? " first" : "") + (running ? " running" : "");
}

TEST(CallStackTable, WholeTableWithThreadGroups) {
  const TStackFixture fixture(kThreeGroups);
  const std::string text = CallStackTableText(fixture.Stack, "Call Stack Information", kStackTitles, 0x10,
                                              kKinds4And2, FakeHeader, 8);
  // Widths 8 (address minimum), 13, 10, 7, 9 (title), 6: rule of 53 + 7.
  const std::string rule(60, '-');
  const std::string expected = "Call Stack Information:\r\n" + rule + "\r\n" +
                               "|Address |Module       |Unit      |Class  |Procedure|Line  |\r\n" + rule +
                               "\r\n" +
                               "|H10 first                                                 |\r\n"
                               "|00401234|Brindolux.exe|Play.pas  |TPlayer|Execute  |123[4]|\r\n"
                               "|7C80B729|kernel32.dll |          |       |Sleep    |      |\r\n"
                               "|H20                                                       |\r\n"
                               "|00403000|Brindolux.exe|Main.pas  |       |Start    |5[0]  |\r\n"
                               "|                                                          |\r\n"
                               "|H30 running                                               |\r\n"
                               "|00402000|Brindolux.exe|Worker.pas|TWorker|Run      |10[2] |\r\n"
                               "|00402010|Brindolux.exe|Worker.pas|TWorker|Run      |11[3] |\r\n"
                               "|                                                          |\r\n"
                               "|H10 running                                               |\r\n"
                               "|00404000|Brindolux.exe|Play.pas  |TPlayer|Wait     |7[1]  |\r\n" +
                               rule + "\r\n\r\n";
  EXPECT_EQ(text, expected);
}

TEST(CallStackTable, LineCellsAddressWidthAndFilter) {
  struct Case {
    const char* Name;
    uint8_t StackFlags;
    uint32_t Kinds;
    int Digits;
    std::string FirstRow;  // the row of the first entry
    size_t Rule;
  };
  const Case cases[] = {
      // Without bit 4 the line stands alone and its column shrinks to the title.
      {"no relative lines", 0, kKinds4And2, 8, "|00401234|Brindolux.exe|Play.pas  |TPlayer|Execute  |123 |",
       58},
      {"16 digits", 0x10, kKinds4And2, 16,
       "|0000000000401234|Brindolux.exe|Play.pas  |TPlayer|Execute  |123[4]|", 68},
      // Only kind 4: the system entry goes; the kind-3 thread stays out
      // either way.
      {"kind 4 only", 0x10, 1u << 4, 8, "|00401234|Brindolux.exe|Play.pas  |TPlayer|Execute  |123[4]|", 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TStackFixture fixture(kThreeGroups);
    const std::string text =
        CallStackTableText(fixture.Stack, "Stack", kStackTitles, c.StackFlags, c.Kinds, FakeHeader, c.Digits);
    EXPECT_NE(text.find("\r\n" + c.FirstRow + "\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Gone"), std::string::npos);
    EXPECT_EQ(text.find("H50"), std::string::npos) << "a filtered entry opens no group";
    EXPECT_EQ(text.find("Sleep") != std::string::npos, (c.Kinds & 4) != 0);
    EXPECT_EQ(text.compare(8, c.Rule + 2, std::string(c.Rule, '-') + "\r\n"), 0) << text;
  }
  // Line 0 gives an empty cell, also with relative lines.
  const TStackFixture fixture(kThreeGroups);
  EXPECT_NE(CallStackTableText(fixture.Stack, "Stack", kStackTitles, 0x10, kKinds4And2, FakeHeader, 8)
                .find("|Sleep    |      |"),
            std::string::npos);
}

TEST(CallStackTable, LongHeaderIsNotCutAndEmptyListKeepsTheFrame) {
  const TStackFixture fixture({{4, 1, true, 0x401000, "A.pas", "", "P", 1, 0}});
  const std::string longHeader(80, 'x');
  const std::string text = CallStackTableText(
      fixture.Stack, "Stack", kStackTitles, 0, 1u << 4, [&](DWORD, bool, bool) { return longHeader; }, 8);
  // A running group that opens the table has no empty row before it.
  EXPECT_NE(text.find("-\r\n|" + longHeader + "|\r\n|00401000|"), std::string::npos) << text;

  const TVezavuStackList empty;
  const std::string rule(8 + 6 + 4 + 5 + 9 + 4 + 7, '-');
  EXPECT_EQ(CallStackTableText(empty, "Stack", kStackTitles, 0, 1u << 4, FakeHeader, 8),
            "Stack:\r\n" + rule + "\r\n|Address |Module|Unit|Class|Procedure|Line|\r\n" + rule + "\r\n" +
                rule + "\r\n\r\n");
}

struct TModulesFixture {
  TVezavuModuleInfo Program, System;
  std::vector<const TVezavuModuleInfo*> List{&Program, &System};
  TModulesFixture() {
    Program.Handle = reinterpret_cast<HMODULE>(uintptr_t(0x400000));
    Program.FileName = "C:\\App\\Brindolux.exe";
    Program.Description = "Brindolux player";
    Program.Version = "5.1.10.0";
    Program.Size = 1234567;
    Program.Modified = EncodeDateTime(2026, 12, 1, 8, 5, 9);
    System.Handle = reinterpret_cast<HMODULE>(uintptr_t(0x7C800000));
    System.FileName = "C:\\kernel32.dll";
    System.Size = 42;
    System.Modified = EncodeDateTime(2004, 8, 4, 14, 0, 0);
  }
};

TEST(ModulesTable, WholeTableAndHandleColumn) {
  const TModulesFixture fixture;
  // Widths 8, 13, 16, 8, 7, 19, 6 ("C:\" keeps its backslash): rule of 77 + 8.
  const std::string rule(85, '-');
  EXPECT_EQ(ModulesTableText(true, "Modules", kModuleTitles, fixture.List, 8),
            "Modules:\r\n" + rule + "\r\n" +
                "|Handle  |Name         |Description     |Version |Size   |Modified           |Path  |\r\n" +
                rule + "\r\n" +
                "|00400000|Brindolux.exe|Brindolux player|5.1.10.0|1234567|2026-12-01 08:05:09|C:\\App|\r\n"
                "|7C800000|kernel32.dll |                |        |42     |2004-08-04 14:00:00|C:\\   |\r\n" +
                rule + "\r\n\r\n");
  // At 16 digits the handle fills its column with zeros; a title wider than
  // the digits widens the column, and the handle with it.
  const std::string wide = ModulesTableText(true, "Modules", kModuleTitles, fixture.List, 16);
  EXPECT_NE(wide.find("\r\n|0000000000400000|Brindolux.exe|"), std::string::npos) << wide;
  std::vector<std::string> titles = kModuleTitles;
  titles[0] = "Module handle";
  const std::string titled = ModulesTableText(true, "Modules", titles, fixture.List, 8);
  EXPECT_NE(titled.find("\r\n|0000000400000|Brindolux.exe|"), std::string::npos) << titled;
}

TEST(ModulesTable, OnlyTheTitleWhenNotWritten) {
  const TModulesFixture fixture;
  EXPECT_EQ(ModulesTableText(false, "Modules", kModuleTitles, fixture.List, 8), SectionTitle("Modules"));
}

// A whole report text in the builder's order, read back through the log.
std::string ReportThroughXML(bool modules, bool cpu, int width = 8) {
  const TStackFixture stack({
      {4, 10, false, 0x401234, "Play.pas", "TPlayer", "Execute", 123, 4},
      {4, 20, false, 0x403000, "Main.pas", "", "Start", 5, 0},
      {4, 30, true, 0x402000, "Worker.pas", "TWorker", "Run", 10, 2},
  });
  const auto header = [](DWORD threadID, bool firstEntry, bool running) {
    return std::string(firstEntry ? "Exception Thread"
                       : running  ? "Running Thread"
                                  : "Calling Thread") +
           ": ID=" + std::to_string(threadID) + "; Priority=0";
  };
  const TModulesFixture moduleRecords;
  const TCpuRegisters registers{0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x1000, 0x6F, 0x7ABCDEF0};
  const TMemoryReader read = [](uint64_t, void* out, size_t size) {
    std::memset(out, 0x41, size);
    return true;
  };
  const std::string text = ReportSectionsText(
      "RevavaRez 5.1.10\r\n\r\n" + ReportFixture::General(),
      CallStackTableText(stack.Stack, "Call Stack Information", kStackTitles, 0x10, 1u << 4, header, width),
      ModulesTableText(modules, "Modules", kModuleTitles, moduleRecords.List, width),
      CpuSectionText(cpu, {"Registers", "Stack", "Memory Dump"}, &registers, 0x2000, width, read));
  TLogFile log("", false);
  log.AddEntry(text, 1);
  return log.EntryToXML(0);
}

TEST(ReportSections, ReadBackThroughTheLog) {
  for (int width : {8, 16}) {
    SCOPED_TRACE(width);
    const std::string xml = ReportThroughXML(true, true, width);
    const size_t exception = xml.find("<ExceptionThread ID=\"10\"");
    const size_t calling = xml.find("<CallingThread ID=\"20\"");
    const size_t exceptionEnd = xml.find("</ExceptionThread>");
    const size_t running = xml.find("<RunningThread ID=\"30\"");
    ASSERT_NE(exception, std::string::npos) << xml;
    ASSERT_NE(running, std::string::npos) << xml;
    // The calling-thread copy nests in the exception thread; the running
    // thread comes after it, at the top level.
    EXPECT_LT(exception, calling);
    EXPECT_LT(calling, exceptionEnd);
    EXPECT_LT(exceptionEnd, running);
    EXPECT_NE(xml.find("Number=\"123\" Offset=\"4\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("Name=\"Brindolux.exe\" Description=\"Brindolux player\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("Modified=\"2026-12-01 08:05:09\" Path=\"C:\\App\""), std::string::npos) << xml;
    EXPECT_NE(xml.find(width == 8 ? "EAX=\"0000001A\"" : "RAX=\"000000000000001A\""), std::string::npos)
        << xml;
    EXPECT_NE(xml.find("Application Title"), std::string::npos) << xml;
  }
}

TEST(ReportSections, CpuFoundWithoutModulesAndEmptyWhenNotWritten) {
  const std::string noModules = ReportThroughXML(false, true);
  EXPECT_NE(noModules.find("EAX=\"0000001A\""), std::string::npos) << noModules;
  EXPECT_EQ(noModules.find("<Module "), std::string::npos) << noModules;
  const std::string noCpu = ReportThroughXML(true, false);
  EXPECT_NE(noCpu.find("<CPU/>"), std::string::npos) << noCpu;
  EXPECT_NE(noCpu.find("<Module "), std::string::npos) << noCpu;
}

TEST(ReportSections, OneBlankLineAfterTheGeneralText) {
  for (const char* general : {"G", "G\r\n", "G\r\n\r\n", "G\r\n\r\n\r\n"})
    EXPECT_EQ(ReportSectionsText(general, "S\r\n\r\n", "M\r\n\r\n", "C"), "G\r\n\r\nS\r\n\r\nM\r\n\r\nC")
        << general;
}

}  // namespace
}  // namespace RevavaRez
