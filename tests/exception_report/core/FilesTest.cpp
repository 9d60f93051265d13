// The log file, the internal-error log and the dialog's settings go wherever
// FindUsableFile says; the helpers under it answer empty rather than fail.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/ExceptionLog.h"
#include "FolderTree.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "options/VezavuModuleOptions.h"

using namespace RevavaRez;

namespace {

std::string TestFolder(const std::string& name) {
  std::string folder = TempFolder() + name;
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

class ProfileFolderSet : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = EnvironmentText("UserProfile");
    profile = TestFolder("brx_profile_test");
    SetEnvironmentVariableA("UserProfile", profile.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("UserProfile", saved.empty() ? nullptr : saved.c_str());
    RemoveTree(profile);
  }
  std::string saved, profile;
};

TEST_F(ProfileFolderSet, AnUnusableNameMovesIntoTheLibraryFolderOfTheProfile) {
  // A folder stands in for a file nobody may write: the tests run as root.
  std::string work = TestFolder("brx_unusable_test");
  std::string blocked = work + "\\Report.log";
  ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
  ASSERT_FALSE(CanWriteFile(blocked));

  std::string name = blocked;
  ASSERT_TRUE(FindUsableFile(name, false, false));
  EXPECT_EQ(name, profile + "\\RevavaRez\\Report.log");
  EXPECT_TRUE(FolderExists(profile + "\\RevavaRez"));
  // Only tested, not left behind.
  EXPECT_EQ(GetFileAttributesA(name.c_str()), INVALID_FILE_ATTRIBUTES);

  name = blocked;
  ASSERT_TRUE(FindUsableFile(name, true, false));
  std::string program = ChangeFileExt(ExtractFileName(ModuleFileNameOf(nullptr)), "");
  EXPECT_EQ(name, profile + "\\RevavaRez\\" + program + "\\Report.log");

  // Read-only use needs an existing file.
  name = blocked;
  EXPECT_FALSE(FindUsableFile(name, false, true));
  EXPECT_EQ(name, blocked);

  // A usable name stays.
  name = work + "\\Fine.log";
  ASSERT_TRUE(FindUsableFile(name, true, false));
  EXPECT_EQ(name, work + "\\Fine.log");
  RemoveTree(work);
}

TEST_F(ProfileFolderSet, NoFolderCanBeMadeMeansNoFile) {
  // The library folder's name is taken by a file.
  HANDLE file =
      CreateFileA((profile + "\\RevavaRez").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  std::string name = profile + "\\RevavaRez\\x.log";
  EXPECT_FALSE(FindUsableFile(name, false, false));
}

TEST(FileHelpers, EnvironmentAndRegistryTextsAreEmptyRatherThanWrong) {
  std::string longValue(1500, 'v');
  SetEnvironmentVariableA("BRX_LONG_VALUE", longValue.c_str());
  EXPECT_EQ(EnvironmentText("BRX_LONG_VALUE"), "");
  SetEnvironmentVariableA("BRX_LONG_VALUE", "short");
  EXPECT_EQ(EnvironmentText("BRX_LONG_VALUE"), "short");
  SetEnvironmentVariableA("BRX_LONG_VALUE", nullptr);
  EXPECT_EQ(EnvironmentText("BRX_LONG_VALUE"), "");

  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\BrindoluxTests\\ReadText", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Zero", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4);
  RegSetValueExA(key, "NoZero", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
  RegSetValueExA(key, "Empty", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0);
  RegCloseKey(key);
  const char* path = "\\Software\\BrindoluxTests\\ReadText";
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, path, "Zero"), "abc");
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, path, "NoZero"), "abc");
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, path, "Empty"), "");
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, path, "Missing"), "");
  EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, "Software\\BrindoluxTests\\Nowhere", "Zero"), "");
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\BrindoluxTests\\ReadText");
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\BrindoluxTests");
}

TEST(FileHelpers, ModuleNamesDatesAndTheComputer) {
  char own[MAX_PATH];
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  EXPECT_EQ(UpperCase(ModuleFileNameOf(nullptr)), UpperCase(own));
  EXPECT_EQ(ModuleFileNameOf(reinterpret_cast<HMODULE>(0x10)), "");
  EXPECT_EQ(ModuleHandleOfFile(own), GetModuleHandleA(nullptr));
  EXPECT_GT(FileDateOf(own), 40000.0);
  EXPECT_EQ(FileDateOf(std::string(own) + ".missing"), 0.0);

  std::string computer = ComputerName();
  EXPECT_FALSE(computer.empty());
  EXPECT_EQ(SafeComputerName(), SafeFileNamePart(computer));
  EXPECT_EQ(LogFilePath("", "C:\\App\\Prog.exe", 0x08), "C:\\App\\Prog_" + SafeComputerName() + ".rrl");
  TVezavuModuleOptions options(false, "C:\\App\\Prog.exe");
  options.SetLogLocation("D:\\Logs");
  EXPECT_EQ(LogFilePath(options), "D:\\Logs\\Prog.rrl");
  EXPECT_EQ(LogFileIn(options, "E:\\x\\Report.txt"), "D:\\Logs\\Report.txt");
  options.SetLogFlags(0x08);
  options.SetLogLocation("D:\\Logs\\All.rrl");
  EXPECT_EQ(LogFilePath(options), "D:\\Logs\\All_" + SafeComputerName() + ".rrl");
  EXPECT_EQ(ProfileFolder(), EnvironmentText("UserProfile").empty() ? "\\" : EnvironmentText("UserProfile"));
}

TEST(FileHelpers, ExpandLongPathGivesTheLongNames) {
  std::string folder = TestFolder("brx_long_folder_name_test");
  char shortName[MAX_PATH];
  DWORD length = GetShortPathNameA(folder.c_str(), shortName, MAX_PATH);
  if (length == 0 || std::string(shortName).find('~') == std::string::npos)
    GTEST_SKIP() << "the file system gives no short names";
  EXPECT_EQ(UpperCase(ExpandLongPath(shortName)), UpperCase(folder));
  EXPECT_EQ(UpperCase(ExpandLongPath(std::string(shortName) + "\\missing~1\\x")),
            UpperCase(folder + "\\missing~1\\x"));
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
