#include "forms/VersionInfoResource.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "picture/DetailFrame.h"  // ControlModule

namespace {

const wchar_t* const PreDefKeys[PreDefCount] = {
    L"CompanyName",    L"FileDescription", L"FileVersion",      L"InternalName",
    L"LegalCopyright", L"LegalTrademarks", L"OriginalFilename", L"ProductName",
    L"ProductVersion", L"Comments",        L"BuildFlags",
};

// The order of the list view's rows.
const TPreDef ListOrder[] = {pdProductName,      pdProductVersion,  pdCompanyName, pdLegalCopyright,
                             pdLegalTrademarks,  pdFileDescription, pdFileVersion, pdInternalName,
                             pdOriginalFilename, pdBuildFlags,      pdComments};

const wchar_t* const FileFlagNames[] = {L"Debug",       L"Info Inferred", L"Patched",
                                        L"Pre-Release", L"Private",       L"Special"};
// The stored flag behind each named bit.
const DWORD FileFlagValues[] = {VS_FF_DEBUG,      VS_FF_INFOINFERRED, VS_FF_PATCHED,
                                VS_FF_PRERELEASE, VS_FF_PRIVATEBUILD, VS_FF_SPECIALBUILD};

void SetText(HWND Window, const std::wstring& Text) {
  // A window that went without its owner telling us is left alone.
  if (Window && IsWindow(Window)) SetWindowTextW(Window, Text.c_str());
}

}  // namespace

const wchar_t* PreDefKey(TPreDef Index) {
  return Index >= 0 && Index < PreDefCount ? PreDefKeys[Index] : L"";
}

std::wstring ModuleFileName(HMODULE Module) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(Module, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return std::wstring();
    // A name that fills the buffer may have been cut: ask again with more room.
    if (length < name.size()) {
      name.resize(length);
      return name;
    }
    if (name.size() >= 0x8000) return std::wstring();
    name.resize(name.size() * 2);
  }
}

TFileFlags TFixedFileVersionInfo::FileFlagsSet() const {
  TFileFlags flags;
  if (!FRecord) return flags;
  for (size_t bit = 0; bit < flags.size(); ++bit)
    if (FRecord->dwFileFlags & FileFlagValues[bit]) flags.set(bit);
  return flags;
}

uint16_t TVersionNumberInformation::Part(int Index) const {
  switch (Index) {
    case 0:
      return static_cast<uint16_t>(FMS >> 16);
    case 1:
      return static_cast<uint16_t>(FMS);
    case 2:
      return static_cast<uint16_t>(FLS >> 16);
    case 3:
      return static_cast<uint16_t>(FLS);
    default:
      return 0;
  }
}

std::wstring TVersionNumberInformation::AsText() const {
  if (!FValid) return std::wstring();
  wchar_t text[32];
  std::swprintf(text, 32, L"%d.%d.%d.%d", Part(0), Part(1), Part(2), Part(3));
  return text;
}

TVersionInfoResource::TVersionInfoResource() { Loaded(); }

TVersionInfoResource::~TVersionInfoResource() = default;

void TVersionInfoResource::Loaded() { Reload(); }

void TVersionInfoResource::SetFilename(const std::wstring& Value) {
  FFilename = Value;
  Reload();
}

void TVersionInfoResource::SetForceEXE(bool Value) {
  if (Value == FForceEXE) return;
  FForceEXE = Value;
  Reload();
}

void TVersionInfoResource::LinkLabel(HWND& Link, HWND Value, TPreDef Shown) {
  Link = Value;
  if (Value) {
    FShowResource.reset(Shown);
    UpdateTargets();
  }
}

void TVersionInfoResource::SetVersionLabel(HWND Value) { LinkLabel(FVersionLabel, Value, pdFileVersion); }

void TVersionInfoResource::SetCopyrightLabel(HWND Value) {
  LinkLabel(FCopyrightLabel, Value, pdLegalCopyright);
}

void TVersionInfoResource::SetProductLabel(HWND Value) { LinkLabel(FProductLabel, Value, pdProductName); }

void TVersionInfoResource::SetDescriptionLabel(HWND Value) {
  LinkLabel(FDescriptionLabel, Value, pdFileDescription);
}

void TVersionInfoResource::SetVersionListView(HWND Value) {
  FVersionListView = Value;
  if (Value) UpdateTargets();
}

void TVersionInfoResource::SetShowResource(TPreDefs Value) {
  if (Value == FShowResource) return;
  FShowResource = Value;
  UpdateTargets();
}

void TVersionInfoResource::Notification(HWND Window) {
  if (!Window) return;
  for (HWND* link : {&FVersionLabel, &FVersionListView, &FDescriptionLabel, &FCopyrightLabel, &FProductLabel})
    if (*link == Window) *link = nullptr;
}

std::wstring TVersionInfoResource::GetModuleName() {
  if (!FFilename.empty()) return FFilename;
  const HMODULE own = ControlModule();
  const bool inLibrary = own != GetModuleHandleW(nullptr);
  return ModuleFileName(FForceEXE || !inLibrary ? nullptr : own);
}

std::wstring TVersionInfoResource::GetInfoString(int Index) {
  if (Index < 0 || Index >= PreDefCount) return std::wstring();
  return QueryString(PreDefKeys[Index]);
}

