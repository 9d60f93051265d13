// The recent-files list in the registry and in an INI file, and what happens
// when the store cannot be read or written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "MRUFileList.h"

namespace {

using Names = std::vector<std::wstring>;

const wchar_t* const TestKeyPath = L"Software\\Brindolux Tests\\Recent files";

struct RegistryFixture : testing::Test {
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, TestKeyPath); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, TestKeyPath); }

  // A list stored where the program stores it, but under the current user.
  static void Configure(TMRUFileList& list) {
    list.SetAutoSaveName(std::wstring(L"\\") + TestKeyPath);
    list.SetAutoSaveKey(L"MRU Items");
    list.SetAutoSaveRootKey(rkCurrentUser);
    list.SetMaximum(10);
  }

  static std::vector<std::pair<std::wstring, std::wstring>> StoredValues() {
    std::vector<std::pair<std::wstring, std::wstring>> values;
    HKEY key;
    std::wstring path = std::wstring(TestKeyPath) + L"\\MRU Items";
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
      wchar_t name[64];
      wchar_t data[512] = {};
      DWORD nameLength = 64, size = sizeof data - sizeof(wchar_t);
      if (RegEnumValueW(key, i, name, &nameLength, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size))
        break;
      values.emplace_back(name, data);
    }
    RegCloseKey(key);
    std::sort(values.begin(), values.end());
    return values;
  }

  static void StoreValue(const std::wstring& name, const std::wstring& value) {
    HKEY key;
    std::wstring path = std::wstring(TestKeyPath) + L"\\MRU Items";
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
};

TEST_F(RegistryFixture, SavedOnDestructionAndLoadedBackInOrder) {
  {
    TMRUFileList list;
    Configure(list);
    list.Loaded();
    EXPECT_TRUE(list.Items().empty());  // nothing stored yet
    for (auto name : {L"C:\\a.krm", L"D:\\My Lectures\\b=c.krm", L"http://127.0.0.1/x.krm"})
      list.AddItem(name);
  }
  using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;
  EXPECT_EQ(StoredValues(), (Pairs{{L"F0", L"http://127.0.0.1/x.krm"},
                                   {L"F1", L"D:\\My Lectures\\b=c.krm"},
                                   {L"F2", L"C:\\a.krm"}}));
  TMRUFileList again;
  Configure(again);
  again.Loaded();
  EXPECT_EQ(again.Items(), (Names{L"http://127.0.0.1/x.krm", L"D:\\My Lectures\\b=c.krm", L"C:\\a.krm"}));
  // A shorter list leaves no old entries behind.
  again.SetMaximum(1);
  EXPECT_TRUE(again.SaveList());
  EXPECT_EQ(StoredValues(), (Pairs{{L"F0", L"http://127.0.0.1/x.krm"}}));
  again.SetAutoSave(false);
}

TEST_F(RegistryFixture, TwelveStoredNamesLoadInNumericOrderAndTheNextAddCutsToTheMaximum) {
  // Stored in a scrambled order; the registry hands them back sorted by
  // name on some systems ("F10" before "F2") and by age on others.
  for (int i : {11, 3, 0, 10, 2, 7, 1, 9, 4, 8, 6, 5})
    StoreValue(L"F" + std::to_wstring(i), L"name" + std::to_wstring(i));
  StoreValue(L"F12", L"");  // an empty text is no entry
  TMRUFileList list;
  Configure(list);
  list.SetAutoSave(false);
  EXPECT_TRUE(list.LoadList());
  Names expected;
  for (int i = 0; i < 12; ++i) expected.push_back(L"name" + std::to_wstring(i));
  EXPECT_EQ(list.Items(), expected);  // all twelve, although the maximum is 10
  list.AddItem(L"new");
  ASSERT_EQ(list.Items().size(), 10u);
  EXPECT_EQ(list.Items().front(), L"new");
  EXPECT_EQ(list.Items().back(), L"name8");
}

TEST(MRUStorage, IniFileRoundTrip) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("brx-mru-" + std::to_string(GetCurrentProcessId()) + ".ini");
  std::filesystem::remove(file);
  {
    TMRUFileList list;
    list.SetUseRegistry(false);
    list.SetAutoSaveName(file.wstring());
    list.Loaded();
    EXPECT_TRUE(list.Items().empty());
    list.AddItem(L"C:\\a=b.krm");
    list.AddItem(L"C:\\second.krm");
  }
  TMRUFileList list;
  list.SetUseRegistry(false);
  list.SetAutoSave(false);
  list.SetAutoSaveName(file.wstring());
  EXPECT_TRUE(list.LoadList());
  EXPECT_EQ(list.Items(), (Names{L"C:\\second.krm", L"C:\\a=b.krm"}));
  std::filesystem::remove(file);
}

// Everything the debugger output receives while one of these lives.
class DebugOutputCapture {
 public:
  DebugOutputCapture() {
    Instance = this;
    FHandler = AddVectoredExceptionHandler(1, Handler);
  }
  ~DebugOutputCapture() {
    RemoveVectoredExceptionHandler(FHandler);
    Instance = nullptr;
  }
  std::string Text;

 private:
  static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
    const auto* record = info->ExceptionRecord;
    if (Instance && record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
      Instance->Text.append(reinterpret_cast<const char*>(record->ExceptionInformation[1]),
                            strnlen(reinterpret_cast<const char*>(record->ExceptionInformation[1]),
                                    record->ExceptionInformation[0]));
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static inline DebugOutputCapture* Instance = nullptr;
  PVOID FHandler;
};

// HKEY_LOCAL_MACHINE is often not writable for the user who runs the
// program: the program must start with an empty list and end normally.
TEST_F(RegistryFixture, AStoreThatCannotBeWrittenOrReadDoesNotStopTheProgram) {
  // Stand a volatile key in for HKEY_LOCAL_MACHINE: no lasting key can be
  // made under it, as under a machine key that the user may not write.
  HKEY volatileKey;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Brindolux Tests\\Volatile", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, volatileKey), ERROR_SUCCESS);
  DebugOutputCapture debug;
  {
    TMRUFileList list;
    list.SetAutoSaveName(L"\\Not There Yet");  // must be created to be read
    list.SetAutoSaveRootKey(rkLocalMachine);
    list.Loaded();
    EXPECT_TRUE(list.Items().empty());
    list.AddItem(L"C:\\kept in memory.krm");
    EXPECT_FALSE(list.SaveList());
    EXPECT_EQ(list.Items(), Names{L"C:\\kept in memory.krm"});
  }  // the save on destruction fails quietly too
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  RegCloseKey(volatileKey);
  EXPECT_NE(debug.Text.find("TMRUFileList.SaveList"), std::string::npos) << debug.Text;
  {
    SCOPED_TRACE("an INI file in a folder that does not exist");
    TMRUFileList list;
    list.SetUseRegistry(false);
    list.SetAutoSaveName(L"C:\\no such folder\\really not\\mru.ini");
    list.Loaded();
    EXPECT_TRUE(list.Items().empty());
    list.AddItem(L"C:\\a.krm");
    EXPECT_FALSE(list.SaveList());
  }
}

}  // namespace
