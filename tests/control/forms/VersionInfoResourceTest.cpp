// The version component against real version blocks: this test program's
// own (numbers, flags, two translations, strings), a library without one,
// and both built control libraries.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "forms/VersionInfoResource.h"
#include "base/SystemText.h"

namespace {

// A build path (a Unix path under Wine) as a Windows path.
std::wstring WindowsPath(const std::string& path) {
  std::wstring result = AnsiToWide(path);
  for (wchar_t& c : result) c = c == L'/' ? L'\\' : c;
  return !result.empty() && result[0] == L'\\' ? L"Z:" + result : result;
}

std::wstring ProgramName() { return ModuleFileName(nullptr); }

// A window holding the linked label and list view.
class TLinkedWindows {
 public:
  TLinkedWindows() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    FParent = CreateWindowExW(0, L"STATIC", L"links", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                              nullptr, nullptr);
    FLabel =
        CreateWindowExW(0, L"STATIC", L"before", WS_CHILD, 0, 0, 100, 20, FParent, nullptr, nullptr, nullptr);
    FList = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_ICON | LVS_EDITLABELS, 0, 30, 380, 250,
                            FParent, nullptr, nullptr, nullptr);
  }
  ~TLinkedWindows() { DestroyWindow(FParent); }
  TLinkedWindows(const TLinkedWindows&) = delete;
  TLinkedWindows& operator=(const TLinkedWindows&) = delete;

  HWND Label() const { return FLabel; }
  HWND List() const { return FList; }

  std::wstring LabelText() const {
    wchar_t text[256] = {};
    GetWindowTextW(FLabel, text, 256);
    return text;
  }

  std::wstring Cell(int Row, int Column) const {
    wchar_t text[256] = {};
    LVITEMW item{};
    item.iSubItem = Column;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(FList, LVM_GETITEMTEXTW, Row, reinterpret_cast<LPARAM>(&item));
    return text;
  }

  std::vector<std::pair<std::wstring, std::wstring>> Rows() const {
    std::vector<std::pair<std::wstring, std::wstring>> rows;
    const int count = static_cast<int>(SendMessageW(FList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) rows.emplace_back(Cell(row, 0), Cell(row, 1));
    return rows;
  }

  std::wstring Header(int Column) const {
    wchar_t text[64] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = 64;
    SendMessageW(FList, LVM_GETCOLUMNW, Column, reinterpret_cast<LPARAM>(&column));
    return text;
  }

 private:
  HWND FParent = nullptr;
  HWND FLabel = nullptr;
  HWND FList = nullptr;
};

using TRows = std::vector<std::pair<std::wstring, std::wstring>>;

}  // namespace

TEST(VersionInfoResourceTest, ReadsTheProgramsOwnBlockOutsideALibrary) {
  TVersionInfoResource vi;
  EXPECT_EQ(ProgramName(), vi.GetModuleName());
  EXPECT_EQ(L"5.0.0.1153", vi.FileVersion().AsText());
  EXPECT_EQ(L"5.0.2.7", vi.ProductVersion().AsText());
  EXPECT_EQ((std::vector<std::wstring>{L"080403a8", L"040904b0"}), vi.Translations());
  EXPECT_EQ(L"Debug, Pre-Release", vi.GetBuildFlagsText());
  EXPECT_EQ(TFileFlags().set(ffDebug).set(ffPreRelease), vi.FixedInfo().FileFlagsSet());

  // Strings of the first translation, by key and by index.
  const std::vector<std::pair<std::wstring, std::wstring>> strings = {
      {L"CompanyName", L"Zephyrcastor"},
      {L"FileDescription", L"版本测试"},
      {L"ProductName", L"Brindolux Tests"},
      {L"Comments", L"A block of its own"},
      {L"Empty", L""},
      {L"LegalTrademarks", L""},
      {L"NoSuchKey", L""},
  };
  for (const auto& [key, value] : strings) EXPECT_EQ(value, vi.QueryString(key)) << key;
  EXPECT_EQ(L"Zephyrcastor", vi.CompanyName());
  EXPECT_EQ(L"control_version_tests", vi.InternalName());
  EXPECT_EQ(L"Copyright 2026 Zephyrcastor", vi.GetInfoString(pdLegalCopyright));
  EXPECT_EQ(L"", vi.OriginalFilename());
  EXPECT_EQ(L"", vi.GetInfoString(-1));
  EXPECT_EQ(L"", vi.GetInfoString(PreDefCount));

  // The program is what ForceEXE reads too.
  vi.SetForceEXE(true);
  EXPECT_EQ(ProgramName(), vi.GetModuleName());
  EXPECT_EQ(L"5.0.0.1153", vi.FileVersion().AsText());
}

