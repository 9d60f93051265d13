#include "MRUFileList.h"

#include <algorithm>
#include <cwctype>
#include <memory>

namespace {

struct TRootKeyEntry {
  TRootKey Key;
  HKEY Handle;
};
const TRootKeyEntry RootKeys[] = {
    {rkClassesRoot, HKEY_CLASSES_ROOT},     {rkCurrentUser, HKEY_CURRENT_USER},
    {rkLocalMachine, HKEY_LOCAL_MACHINE},   {rkUsers, HKEY_USERS},
    {rkCurrentConfig, HKEY_CURRENT_CONFIG}, {rkDynData, HKEY_DYN_DATA},
};

// No store holds more than this many entries (Maximum is a byte); anything
// beyond is not ours and is not read.
constexpr DWORD MaxStoredValues = 1024;
// The longest text a stored entry may have (the longest wide path and then some).
constexpr DWORD MaxStoredChars = 32768;

struct TRegKey {
  HKEY Handle = nullptr;
  ~TRegKey() {
    if (Handle) RegCloseKey(Handle);
  }
};

// Registry paths are given from the root, with a leading "\".
std::wstring RelativeKeyPath(const std::wstring& Path) {
  size_t start = Path.find_first_not_of(L'\\');
  return start == std::wstring::npos ? std::wstring() : Path.substr(start);
}

void ReportStorageFailure(const wchar_t* What, const std::wstring& Where, LONG Code) {
  std::wstring text = L"TMRUFileList.";
  text += What;
  text += L" -> ";
  text += Where;
  text += L": error " + std::to_wstring(Code) + L"\n";
  OutputDebugStringW(text.c_str());
}

// "F12" -> 12; names that are not "F" and digits sort after every numbered one.
unsigned long long EntryOrder(const std::wstring& ValueName) {
  constexpr unsigned long long Unnumbered = ~0ull;
  if (ValueName.size() < 2 || ValueName.size() > 12 || (ValueName[0] != L'F' && ValueName[0] != L'f'))
    return Unnumbered;
  unsigned long long number = 0;
  for (size_t i = 1; i < ValueName.size(); ++i) {
    if (ValueName[i] < L'0' || ValueName[i] > L'9') return Unnumbered;
    number = number * 10 + (ValueName[i] - L'0');
  }
  return number;
}

// Entries are stored as "F0", "F1", ...; the store may hand them back in any
// order (registries sort names, so "F10" comes before "F2").
std::vector<std::wstring> InEntryOrder(std::vector<std::pair<std::wstring, std::wstring>> Pairs) {
  std::stable_sort(Pairs.begin(), Pairs.end(),
                   [](const auto& a, const auto& b) { return EntryOrder(a.first) < EntryOrder(b.first); });
  std::vector<std::wstring> names;
  for (auto& pair : Pairs)
    if (!pair.second.empty()) names.push_back(std::move(pair.second));
  return names;
}

// The measuring canvas of the process: a memory device context with the
// system's menu font.
class TMeasuringCanvas {
 public:
  TMeasuringCanvas() {
    FDC = CreateCompatibleDC(nullptr);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      FFont = CreateFontIndirectW(&metrics.lfMenuFont);
    if (FDC && FFont) FOldFont = SelectObject(FDC, FFont);
  }
  ~TMeasuringCanvas() {
    if (FDC && FOldFont) SelectObject(FDC, FOldFont);
    if (FFont) DeleteObject(FFont);
    if (FDC) DeleteDC(FDC);
  }
  int Width(const std::wstring& Text) {
    SIZE size{};
    if (!FDC || !GetTextExtentPoint32W(FDC, Text.c_str(), static_cast<int>(Text.size()), &size)) return 0;
    return size.cx;
  }

 private:
  HDC FDC = nullptr;
  HFONT FFont = nullptr;
  HGDIOBJ FOldFont = nullptr;
};

// Cuts the first folder of a folder part; an earlier "...\" goes with it.
std::wstring CutFirstFolder(std::wstring Folder) {
  if (Folder == L"\\") return std::wstring();
  const bool rooted = !Folder.empty() && Folder[0] == L'\\';
  if (rooted) Folder.erase(0, 1);
  if (!Folder.empty() && Folder[0] == L'.') Folder.erase(0, std::min<size_t>(4, Folder.size()));
  size_t slash = Folder.find(L'\\');
  if (slash == std::wstring::npos)
    Folder.clear();
  else
    Folder = L"...\\" + Folder.substr(slash + 1);
  if (rooted) Folder.insert(0, L"\\");
  return Folder;
}

}  // namespace

