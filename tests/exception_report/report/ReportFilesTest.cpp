// The files that go with a report: their names and the attachment list under
// the send options, the XML copy, the duplicate test over the log, and the
// settings file's place.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "FolderTree.h"
#include "core/ExceptionLog.h"
#include "core/Streams.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "options/VezavuModuleOptions.h"
#include "report/LogFile.h"
#include "report/LogItem.h"
#include "report/ReportFiles.h"

using namespace RevavaRez;

namespace {

std::string Temp(const std::string& name) { return WithTrailingBackslash(TempFolder()) + name; }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> Items(const TStringList& list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back(list[i]);
  return items;
}

// A report as the log keeps it: the general sections, then a call-stack
// table (an entry without a table is not read back).
std::string Report(const std::string& address, const std::string& message) {
  TLogItem item(1);
  item.AddSection("Exception");
  item.AddItem("Date", "2007-01-31");
  item.AddItem("Address", address);
  item.AddItem("Module", "Demo.exe");
  item.AddItem("Type", "EAccessViolation");
  item.AddItem("Message", message);
  return "RevavaRez 5.1.10\r\n\r\n" + item.GetText() +
         "\r\nCall Stack Information:\r\n"
         "----------------\r\n"
         "|Address |Module|\r\n"
         "----------------\r\n"
         "|00401000|Demo  |\r\n"
         "----------------\r\n";
}

class ReportFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = Temp("brx_report_files");
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    options.SetLogLocation(folder + "\\Report.rrl");
    options.SetLogFlags(0);
    ScreenshotChecked = false;
    LastHtmlPage.clear();
    CodedNamesPassword.clear();
    ExceptionTime = EncodeDateTime(2007, 1, 31, 23, 59, 59);
  }
  void TearDown() override {
    CloseLog();
    DeleteFileA(Temp("Report.rrl").c_str());
    DeleteFileA(Temp("Report.xml").c_str());
    RemoveTree(folder);
  }
  std::string folder;
  TVezavuModuleOptions options{false, "C:\\Program\\Demo.exe"};
};

TEST_F(ReportFiles, NamesFollowTheSendFlags) {
  options.SetSendFlags(0);
  EXPECT_EQ(LogCopyName(options), Temp("Report.rrl"));
  EXPECT_EQ(ArchiveName(), Temp("CompressFiles.tgz"));
  EXPECT_EQ(XmlCopyName(options), "");
  EXPECT_EQ(ScreenshotName(options), "");
  EXPECT_EQ(HtmlPageName(options), "");

  options.SetSendFlags(0x0008 | 0x0010 | 0x0040);
  EXPECT_EQ(XmlCopyName(options), Temp("Report.xml"));
  EXPECT_EQ(ScreenshotName(options), Temp("Screenshot.png"));
  EXPECT_EQ(HtmlPageName(options), Temp("LastHTMLPage.html"));
  // What is sent also needs the user's tick and a page.
  EXPECT_EQ(SentScreenshotName(options), "");
  EXPECT_EQ(SentHtmlPageName(options), "");
  ScreenshotChecked = true;
  LastHtmlPage = "<html></html>";
  EXPECT_EQ(SentScreenshotName(options), Temp("Screenshot.png"));
  EXPECT_EQ(SentHtmlPageName(options), Temp("LastHTMLPage.html"));

  options.SetSendFlags(0);
  EXPECT_EQ(AttachmentName(options, "C:\\Logs\\Report.rrl"), "Report.rrl");
  options.SetSendFlags(0x0100);
  EXPECT_EQ(AttachmentName(options, "C:\\Logs\\Report.rrl"), "Report_20070131235959.rrl");
}

TEST_F(ReportFiles, AttachmentListsInTheirOrder) {
  struct Case {
    uint16_t sendFlags;
    bool appendReports, forEmail, ticked, page;
    std::vector<std::string> expected;
  } cases[] = {
      {0, false, true, false, false, {"a.txt", "b c.txt", Temp("Report.rrl")}},
      // An e-mail carries appended reports in its body, the web does not.
      {0, true, true, false, false, {"a.txt", "b c.txt"}},
      {0, true, false, false, false, {"a.txt", "b c.txt", Temp("Report.rrl")}},
      {0x0058, false, false, true, true,
       {"a.txt", "b c.txt", Temp("Report.rrl"), Temp("Screenshot.png"), Temp("LastHTMLPage.html"),
        Temp("Report.xml")}},
      // Flags set but nothing to send: only the XML copy follows.
      {0x0058, false, false, false, false, {"a.txt", "b c.txt", Temp("Report.rrl"), Temp("Report.xml")}},
  };
  options.SetAttachedFileList("  a.txt ;; ; b c.txt  ;");
  TStringList list;
  list.Add("left over");
  for (const Case& c : cases) {
    options.SetSendFlags(c.sendFlags);
    options.SetAppendReports(c.appendReports);
    ScreenshotChecked = c.ticked;
    LastHtmlPage = c.page ? "<html></html>" : "";
    BuildAttachmentList(options, c.forEmail, list);
    EXPECT_EQ(Items(list), c.expected) << "flags " << c.sendFlags << " append " << c.appendReports;
  }
}

