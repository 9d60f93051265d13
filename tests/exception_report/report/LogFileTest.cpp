// The report log: storing and reading back reports, the duplicate test, the
// values and section texts of one report, and its XML export.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "FolderTree.h"
#include "ReportFixture.h"
#include "SourceStandIns.h"
#include "core/Streams.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "packing/Base64.h"
#include "packing/Encryption.h"
#include "report/LogFile.h"
#include "report/LogFilePlace.h"

using namespace RevavaRez;
using namespace ReportFixture;

namespace {

const std::string Terminator = kEntryTerminator;

// A report as AddEntry stores it.
std::string Stored(const std::string& report) { return report + Terminator; }

// The log's bytes on disk for these reports.
std::string OnDisk(const std::vector<std::string>& reports) {
  std::string text;
  for (size_t i = 0; i < reports.size(); ++i) text += (i > 0 ? "\r\n" : "") + Stored(reports[i]);
  return text;
}

std::string WithLfOnly(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

std::string Numbered(int n) { return Report("5.1." + std::to_string(n)); }

std::vector<std::string> EntriesOf(const TLogFile& log) {
  std::vector<std::string> entries;
  for (int i = 0; i < log.Count(); ++i) entries.push_back(log.Entry(i));
  return entries;
}

std::string ReadFileText(const std::string& name) {
  TFileStream file(name, fmOpenRead | fmShareDenyNone);
  std::string text(static_cast<size_t>(file.Size()), '\0');
  file.ReadBuffer(&text[0], static_cast<int64_t>(text.size()));
  return text;
}

void WriteFileText(const std::string& name, const std::string& text) {
  TFileStream file(name, fmCreate);
  file.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

// Cells as the report builder writes coded names: cipher, then Base64.
std::string Coded(const std::string& name) {
  std::string bytes = name;
  EncryptBuffer(bytes.data(), &bytes[0], bytes.size());
  return Base64Encode(bytes);
}

class LogFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override { Folder = TestTempFolder("brx_log_"); }
  void TearDown() override { RemoveTree(Folder); }
  std::string Folder;
};

}  // namespace

TEST(LogFile, AddEntryKeepsTheNewestUpToTheMaximum) {
  const struct {
    int present, maximum, count, oldest;
  } cases[] = {
      {32, 32, 32, 1},  // the 33rd report drops the oldest
      {31, 32, 32, 0},
      {3, 1, 1, 3},     // only the new one
      {0, 1, 1, 0},
      {2, 0, 1, 2},     // a maximum below 1 still keeps the new one
  };
  for (const auto& c : cases) {
    TLogFile log("", false);
    for (int i = 0; i < c.present; ++i) log.AddEntry(Numbered(i), 32);
    log.AddEntry(Numbered(c.present), c.maximum);
    ASSERT_EQ(c.count, log.Count()) << c.present << "/" << c.maximum;
    EXPECT_EQ(Stored(Numbered(c.oldest)), log.Entry(0));
    EXPECT_EQ(Stored(Numbered(c.present)), log.Entry(log.Count() - 1));
  }
}

TEST(LogFile, Loading) {
  std::string first = Numbered(1), second = Numbered(2);
  std::string withoutLineEnd = second.substr(0, second.size() - 2);
  const struct {
    const char* what;
    std::string text;
    std::vector<std::string> entries;
  } cases[] = {
      {"as saved", OnDisk({first, second}), {Stored(first), Stored(second)}},
      {"LF only", WithLfOnly(OnDisk({first, second})), {Stored(first), Stored(second)}},
      {"CR only", ReplaceAll(OnDisk({first, second}), "\r\n", "\r"), {Stored(first), Stored(second)}},
      {"more blank lines between reports", Stored(first) + "\r\n\r\n\r\n\r\n" + Stored(second),
       {Stored(first), Stored(second)}},
      {"the terminator lost at the end", OnDisk({first, second}).substr(0, OnDisk({first, second}).size() - 6),
       {Stored(first), Stored(second)}},
      {"a last report without its own line end", OnDisk({first}) + "\r\n" + withoutLineEnd + Terminator,
       {Stored(first)}},
      {"a piece without a table", "not a report\r\n" + Terminator + "\r\n" + OnDisk({first}), {Stored(first)}},
      {"shorter than 6 bytes", "-\r\n|\r", {}},
      {"empty", "", {}},
  };
  for (const auto& c : cases) {
    TLogFile log("", false);
    log.LoadFromText(c.text);
    EXPECT_EQ(c.entries, EntriesOf(log)) << c.what;
  }
}

TEST_F(LogFileOnDisk, SavedEntriesReadBackTheSame) {
  std::string name = Folder + "Report.rrl";
  std::string first = Numbered(1), second = Numbered(2), third = Numbered(3);
  {
    // Two reports before one save.
    TLogFile log(name, false);
    EXPECT_EQ(0, log.Count());
    log.AddEntry(first, 32);
    log.AddEntry(second, 32);
    log.Save();
  }
  EXPECT_EQ(OnDisk({first, second}), ReadFileText(name)) << "the bytes keep their form";
  for (int save = 0; save < 3; ++save) {
    // A duplicate saves the log without a new entry.
    TLogFile log(name, false);
    ASSERT_EQ(2, log.Count()) << "after save " << save;
    log.Save();
  }
  {
    TLogFile log(name, false);
    EXPECT_EQ((std::vector<std::string>{Stored(first), Stored(second)}), EntriesOf(log));
    EXPECT_EQ("5.1.2", log.EntryVersion(1));
    log.AddEntry(third, 2);
    log.Save();
  }
  TLogFile log(name, true);
  EXPECT_EQ((std::vector<std::string>{Stored(second), Stored(third)}), EntriesOf(log));
  EXPECT_EQ(OnDisk({second, third}), ReadFileText(name)) << "a shorter log is cut at its end";
}

TEST_F(LogFileOnDisk, ReadOnlyAndOversizedLogsLeaveTheFileAsItIs) {
  std::string name = Folder + "Report.rrl";
  WriteFileText(name, OnDisk({Numbered(1)}));
  {
    TLogFile log(name, true);
    ASSERT_EQ(1, log.Count());
    log.AddEntry(Numbered(2), 32);
    EXPECT_THROW(log.Save(), EWriteError);
  }
  EXPECT_EQ(OnDisk({Numbered(1)}), ReadFileText(name));

  std::string big = Folder + "Big.rrl";
  {
    TFileStream file(big, fmCreate);
    file.WriteBuffer(OnDisk({Numbered(1)}).data(), 8);
    file.SetSize(kLogFileLimit + 1);
  }
  EXPECT_THROW(TLogFile(big, false), ELogTooLarge);
  TFileStream file(big, fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(kLogFileLimit + 1, file.Size());
  char start[8];
  file.ReadBuffer(start, 8);
  EXPECT_EQ(OnDisk({Numbered(1)}).substr(0, 8), std::string(start, 8));
}

TEST_F(LogFileOnDisk, AMissingFileIsAnEmptyLogMadeOnSave) {
  std::string name = Folder + "New.rrl";
  TLogFile log(name, false);
  EXPECT_EQ(0, log.Count());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(name.c_str()));
  log.AddEntry(Numbered(1), 32);
  log.Save();
  EXPECT_EQ(OnDisk({Numbered(1)}), ReadFileText(name));
  EXPECT_EQ(Stored(Numbered(1)) + "\r\n", log.GetText());
}

TEST(LogFile, HasEntryWith) {
  TDuplicateValues single;
  single.Message = "Error: bad";
  TLogFile log("", false);
  log.AddEntry(Report("5.1.10", single), 32);
  log.AddEntry(Report(), 32);
  TDuplicateValues stored;
  const std::vector<std::string> keys = {"2.2", "2.3", "2.4", "2.5"};
  const struct {
    const char* what;
    std::vector<std::string> keys, values;
    bool found;
  } cases[] = {
      {"all four of the second report", keys, {stored.Address, stored.Module, stored.Type, stored.Message}, true},
      {"one value differs", keys, {stored.Address, stored.Module, "EZeroDivide", stored.Message}, false},
      {"a value only begins the stored one", {"2.4"}, {"EAccess"}, false},
      {"a multi-line value ending early", {"2.5"}, {"Access violation at address 00401234."}, false},
      {"a single-line value with \": \" is stored as it is", {"2.5"}, {single.Message}, false},
      {"no item with that number", {"9.1"}, {"x"}, false},
      {"an empty value", {"2.4"}, {""}, false},
      {"arrays of different lengths", keys, {stored.Address}, false},
      {"no pairs at all", {}, {}, true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.found, log.HasEntryWith(c.keys, c.values)) << c.what;

  TLogFile empty("", false);
  EXPECT_FALSE(empty.HasEntryWith({}, {}));
}

TEST(LogFile, ReadItemValue) {
  TLogFile log("", false);
  log.AddEntry(Report(), 32);
  const struct {
    const char* key;
    int index;
    std::string value;
  } cases[] = {
      {"1.1", 0, "Brindolux"},
      {"1.3", 0, "12 GB"},  // after a hidden item
      {"1.2", 0, ""},
      {"2.5", 0, "Access violation at address 00401234.\r\nRead of address: 00000000."},
      {"3.1", 0, "Played: file.krm\r\n \r\nthen closed it."},
      {"2.2", 1, ""},
      {"2.2", -1, ""},
      {"7.1", 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, log.ReadItemValue(c.key, c.index)) << c.key << "@" << c.index;
}

TEST(LogFile, SectionTexts) {
  TLogFile log("", false);
  log.AddEntry(Report(), 32);
  log.AddEntry(OldReport(), 32);
  auto withoutLastLineEnd = [](const std::string& text) { return text.substr(0, text.size() - 2); };
  std::string modules = ModulesTable();
  EXPECT_EQ("RevavaRez 5.1.10\r\n\r\n" + withoutLastLineEnd(General()), log.GeneralText(0));
  EXPECT_EQ(withoutLastLineEnd(std::string(CallStackTable()).substr(25)), log.CallStackText(0));
  EXPECT_EQ(withoutLastLineEnd(modules.substr(modules.find("\r\n") + 2)), log.ModulesText(0));
  EXPECT_EQ(withoutLastLineEnd(ProcessorSection()), log.ProcessorText(0));
  EXPECT_EQ("", log.StepsText(0));
  EXPECT_EQ("Opened a recording.\r\nPressed <Play> & waited.", log.StepsText(1));
  EXPECT_EQ(withoutLastLineEnd(ProcessorSection()), log.ProcessorText(1));
  EXPECT_EQ("", log.GeneralText(2));
}

// Broken or hand-edited entries give empty results, never an error or a
// read past their end.
TEST(LogFile, BrokenEntriesGiveEmptyResults) {
  std::string report = Report();
  const struct {
    std::string text;
    bool callStack, modules, processor;
    std::string address;
  } cases[] = {
      {"-\r\n|", false, false, false, ""},
      {"RevavaRez 5.1.10\r\n\r\nA:\r\n-\r\n  2.2 Address\r\n  2.5", false, false, false, ""},
      {"RevavaRez 5.1.10\r\n\r\nCall Stack:\r\n-\r\n|", false, false, false, ""},
      {"RevavaRez\r\n-\r\n|x|\r\n-\r\n\r\nModules:\r\n-\r\n|", true, false, false, ""},
      {"RevavaRez 4\r\n\r\nT:\r\n-\r\n|a|\r\n-\r\n\r\n\r\nP:\r\n-\r\nEAX\r\n", true, false, false, ""},
      {report.substr(0, report.find("Modules Information")), true, false, false, "00401234"},
      {"RevavaRez 5.1.10\r\n\r\nGeneral:\r\n-\r\n  2.2 A: x\r\n  :\r\n\r\n-\r\n|", false, false, false, "x"},
  };
  for (const auto& c : cases) {
    TLogFile log("", false);
    log.AddEntry(c.text, 32);
    EXPECT_FALSE(log.HasEntryWith({"2.2", "2.5"}, {"", ""})) << c.text;
    EXPECT_EQ(c.address, log.ReadItemValue("2.2", 0)) << c.text;
    EXPECT_EQ(c.callStack, !log.CallStackText(0).empty()) << c.text;
    EXPECT_EQ(c.modules, !log.ModulesText(0).empty()) << c.text;
    EXPECT_EQ(c.processor, !log.ProcessorText(0).empty()) << c.text;
    EXPECT_EQ("", log.StepsText(0)) << c.text;
    std::string xml;
    EXPECT_NO_THROW(xml = log.ToXML()) << c.text;
    EXPECT_EQ(0u, xml.find("<Doc>\r\n  <Log Version=")) << xml;
    EXPECT_EQ("</Doc>\r\n", xml.substr(xml.size() - 8));
  }
}

TEST(LogFile, XMLOfASmallEntry) {
  TLogFile log("", false);
  log.AddEntry(
      "RevavaRez 5.1.10\r\n"
      "\r\n"
      "General:\r\n"
      "-----------------------\r\n"
      "  1.1 Title: Brindolux\r\n"
      "  1.2 Lines: a:_b\r\n"
      "             .\r\n"
      "             c\r\n"
      "\r\n"
      "Call Stack:\r\n"
      "----------------------\r\n"
      "|Address |M|U|C|P|L  |\r\n"
      "----------------------\r\n"
      "|Exception Thread: ID=7; Priority=1|\r\n"
      "|00401000|m|u|c|p|3  |\r\n"
      "----------------------\r\n"
      "\r\n"
      "Modules:\r\n"
      "---------------\r\n"
      "|H|N|D|V|S|P  |\r\n"
      "---------------\r\n"
      "|1|n|d|v|9|C:\\|\r\n"
      "---------------\r\n",
      1);
  EXPECT_EQ(
      "<Doc>\r\n"
      "  <Log Version=\"5.1.10\">\r\n"
      "    <General>\r\n"
      "      <Group ID=\"1\" Label=\"General\">\r\n"
      "        <Line ID=\"1.1\" Label=\"Title\" Value=\"Brindolux\"/>\r\n"
      "        <Line ID=\"1.2\" Label=\"Lines\" Value=\"a: b&#013;&#010;&#013;&#010;c\"/>\r\n"
      "      </Group>\r\n"
      "    </General>\r\n"
      "    <CallStack>\r\n"
      "      <ExceptionThread ID=\"7\" Priority=\"1\" Class=\"\" MainThread=\"False\">\r\n"
      "        <Line Address=\"00401000\" Module=\"m\" Unit=\"u\" Class=\"c\" Procedure=\"p\" Number=\"3\" "
      "Offset=\"\"/>\r\n"
      "      </ExceptionThread>\r\n"
      "    </CallStack>\r\n"
      "    <Modules>\r\n"
      "      <Module Handle=\"1\" Name=\"n\" Description=\"d\" Version=\"v\" Size=\"9\" Path=\"C:\\\"/>\r\n"
      "    </Modules>\r\n"
      "    <CPU/>\r\n"
      "  </Log>\r\n"
      "</Doc>\r\n",
      log.ToXML());
}

TEST(LogFile, XMLOfTheCurrentLayout) {
  TLogFile log("", false);
  log.AddEntry(Report(), 1);
  std::string xml = log.EntryToXML(0);
  auto has = [&xml](const std::string& part) { return xml.find(part) != std::string::npos; };
  EXPECT_EQ(0u, xml.find("<Log Version=\"5.1.10\">\r\n  <General>\r\n    <Group ID=\"1\" Label=\"General\">\r\n"));
  EXPECT_TRUE(has("<Line ID=\"1.3\" Label=\"Free Disk\" Value=\"12 GB\"/>"));
  EXPECT_TRUE(has("<Group ID=\"3\" Label=\"User\">"));
  EXPECT_TRUE(has("Value=\"Played: file.krm&#013;&#010;&#013;&#010;then closed it.\""));
  // Thread rows: the first opens the exception thread, one after an empty row
  // a running thread, a further one a calling thread inside it.
  EXPECT_TRUE(has("    <ExceptionThread ID=\"1234\" Priority=\"0\" Class=\"\" MainThread=\"True\">\r\n"
                  "      <Line Address=\"00401234\" Module=\"Brindolux.exe\" Unit=\"PlayThread.pas\" "
                  "Class=\"TPlayer\" Procedure=\"Execute\" Number=\"123\" Offset=\"4\"/>\r\n"));
  EXPECT_TRUE(has("    <RunningThread ID=\"99\" Priority=\"2\" Class=\"TWorker\" MainThread=\"False\">\r\n"));
  EXPECT_TRUE(has("      <CallingThread ID=\"1234\" Priority=\"0\" Class=\"TMain\" MainThread=\"True\">\r\n"
                  "        <Line Address=\"00403000\" Module=\"Brindolux.exe\" Unit=\"Main.pas\" Class=\"\" "
                  "Procedure=\"_Start\" Number=\"5\" Offset=\"0\"/>\r\n"));
  EXPECT_TRUE(has("Procedure=\"Run\" Number=\"10\" Offset=\"\"/>"));
  EXPECT_EQ(xml.find("<ExceptionThread"), xml.rfind("<ExceptionThread"));
  EXPECT_TRUE(has("<Module Handle=\"7C800000\" Name=\"kernel32.dll\" Description=\"Kernel\" Version=\"5.1.2600\" "
                  "Size=\"983040\" Modified=\"2008-04-14 00:00:00\" Path=\"C:\\WINDOWS\\system32\\\"/>"));
  EXPECT_TRUE(has("<Registers EAX=\"00000001\" EDI=\"0012FF40\" EBX=\"7FFDF000\" ECX=\"0012FFB0\" "
                  "ESP=\"0012FF60\" EDX=\"7C90E4F4\" EIP=\"00401234\"/>"));
  EXPECT_TRUE(has("<Stack>\r\n      <Line Address=\"0012FF60\" Value=\"00401000\"/>\r\n"
                  "      <Line Address=\"0012FF64\" Value=\"00000002\"/>\r\n    </Stack>"));
  EXPECT_TRUE(has("<Line Address=\"00401234\" Bytes=\"8B 45 FC 8B 00 C3 90 90 55 8B EC 53 56 57 8B 7D\" "
                  "Chars=\".E......U..SVW.}\"/>"));
  EXPECT_TRUE(has("Chars=\"Brindolux.&#060;&#038;&#062;&#034;Zq\"/>"));
  EXPECT_FALSE(has("HoToReproduce"));
}

TEST(LogFile, XMLOfTheOlderLayout) {
  TLogFile log("", false);
  log.AddEntry(OldReport(), 1);
  std::string xml = log.ToXML();
  EXPECT_NE(std::string::npos,
            xml.find("<CallStack>\r\n      <ExceptionThread>\r\n        <Line Address=\"00401234\" "
                     "Module=\"Brindolux.exe\" Unit=\"Main.pas\" Class=\"TForm1\" Procedure=\"Click\" "
                     "Number=\"42\" Offset=\"\"/>\r\n      </ExceptionThread>\r\n    </CallStack>"));
  EXPECT_NE(std::string::npos,
            xml.find("    <HoToReproduce Text=\"Opened a recording.&#013;&#010;Pressed &#060;Play&#062; &#038; "
                     "waited.\"/>\r\n  </Log>\r\n</Doc>\r\n"));
}

TEST(LogFile, CodedNamesAreDecodedWithThePassword) {
  uint32_t moduleKey[4] = {1, 2, 3, 4};
  SetEncryptionKey("secret");
  const std::string playThread = Coded("PlayThread"), player = Coded("TPlayer"), execute = Coded("Execute"),
                    badName = Coded("Bad Name!");
  std::string rows = "|00401000|a.exe|?p" + playThread + "|?" + player + "|?" + execute + "|1|\r\n" +
                     "|00401010|a.exe|?c" + Coded("Worker.cpp") + "||?" + Coded("TWorker.Run") + "|2|\r\n" +
                     "|00401020|a.exe|?p" + Coded("Main") + "||?" + Coded("@Start") + "|3|\r\n" +
                     "|00401030|a.exe|?p" + badName + "||?" + Coded("Proc") + "|4|\r\n" +
                     "|00401040|a.exe|?p!!|?x|?y|5|\r\n";
  SetEncryptionKey("other");
  const std::string other = Coded("Other");
  rows += "|00401050|a.exe|?p" + other + "||?" + Coded("Proc") + "|6|\r\n";
  SetEncryptionKeyWords(moduleKey);
  TLogFile log("", false);
  log.AddEntry("RevavaRez 5.1.10\r\n\r\nCall Stack:\r\n----\r\n|A|M|U|C|P|L|\r\n----\r\n"
               "|Exception Thread: ID=1; Priority=0|\r\n" + rows + "----\r\n",
               1);

  std::string xml = log.ToXML();
  EXPECT_NE(std::string::npos, xml.find("Unit=\"?p" + playThread + "\" Class=\"?" + player + "\""))
      << "no password, no decoding";

  log.Password = "secret";
  xml = log.ToXML();
  uint32_t key[4];
  EncryptionKey(key);
  EXPECT_EQ(std::vector<uint32_t>(moduleKey, moduleKey + 4), std::vector<uint32_t>(key, key + 4))
      << "the module keeps its own key";
  auto line = [&xml](const std::string& address) {
    size_t at = xml.find("Address=\"" + address + "\"");
    return at == std::string::npos ? std::string() : xml.substr(at, xml.find("/>", at) - at);
  };
  const struct {
    const char* address;
    std::string names;
  } cases[] = {
      {"00401000", "Unit=\"PlayThread.pas\" Class=\"TPlayer\" Procedure=\"Execute\""},
      {"00401010", "Unit=\"Worker.cpp\" Class=\"TWorker\" Procedure=\"Run\""},
      {"00401020", "Unit=\"Main.pas\" Class=\"\" Procedure=\"_Start\""},
      // Decoding that gives other characters keeps all three cells as they
      // were: a name with a blank, no Base64 at all, another password.
      {"00401030", "Unit=\"?p" + badName + "\" Class=\"\" Procedure=\"?"},
      {"00401040", "Unit=\"?p!!\" Class=\"?x\" Procedure=\"?y\""},
      {"00401050", "Unit=\"?p" + other + "\" Class=\"\" Procedure=\"?"},
  };
  for (const auto& c : cases) EXPECT_NE(std::string::npos, line(c.address).find(c.names)) << line(c.address);
}

TEST_F(LogFileOnDisk, ALogThatCannotBeWrittenInPlaceMovesToTheProfileFolder) {
  std::string file = "Report" + std::to_string(GetCurrentProcessId()) + ".rrl";
  std::string place = ProfileFolder() + "\\RevavaRez\\exception_report_log_tests\\" + file;
  DeleteFileA(place.c_str());  // left by a run that stopped early
  std::string moved;
  {
    TLogFile log(Folder + "no such folder\\" + file, false);
    moved = log.FileName();
    log.AddEntry(Numbered(1), 32);
    log.Save();
  }
  EXPECT_EQ(place, moved);
  EXPECT_EQ(OnDisk({Numbered(1)}), ReadFileText(moved));
  EXPECT_TRUE(DeleteFileA(moved.c_str()));
}

TEST_F(LogFileOnDisk, SaveAsXMLWritesTheDocument) {
  std::string name = Folder + "Report.xml";
  TLogFile log("", false);
  log.AddEntry(Report(), 1);
  log.SaveAsXML(name);
  EXPECT_EQ(log.ToXML(), ReadFileText(name));
}

TEST_F(LogFileOnDisk, MessagesWithAnyLineBreakReloadWholeAndAreFound) {
  std::string name = Folder + "Report.rrl";
  const char* const messages[] = {"Cannot open\n\nX", "\n\n\n", "Cannot open\r\rX", "Read of\raddress: 0.\n"};
  for (const char* message : messages) {
    TDuplicateValues values;
    values.Message = message;
    std::string report = Report("5.1.10", values);
    {
      TLogFile log(name, false);
      log.AddEntry(report, 1);
      log.Save();
    }
    TLogFile log(name, true);
    ASSERT_EQ(1, log.Count()) << message;
    EXPECT_EQ(Stored(report), log.Entry(0)) << message;
    EXPECT_EQ("Played: file.krm\r\n \r\nthen closed it.", log.ReadItemValue("3.1", 0)) << message;
    EXPECT_TRUE(log.HasEntryWith({"2.2", "2.3", "2.4", "2.5"}, {values.Address, values.Module, values.Type, message}))
        << message;
  }
}

TEST_F(LogFileOnDisk, AReportWithoutAFinalLineBreakIsKept) {
  std::string name = Folder + "Report.rrl";
  std::string first = Numbered(1), second = Numbered(2);
  for (const std::string& report : {first, second}) {
    {
      TLogFile log(name, false);
      log.AddEntry(report.substr(0, report.size() - 2), 32);
      log.Save();
    }
    TLogFile log(name, true);
    ASSERT_LT(0, log.Count()) << "lost on reload";
    EXPECT_EQ(Stored(report), log.Entry(log.Count() - 1));
  }
  TLogFile log(name, true);
  EXPECT_EQ((std::vector<std::string>{Stored(first), Stored(second)}), EntriesOf(log));
}

namespace {

// Stands for a process that dies once the new log is in the temporary file:
// what both files hold then is kept for the test.
std::string SeenTemporary, SeenLog, LogBeingSaved;

void DieBeforeTheReplace(const std::string& temporaryName) {
  SeenTemporary = ReadFileText(temporaryName);
  SeenLog = ReadFileText(LogBeingSaved);
  throw EAbort();
}

}  // namespace

TEST_F(LogFileOnDisk, ASaveCutShortLeavesTheOldLogWhole) {
  std::string name = Folder + "Report.rrl";
  WriteFileText(name, OnDisk({Numbered(1), Numbered(2), Numbered(3)}));
  LogBeingSaved = name;
  {
    TLogFile log(name, false);
    log.AddEntry(Numbered(4), 1);
    LogSaveHook = DieBeforeTheReplace;
    EXPECT_THROW(log.Save(), EAbort);
    LogSaveHook = nullptr;
  }
  EXPECT_EQ(OnDisk({Numbered(4)}), SeenTemporary);
  EXPECT_EQ(OnDisk({Numbered(1), Numbered(2), Numbered(3)}), SeenLog);
  EXPECT_EQ(OnDisk({Numbered(1), Numbered(2), Numbered(3)}), ReadFileText(name));
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((Folder + "*.tmp").c_str(), &found);
  EXPECT_EQ(INVALID_HANDLE_VALUE, search) << "the temporary file is removed";
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST_F(LogFileOnDisk, ALogAnotherProgramHoldsOpenIsStillSaved) {
  std::string name = Folder + "Report.rrl";
  WriteFileText(name, OnDisk({Numbered(1), Numbered(2)}));
  TFileStream reader(name, fmOpenRead | fmShareDenyNone);
  {
    TLogFile log(name, false);
    log.AddEntry(Numbered(3), 1);
    log.Save();
  }
  EXPECT_EQ(OnDisk({Numbered(3)}), ReadFileText(name));
}