std::wstring ShortenPathToWidth(const std::wstring& Name, const TTextWidth& Width, int MaxWidth) {
  std::wstring result = Name;
  size_t lastSlash = Name.rfind(L'\\');
  std::wstring folder = lastSlash == std::wstring::npos ? std::wstring() : Name.substr(0, lastSlash + 1);
  const std::wstring file = Name.substr(folder.size());
  std::wstring drive;
  if (folder.size() >= 2 && folder[1] == L':') {
    drive = folder.substr(0, 2);
    folder.erase(0, 2);
  }
  while ((!drive.empty() || !folder.empty()) && Width(result) > MaxWidth) {
    if (folder == L"\\...\\") {
      drive.clear();
      folder = L"...\\";
    } else if (folder.empty()) {
      drive.clear();
    } else {
      folder = CutFirstFolder(folder);
    }
    result = drive + folder + file;
  }
  return result;
}

int MenuTextWidth(const std::wstring& Text) {
  static TMeasuringCanvas canvas;
  return canvas.Width(Text);
}

TMRUFileList::TMRUFileList(UINT FirstCommandId)
    : FFirstCommandId(FirstCommandId), FTextWidth(MenuTextWidth) {}

TMRUFileList::~TMRUFileList() {
  if (FAutoSave) SaveList();
}

void TMRUFileList::Loaded() {
  if (FAutoSave) LoadList();
}

void TMRUFileList::AddItem(const std::wstring& Name) {
  auto same = [&Name](const std::wstring& item) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, item.c_str(), static_cast<int>(item.size()),
                          Name.c_str(), static_cast<int>(Name.size())) == CSTR_EQUAL;
  };
  auto found = std::find_if(FItems.begin(), FItems.end(), same);
  if (found != FItems.end()) {
    std::rotate(FItems.begin(), found, found + 1);
  } else {
    FItems.insert(FItems.begin(), Name);
    while (FItems.size() > FMaximum) FItems.pop_back();
  }
  Rebuild();
}

bool TMRUFileList::Target(HMENU& Menu, int& Position) const {
  if (!FParentMenu) return false;
  if (FFileSubMenu && GetMenuItemCount(FFileSubMenu) > 0) {
    Menu = FFileSubMenu;
    Position = GetMenuItemCount(FFileSubMenu);
    return true;
  }
  const int count = GetMenuItemCount(FParentMenu);
  for (int i = 0; i < count; ++i) {
    const bool match = FFileSubMenu ? GetSubMenu(FParentMenu, i) == FFileSubMenu
                                    : GetMenuItemID(FParentMenu, i) == FFileItemId;
    if (match) {
      Menu = FParentMenu;
      Position = i;
      return true;
    }
  }
  return false;
}

bool TMRUFileList::IsOwnItem(HMENU Menu, int Position) const {
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_DATA;
  return GetMenuItemInfoW(Menu, Position, TRUE, &info) &&
         info.dwItemData == reinterpret_cast<ULONG_PTR>(this);
}

void TMRUFileList::InsertItem(HMENU Menu, int Position, UINT Flags, UINT_PTR Id,
                              const std::wstring& Caption) {
  InsertMenuW(Menu, Position, MF_BYPOSITION | Flags, Id, Caption.c_str());
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_DATA;
  info.dwItemData = reinterpret_cast<ULONG_PTR>(this);
  SetMenuItemInfoW(Menu, Position, TRUE, &info);
}

void TMRUFileList::RemoveItems() {
  FMenuItems.clear();
  if (!FParentMenu) return;
  HMENU menu = (FFileSubMenu && GetMenuItemCount(FFileSubMenu) > 0) ? FFileSubMenu : FParentMenu;
  for (int i = GetMenuItemCount(menu) - 1; i >= 0; --i)
    if (IsOwnItem(menu, i)) DeleteMenu(menu, i, MF_BYPOSITION);  // a submenu goes with its entries
}

void TMRUFileList::Rebuild() {
  if (!FParentMenu) return;
  RemoveItems();
  if (FItems.empty()) return;
  HMENU menu;
  int position;
  if (!Target(menu, position)) return;
  if (FInsertSeparator) {
    InsertItem(menu, position, MF_SEPARATOR, 0, L"");
    FMenuItems.push_back(TMRUMenuItem{0, 0, L"-", L"-"});
    ++position;
  }
  if (FUseSubmenu) {
    HMENU sub = CreatePopupMenu();
    InsertItem(menu, position, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), FSubmenuName);
    FMenuItems.push_back(TMRUMenuItem{0, 0, FSubmenuName, FSubmenuName});
    menu = sub;
    position = 0;
  }
  // Entry numbers are bytes; a store may hold more names than there are.
  const size_t shown = std::min<size_t>(FItems.size(), 255);
  for (size_t i = 0; i < shown; ++i) {
    TMRUMenuItem item;
    item.EntryNumber = static_cast<BYTE>(i + 1);
    item.CommandId = FFirstCommandId + static_cast<UINT>(i);
    const std::wstring prefix = L"&" + std::to_wstring(i + 1) + L" ";
    item.FullCaption = prefix + FItems[i];
    item.Caption = FMaxCaptionWidth == 0
                       ? item.FullCaption
                       : prefix + ShortenPathToWidth(FItems[i], FTextWidth, FMaxCaptionWidth);
    InsertItem(menu, position++, MF_STRING, item.CommandId, item.Caption);
    FMenuItems.push_back(std::move(item));
  }
}