std::wstring TVersionInfoResource::QueryString(const std::wstring& Key) {
  if (FBlock.empty()) return std::wstring();
  const std::wstring translation =
      FTranslationIndex < FTranslations.size() ? FTranslations[FTranslationIndex] : std::wstring();
  const std::wstring path = L"\\StringFileInfo\\" + translation + L"\\" + Key;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(FBlock.data(), path.c_str(), &value, &length) || !value) return std::wstring();
  // The length counts characters; it is cut to what is left of the block.
  const auto* text = static_cast<const wchar_t*>(value);
  const auto* start = reinterpret_cast<const uint8_t*>(text);
  const uint8_t* end = FBlock.data() + FBlock.size();
  if (start < FBlock.data() || start >= end) return std::wstring();
  const size_t room = static_cast<size_t>(end - start) / sizeof(wchar_t);
  size_t count = std::min<size_t>(length, room);
  for (size_t i = 0; i < count; ++i)
    if (text[i] == L'\0') {
      count = i;
      break;
    }
  return std::wstring(text, count);
}

void TVersionInfoResource::Reload() {
  FTranslations.clear();
  FFixedInfo.SetRecord(nullptr);
  FBlock.clear();
  FBlock.shrink_to_fit();

  const std::wstring name = GetModuleName();
  DWORD handle = 0;
  const DWORD size = name.empty() ? 0 : GetFileVersionInfoSizeW(name.c_str(), &handle);
  std::vector<uint8_t> block(size);
  if (size == 0 || !GetFileVersionInfoW(name.c_str(), 0, size, block.data())) {
    FFileVersion.Set(false, 0, 0);
    FProductVersion.Set(false, 0, 0);
  } else {
    FBlock.swap(block);
    const uint8_t* end = FBlock.data() + FBlock.size();
    auto inside = [&](const void* value, UINT length) {
      const auto* start = static_cast<const uint8_t*>(value);
      return start >= FBlock.data() && start <= end && length <= static_cast<size_t>(end - start);
    };
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(FBlock.data(), L"\\", &value, &length) && value &&
        length >= sizeof(VS_FIXEDFILEINFO) && inside(value, sizeof(VS_FIXEDFILEINFO)))
      FFixedInfo.SetRecord(static_cast<const VS_FIXEDFILEINFO*>(value));
    value = nullptr;
    length = 0;
    if (VerQueryValueW(FBlock.data(), L"\\VarFileInfo\\Translation", &value, &length) && value &&
        inside(value, length)) {
      const auto* pairs = static_cast<const uint8_t*>(value);
      for (UINT i = 0; i + 4 <= length; i += 4) {
        const unsigned language = pairs[i] | pairs[i + 1] << 8;
        const unsigned codePage = pairs[i + 2] | pairs[i + 3] << 8;
        wchar_t text[16];
        std::swprintf(text, 16, L"%.4x%.4x", language, codePage);
        FTranslations.push_back(text);
      }
    }
    FFileVersion.Set(true, FFixedInfo.FileVersionMS(), FFixedInfo.FileVersionLS());
    FProductVersion.Set(true, FFixedInfo.ProductVersionMS(), FFixedInfo.ProductVersionLS());
  }
  if (FTranslationIndex >= FTranslations.size()) FTranslationIndex = 0;
  UpdateTargets();
}

void TVersionInfoResource::UpdateTargets() {
  if (FVersionLabel) SetText(FVersionLabel, FFileVersion.AsText());
  if (FCopyrightLabel) SetText(FCopyrightLabel, GetInfoString(pdLegalCopyright));
  if (FProductLabel) SetText(FProductLabel, GetInfoString(pdProductName));
  if (FDescriptionLabel) SetText(FDescriptionLabel, GetInfoString(pdFileDescription));
  if (FVersionListView && IsWindow(FVersionListView)) FillListView();
}

std::wstring TVersionInfoResource::GetBuildFlagsText() {
  const TFileFlags flags = FFixedInfo.FileFlagsSet();
  std::wstring text;
  for (size_t bit = 0; bit < flags.size(); ++bit)
    if (flags.test(bit)) text += (text.empty() ? L"" : L", ") + std::wstring(FileFlagNames[bit]);
  return text;
}

std::wstring TVersionInfoResource::RowText(TPreDef Index) {
  switch (Index) {
    case pdProductVersion:
      return FProductVersion.AsText();
    case pdFileVersion:
      return FFileVersion.AsText();
    case pdBuildFlags:
      return GetBuildFlagsText();
    default:
      return GetInfoString(Index);
  }
}

void TVersionInfoResource::FillListView() {
  HWND view = FVersionListView;
  if (!view || !IsWindow(view)) return;
  SendMessageW(view, LVM_DELETEALLITEMS, 0, 0);
  while (SendMessageW(view, LVM_DELETECOLUMN, 0, 0)) {
  }
  // Report style, no editing, headers that cannot be clicked.
  LONG_PTR style = GetWindowLongPtrW(view, GWL_STYLE);
  style = (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK | LVS_EDITLABELS)) | LVS_REPORT | LVS_NOSORTHEADER;
  SetWindowLongPtrW(view, GWL_STYLE, style);

  const wchar_t* const headers[] = {L"名称", L"描述"};
  for (int column = 0; column < 2; ++column) {
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT | LVCF_SUBITEM;
    info.pszText = const_cast<wchar_t*>(headers[column]);
    info.iSubItem = column;
    SendMessageW(view, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
  }
  int row = 0;
  for (TPreDef index : ListOrder) {
    if (!FShowResource.test(index)) continue;
    const std::wstring text = RowText(index);
    if (text.empty()) continue;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(PreDefKeys[index]);
    const int at = static_cast<int>(SendMessageW(view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) continue;
    item.iItem = at;
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(view, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&item));
    ++row;
  }
  for (int column = 0; column < 2; ++column)
    SendMessageW(view, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
}