TEST(VersionInfoResourceTest, NumbersAndFlags) {
  TVersionNumberInformation number;
  EXPECT_EQ(L"", number.AsText());
  number.Set(true, 0x00050000, 0x00000481);
  EXPECT_EQ(L"5.0.0.1153", number.AsText());
  number.Set(true, 0xFFFF0001, 0x00020003);
  EXPECT_EQ(L"65535.1.2.3", number.AsText());
  number.Set(false, 0x00050000, 0x00000481);
  EXPECT_EQ(L"", number.AsText());

  // Each stored flag lands on its bit, whatever the mask says.
  const std::vector<std::pair<DWORD, TFileFlag>> flags = {
      {VS_FF_DEBUG, ffDebug},
      {VS_FF_INFOINFERRED, ffInfoInferred},
      {VS_FF_PATCHED, ffPatched},
      {VS_FF_PRERELEASE, ffPreRelease},
      {VS_FF_PRIVATEBUILD, ffPrivateBuild},
      {VS_FF_SPECIALBUILD, ffSpecialBuild},
  };
  TFixedFileVersionInfo fixed;
  EXPECT_EQ(0u, fixed.FileVersionMS());
  EXPECT_EQ(TFileFlags(), fixed.FileFlagsSet());
  for (const auto& [stored, bit] : flags) {
    VS_FIXEDFILEINFO record{};
    record.dwFileFlagsMask = 0;
    record.dwFileFlags = stored;
    fixed.SetRecord(&record);
    EXPECT_EQ(TFileFlags().set(bit), fixed.FileFlagsSet()) << stored;
  }
  fixed.SetRecord(nullptr);
}

TEST(VersionInfoResourceTest, ListViewRowsAndLinkedLabels) {
  TLinkedWindows windows;
  TVersionInfoResource vi;
  vi.SetVersionListView(windows.List());
  EXPECT_EQ(L"名称", windows.Header(0));
  EXPECT_EQ(L"描述", windows.Header(1));
  const LONG_PTR style = GetWindowLongPtrW(windows.List(), GWL_STYLE);
  EXPECT_EQ(LVS_REPORT, style & LVS_TYPEMASK);
  EXPECT_EQ(0, style & LVS_EDITLABELS);
  EXPECT_NE(0, style & LVS_NOSORTHEADER);
  // Empty values have no row; the numbers come from the fixed record.
  const TRows all = {
      {L"ProductName", L"Brindolux Tests"},        {L"ProductVersion", L"5.0.2.7"},
      {L"CompanyName", L"Zephyrcastor"},           {L"LegalCopyright", L"Copyright 2026 Zephyrcastor"},
      {L"FileDescription", L"版本测试"},           {L"FileVersion", L"5.0.0.1153"},
      {L"InternalName", L"control_version_tests"}, {L"BuildFlags", L"Debug, Pre-Release"},
      {L"Comments", L"A block of its own"},
  };
  EXPECT_EQ(all, windows.Rows());

  // A linked version label shows the number, which the list leaves out.
  vi.SetVersionLabel(windows.Label());
  EXPECT_EQ(L"5.0.0.1153", windows.LabelText());
  EXPECT_FALSE(vi.ShowResource().test(pdFileVersion));
  TRows withoutVersion = all;
  withoutVersion.erase(withoutVersion.begin() + 5);
  EXPECT_EQ(withoutVersion, windows.Rows());

  TPreDefs shown = vi.ShowResource();
  shown.reset(pdComments).reset(pdBuildFlags);
  vi.SetShowResource(shown);
  EXPECT_EQ(TRows(withoutVersion.begin(), withoutVersion.end() - 2), windows.Rows());

  // Unlinked, the label keeps its text; a reload no longer writes it.
  vi.Notification(windows.Label());
  EXPECT_EQ(nullptr, vi.VersionLabel());
  SetWindowTextW(windows.Label(), L"kept");
  vi.Reload();
  EXPECT_EQ(L"kept", windows.LabelText());
}

TEST(VersionInfoResourceTest, LinkedWindowThatWentIsSkipped) {
  TVersionInfoResource vi;
  {
    TLinkedWindows gone;
    vi.SetProductLabel(gone.Label());
    vi.SetVersionListView(gone.List());
  }
  TLinkedWindows windows;
  vi.SetCopyrightLabel(windows.Label());
  vi.Reload();
  EXPECT_EQ(L"Copyright 2026 Zephyrcastor", windows.LabelText());
}