bool TMRUFileList::HandleCommand(UINT CommandId) {
  for (const auto& item : FMenuItems)
    if (item.EntryNumber != 0 && item.CommandId == CommandId) {
      ItemClick(CommandId);
      return true;
    }
  return false;
}

void TMRUFileList::ItemClick(UINT CommandId) {
  if (CommandId < FFirstCommandId) return;
  const size_t index = CommandId - FFirstCommandId;
  if (index >= FItems.size()) return;
  // A copy: the entry may be gone before the event fires.
  const std::wstring name = FItems[index];
  if (FRemoveOnClick) {
    FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
    Rebuild();
  }
  if (FOnMRUItemClick) FOnMRUItemClick(this, name);
}

void TMRUFileList::SetMaximum(BYTE Value) {
  const bool lowered = Value < FMaximum;
  FMaximum = Value;
  if (lowered) {
    while (FItems.size() > Value) FItems.pop_back();
    Rebuild();
  }
}

void TMRUFileList::SetUseSubmenu(bool Value) {
  if (Value == FUseSubmenu) return;
  FUseSubmenu = Value;
  Rebuild();
}

void TMRUFileList::SetInsertSeparator(bool Value) {
  if (Value == FInsertSeparator) return;
  FInsertSeparator = Value;
  Rebuild();
}

void TMRUFileList::SetSubmenuName(const std::wstring& Value) {
  if (Value == FSubmenuName) return;
  FSubmenuName = Value;
  if (FUseSubmenu) Rebuild();
}

void TMRUFileList::SetMaxCaptionWidth(int Value) {
  if (Value == FMaxCaptionWidth) return;
  FMaxCaptionWidth = Value;
  Rebuild();
}

void TMRUFileList::SetFileMenu(HMENU ParentMenu, int Position) {
  RemoveItems();
  FParentMenu = ParentMenu;
  FFileSubMenu = nullptr;
  FFileItemId = 0;
  if (ParentMenu) {
    FFileSubMenu = GetSubMenu(ParentMenu, Position);
    if (!FFileSubMenu) FFileItemId = GetMenuItemID(ParentMenu, Position);
  }
  Rebuild();
}

TRootKey TMRUFileList::AutoSaveRootKey() const {
  for (const auto& entry : RootKeys)
    if (entry.Handle == FAutoSaveRootKey) return entry.Key;
  return rkCurrentUser;
}

void TMRUFileList::SetAutoSaveRootKey(TRootKey Value) {
  for (const auto& entry : RootKeys)
    if (entry.Key == Value) FAutoSaveRootKey = entry.Handle;
}

bool TMRUFileList::LoadList() {
  if (FAutoSaveName.empty() || FAutoSaveKey.empty()) return false;
  std::vector<std::wstring> names;
  const bool ok = FUseRegistry ? LoadFromRegistry(names) : LoadFromIni(names);
  FItems = ok ? std::move(names) : std::vector<std::wstring>();
  Rebuild();
  return ok;
}

bool TMRUFileList::SaveList() {
  if (FAutoSaveName.empty() || FAutoSaveKey.empty()) return false;
  return FUseRegistry ? SaveToRegistry() : SaveToIni();
}

bool TMRUFileList::LoadFromRegistry(std::vector<std::wstring>& Names) const {
  TRegKey base;
  LONG rc = RegCreateKeyExW(FAutoSaveRootKey, RelativeKeyPath(FAutoSaveName).c_str(), 0, nullptr, 0, KEY_READ,
                            nullptr, &base.Handle, nullptr);
  if (rc != ERROR_SUCCESS) {
    ReportStorageFailure(L"LoadList", FAutoSaveName, rc);
    return false;
  }
  TRegKey items;
  rc = RegOpenKeyExW(base.Handle, FAutoSaveKey.c_str(), 0, KEY_READ, &items.Handle);
  if (rc == ERROR_FILE_NOT_FOUND) return true;  // nothing stored yet
  if (rc != ERROR_SUCCESS) {
    ReportStorageFailure(L"LoadList", FAutoSaveKey, rc);
    return false;
  }
  std::vector<std::pair<std::wstring, std::wstring>> pairs;
  std::vector<wchar_t> valueName(16384);
  std::vector<BYTE> data;
  for (DWORD index = 0; index < MaxStoredValues; ++index) {
    DWORD nameLength = static_cast<DWORD>(valueName.size());
    DWORD type = 0;
    DWORD size = 0;
    rc = RegEnumValueW(items.Handle, index, valueName.data(), &nameLength, nullptr, &type, nullptr, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) {
      ReportStorageFailure(L"LoadList", FAutoSaveKey, rc);
      return false;
    }
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > MaxStoredChars * sizeof(wchar_t)) continue;
    std::wstring name(valueName.data(), nameLength);
    data.assign(size + sizeof(wchar_t), 0);
    DWORD read = size;
    if (RegQueryValueExW(items.Handle, name.c_str(), nullptr, &type, data.data(), &read) != ERROR_SUCCESS ||
        read > size)
      continue;
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), read / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    pairs.emplace_back(std::move(name), std::move(text));
  }
  Names = InEntryOrder(std::move(pairs));
  return true;
}