TEST_F(ReportFiles, TheXmlCopyOnlyWithItsFlag) {
  {
    TLogFile copy(LogCopyName(options), false);
    copy.AddEntry(Report("00401000", "First."), 32);
    copy.AddEntry(Report("00402000", "Second."), 32);
    copy.Save();
  }
  options.SetSendFlags(0);
  SaveXmlCopy(options, Report("00403000", "Current."));
  EXPECT_FALSE(Exists(Temp("Report.xml")));

  options.SetSendFlags(0x0008);
  SaveXmlCopy(options, Report("00403000", "Current."));
  std::string xml = ReadTextFile(Temp("Report.xml"));
  EXPECT_EQ(xml.rfind("<Doc>\r\n", 0), 0u) << xml;
  EXPECT_NE(xml.find("Value=\"First.\""), std::string::npos);
  EXPECT_NE(xml.find("Value=\"Second.\""), std::string::npos);
  EXPECT_EQ(xml.find("Current."), std::string::npos);
}

TEST_F(ReportFiles, TextFilesAndTheLastPage) {
  EXPECT_EQ(ReadTextFile(""), "");
  EXPECT_EQ(ReadTextFile(folder + "\\missing.txt"), "");
  {
    // Sparse: only the size is set, no disk is used.
    TFileStream large(folder + "\\large.txt", fmCreate);
    large.WriteBuffer("text", 4);
    large.SetSize(kLogFileLimit + 1);
  }
  EXPECT_EQ(ReadTextFile(folder + "\\large.txt"), "") << "larger than any file a report sends";
  options.SetSendFlags(0x0040);
  SaveLastHtmlPage(options, "<html>\r\n<body>Sorry</body>\n</html>");
  EXPECT_EQ(ReadTextFile(Temp("LastHTMLPage.html")), "<html>\r\n<body>Sorry</body>\r\n</html>\r\n");
  DeleteFileA(Temp("LastHTMLPage.html").c_str());
  options.SetSendFlags(0);
  SaveLastHtmlPage(options, "<html></html>");
  EXPECT_FALSE(Exists(Temp("LastHTMLPage.html")));
}

TEST_F(ReportFiles, DuplicatesOnlyWhenAskedFor) {
  std::string log = folder + "\\Report.rrl";
  {
    TLogFile file(log, false);
    file.AddEntry(Report("00401000", "Boom."), 32);
    file.Save();
  }
  options.SetLogFlags(0);
  DuplicateFound = true;
  CheckDuplicate(options, "00401000", "Demo.exe", "EAccessViolation", "Boom.");
  EXPECT_FALSE(DuplicateFound);

  options.SetLogFlags(0x01);
  CheckDuplicate(options, "00401000", "Demo.exe", "EAccessViolation", "Boom.");
  EXPECT_TRUE(DuplicateFound);
  EXPECT_EQ(LogObject, nullptr);
  CheckDuplicate(options, "00401000", "Demo.exe", "EAccessViolation", "Bang.");
  EXPECT_FALSE(DuplicateFound);

  // A log that cannot be read is the caller's error, and no log stays open.
  std::ofstream(log, std::ios::binary | std::ios::app) << std::string(size_t(kLogFileLimit), 'x');
  EXPECT_THROW(CheckDuplicate(options, "00401000", "Demo.exe", "EAccessViolation", "Boom."), Exception);
  EXPECT_EQ(LogObject, nullptr);
}

TEST_F(ReportFiles, OpenLogFollowsThePath) {
  OpenLog(options);
  TLogFile* first = LogObject;
  ASSERT_NE(first, nullptr);
  OpenLog(options);
  EXPECT_EQ(LogObject, first);
  options.SetLogLocation(folder + "\\Other.rrl");
  OpenLog(options);
  EXPECT_EQ(LogObjectPath, folder + "\\Other.rrl");
  CloseLog();
  EXPECT_EQ(LogObject, nullptr);
}

// The Windows folder's settings file is shared by every test that touches it.
class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    inWindows = WithTrailingBackslash(windows) + kSettingsFileName;
    saved = EnvironmentText("UserProfile");
    profile = Temp("brx_settings_profile");
    RemoveTree(profile);
    CreateDirectoryA(profile.c_str(), nullptr);
    SetEnvironmentVariableA("UserProfile", profile.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("UserProfile", saved.empty() ? nullptr : saved.c_str());
    RemoveTree(profile);
    RemoveTree(inWindows);
    DeleteFileA(inWindows.c_str());
  }
  std::string inWindows, saved, profile;
};

TEST_F(SettingsFile, WrittenInTheWindowsFolderOrTheProfile) {
  DeleteFileA(inWindows.c_str());
  IniWrite(kSettingsFileName, "Dialog", "Width", "640");
  EXPECT_EQ(IniRead(kSettingsFileName, "Dialog", "Width", "0"), "640");
  EXPECT_TRUE(Exists(inWindows));
  ASSERT_TRUE(DeleteFileA(inWindows.c_str()));

  // A folder in the file's place: the settings go to the library's folder
  // of the profile, and are read back from there.
  ASSERT_TRUE(CreateDirectoryA(inWindows.c_str(), nullptr));
  IniWrite(kSettingsFileName, "Dialog", "Width", "800");
  std::string moved = profile + "\\RevavaRez\\" + kSettingsFileName;
  EXPECT_TRUE(Exists(moved));
  EXPECT_EQ(IniRead(kSettingsFileName, "Dialog", "Width", "0"), "800");
  EXPECT_EQ(IniRead(kSettingsFileName, "Dialog", "Height", "480"), "480");
}

TEST_F(SettingsFile, NoUsablePlaceGivesTheDefault) {
  ASSERT_TRUE(CreateDirectoryA(inWindows.c_str(), nullptr));
  // A file where the library's profile folder would be made.
  std::ofstream(profile + "\\RevavaRez") << "x";
  IniWrite(kSettingsFileName, "Dialog", "Width", "800");
  EXPECT_EQ(IniRead(kSettingsFileName, "Dialog", "Width", "default"), "default");
}

}  // namespace