TEST(VersionInfoResourceTest, ModuleWithoutABlockGivesEmptyTexts) {
  const std::vector<std::wstring> names = {WindowsPath(BRX_NOVERSION_DLL), L"Z:\\no\\such\\module.dll"};
  for (const std::wstring& name : names) {
    SCOPED_TRACE(WideToAnsi(name));
    TLinkedWindows windows;
    TVersionInfoResource vi;
    vi.SetVersionLabel(windows.Label());
    vi.SetVersionListView(windows.List());
    vi.SetFilename(name);
    EXPECT_EQ(name, vi.GetModuleName());
    EXPECT_FALSE(vi.FileVersion().Valid());
    EXPECT_EQ(L"", vi.FileVersion().AsText());
    EXPECT_EQ(L"", vi.ProductVersion().AsText());
    EXPECT_TRUE(vi.Translations().empty());
    EXPECT_EQ(L"", vi.CompanyName());
    EXPECT_EQ(L"", vi.QueryString(L"ProductName"));
    EXPECT_EQ(L"", vi.GetBuildFlagsText());
    EXPECT_EQ(L"", windows.LabelText());
    EXPECT_EQ(TRows(), windows.Rows());
  }
}

TEST(VersionInfoResourceTest, BothBuiltControlLibrariesCarryTheProjectsVersion) {
  struct TLibrary {
    const char* Name;
    std::string Path;
  };
  const std::vector<TLibrary> libraries = {
      {"x86_64", BRX_OCX_PATH},
      {"i686", BRX_I686_OCX_PATH},
  };
  const std::wstring version = AnsiToWide(BRX_VERSION_TEXT);
  for (const TLibrary& library : libraries) {
    SCOPED_TRACE(library.Name);
    if (library.Path.empty()) {
      ADD_FAILURE() << "the 32-bit build tree is not known (BRX_DELIVERABLE_DIR)";
      continue;
    }
    TLinkedWindows windows;
    TVersionInfoResource vi;
    vi.SetVersionListView(windows.List());
    vi.SetFilename(WindowsPath(library.Path));
    EXPECT_EQ(version, vi.FileVersion().AsText());
    EXPECT_EQ(version, vi.ProductVersion().AsText());
    EXPECT_EQ(std::vector<std::wstring>{L"080403a8"}, vi.Translations());
    EXPECT_EQ(L"", vi.GetBuildFlagsText());
    const TRows rows = {
        {L"ProductName", L"Zephyrcastor Brindolux"},
        {L"ProductVersion", version},
        {L"FileDescription", L"Zephyrcastor Brindolux ActiveX Control"},
        {L"FileVersion", version},
        {L"InternalName", L"Brindolux"},
        {L"OriginalFilename", L"Brindolux.ocx"},
    };
    EXPECT_EQ(rows, windows.Rows());
    EXPECT_EQ(version, vi.QueryString(L"FileVersion"));
    EXPECT_EQ(version, vi.QueryString(L"ProductVersion"));
  }
}

// A module in a folder deep enough that its name is longer than 255
// characters still names its file.
TEST(VersionInfoResourceTest, ModuleNameIsWholeInADeepFolder) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"brx_version_" + std::to_wstring(GetCurrentProcessId());
  std::vector<std::wstring> made;
  CreateDirectoryW(folder.c_str(), nullptr);
  made.push_back(folder);
  const std::wstring file = L"\\deep.dll";
  while (folder.size() + file.size() < 250) {
    folder += L"\\" + std::wstring(std::min<size_t>(40, 250 - folder.size() - file.size()), L'd');
    CreateDirectoryW(folder.c_str(), nullptr);
    made.push_back(folder);
  }
  while (folder.size() + file.size() < 258) folder += L'e';
  CreateDirectoryW(folder.c_str(), nullptr);
  made.push_back(folder);
  const std::wstring path = folder + file;
  ASSERT_GT(path.size(), 255u);
  ASSERT_LT(path.size(), size_t(MAX_PATH));
  ASSERT_TRUE(CopyFileW(WindowsPath(BRX_OCX_PATH).c_str(), path.c_str(), FALSE));
  HMODULE loaded = LoadLibraryW(path.c_str());
  ASSERT_NE(nullptr, loaded);
  const std::wstring whole = ModuleFileName(loaded);
  EXPECT_EQ(path.size(), whole.size());
  TVersionInfoResource vi;
  vi.SetFilename(whole);
  EXPECT_EQ(AnsiToWide(BRX_VERSION_TEXT), vi.FileVersion().AsText());
  FreeLibrary(loaded);

  DeleteFileW(path.c_str());
  for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryW(it->c_str());
}