bool TMRUFileList::SaveToRegistry() const {
  TRegKey base;
  LONG rc = RegCreateKeyExW(FAutoSaveRootKey, RelativeKeyPath(FAutoSaveName).c_str(), 0, nullptr, 0,
                            KEY_READ | KEY_WRITE, nullptr, &base.Handle, nullptr);
  if (rc != ERROR_SUCCESS) {
    ReportStorageFailure(L"SaveList", FAutoSaveName, rc);
    return false;
  }
  // The old entries go first, so that a shorter list leaves none behind.
  RegDeleteTreeW(base.Handle, FAutoSaveKey.c_str());
  RegDeleteKeyW(base.Handle, FAutoSaveKey.c_str());
  TRegKey items;
  rc = RegCreateKeyExW(base.Handle, FAutoSaveKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &items.Handle,
                       nullptr);
  if (rc != ERROR_SUCCESS) {
    ReportStorageFailure(L"SaveList", FAutoSaveKey, rc);
    return false;
  }
  for (size_t i = 0; i < FItems.size(); ++i) {
    const std::wstring name = L"F" + std::to_wstring(i);
    rc = RegSetValueExW(items.Handle, name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(FItems[i].c_str()),
                        static_cast<DWORD>((FItems[i].size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS) {
      ReportStorageFailure(L"SaveList", name, rc);
      return false;
    }
  }
  return true;
}

bool TMRUFileList::LoadFromIni(std::vector<std::wstring>& Names) const {
  // The section comes back as "key=value\0...\0\0"; a full buffer answers
  // size - 2, so grow it until the section fits (bounded).
  std::vector<wchar_t> buffer(4096);
  DWORD got = 0;
  for (;;) {
    got = GetPrivateProfileSectionW(FAutoSaveKey.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                    FAutoSaveName.c_str());
    if (got + 2 < buffer.size() || buffer.size() >= MaxStoredValues * MaxStoredChars / 16) break;
    buffer.resize(buffer.size() * 4);
  }
  got = std::min<DWORD>(got, static_cast<DWORD>(buffer.size()));
  std::vector<std::pair<std::wstring, std::wstring>> pairs;
  const wchar_t* p = buffer.data();
  const wchar_t* end = buffer.data() + got;
  while (p < end && *p && pairs.size() < MaxStoredValues) {
    std::wstring line(p);
    p += line.size() + 1;
    // A stored file name may itself contain "=": the key ends at the first one.
    size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) continue;
    pairs.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  Names = InEntryOrder(std::move(pairs));
  return true;
}

bool TMRUFileList::SaveToIni() const {
  if (!WritePrivateProfileStringW(FAutoSaveKey.c_str(), nullptr, nullptr, FAutoSaveName.c_str())) {
    // Erasing a section of a file that does not exist yet is no failure.
    if (GetFileAttributesW(FAutoSaveName.c_str()) != INVALID_FILE_ATTRIBUTES) {
      ReportStorageFailure(L"SaveList", FAutoSaveName, static_cast<LONG>(GetLastError()));
      return false;
    }
  }
  for (size_t i = 0; i < FItems.size(); ++i) {
    const std::wstring name = L"F" + std::to_wstring(i);
    if (!WritePrivateProfileStringW(FAutoSaveKey.c_str(), name.c_str(), FItems[i].c_str(),
                                    FAutoSaveName.c_str())) {
      ReportStorageFailure(L"SaveList", FAutoSaveName, static_cast<LONG>(GetLastError()));
      return false;
    }
  }
  // The profile functions may keep the file in memory and answer success
  // before it is written: flush it, and count the save only when the file
  // is there.
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, FAutoSaveName.c_str());
  const DWORD attributes = GetFileAttributesW(FAutoSaveName.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ReportStorageFailure(L"SaveList", FAutoSaveName, static_cast<LONG>(ERROR_WRITE_FAULT));
    return false;
  }
  return true;
}
