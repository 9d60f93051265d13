#pragma once
// Reads the version block of a module (the library's own by default) and
// writes its values into linked windows: static controls for the version,
// copyright, product and description, and a list view with one row per
// value. Non-visual; its owner tells it when a linked window goes away.
//
// Every value is cut to the length the version functions answer for it,
// so a damaged block is never read past its end.
#include <windows.h>

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The predefined values, in the order of their indexes.
enum TPreDef {
  pdCompanyName,
  pdFileDescription,
  pdFileVersion,
  pdInternalName,
  pdLegalCopyright,
  pdLegalTrademarks,
  pdOriginalFilename,
  pdProductName,
  pdProductVersion,
  pdComments,
  pdBuildFlags,
};
constexpr int PreDefCount = pdBuildFlags + 1;
using TPreDefs = std::bitset<PreDefCount>;
// The key name of a predefined value ("CompanyName" ...).
const wchar_t* PreDefKey(TPreDef Index);

// The file flags in the order their names are listed.
enum TFileFlag { ffDebug, ffInfoInferred, ffPatched, ffPreRelease, ffPrivateBuild, ffSpecialBuild };
using TFileFlags = std::bitset<ffSpecialBuild + 1>;

// The whole file name of a module, however long.
std::wstring ModuleFileName(HMODULE Module);

// The fixed-information record of a block, or none: every word reads 0.
class TFixedFileVersionInfo {
 public:
  void SetRecord(const VS_FIXEDFILEINFO* Record) { FRecord = Record; }
  bool HasRecord() const { return FRecord != nullptr; }
  uint32_t FileVersionMS() const { return FRecord ? FRecord->dwFileVersionMS : 0; }
  uint32_t FileVersionLS() const { return FRecord ? FRecord->dwFileVersionLS : 0; }
  uint32_t ProductVersionMS() const { return FRecord ? FRecord->dwProductVersionMS : 0; }
  uint32_t ProductVersionLS() const { return FRecord ? FRecord->dwProductVersionLS : 0; }
  // The stored flags, unmasked, as the six named bits.
  TFileFlags FileFlagsSet() const;

 private:
  const VS_FIXEDFILEINFO* FRecord = nullptr;
};

class TVersionNumberInformation {
 public:
  void Set(bool Valid, uint32_t MS, uint32_t LS) {
    FValid = Valid;
    FMS = MS;
    FLS = LS;
  }
  bool Valid() const { return FValid; }
  // Part 0 is the high word of MS, part 3 the low word of LS.
  uint16_t Part(int Index) const;
  // "a.b.c.d", or empty when not valid.
  std::wstring AsText() const;

 private:
  bool FValid = false;
  uint32_t FMS = 0;
  uint32_t FLS = 0;
};

class TVersionInfoResource {
 public:
  // Reads the block of the module GetModuleName names.
  TVersionInfoResource();
  virtual ~TVersionInfoResource();
  TVersionInfoResource(const TVersionInfoResource&) = delete;
  TVersionInfoResource& operator=(const TVersionInfoResource&) = delete;

  const std::wstring& Filename() const { return FFilename; }
  void SetFilename(const std::wstring& Value);
  bool ForceEXE() const { return FForceEXE; }
  void SetForceEXE(bool Value);

  std::wstring CompanyName() { return GetInfoString(pdCompanyName); }
  std::wstring FileDescription() { return GetInfoString(pdFileDescription); }
  std::wstring InternalName() { return GetInfoString(pdInternalName); }
  std::wstring LegalCopyright() { return GetInfoString(pdLegalCopyright); }
  std::wstring LegalTrademarks() { return GetInfoString(pdLegalTrademarks); }
  std::wstring OriginalFilename() { return GetInfoString(pdOriginalFilename); }
  std::wstring ProductName() { return GetInfoString(pdProductName); }
  std::wstring Comments() { return GetInfoString(pdComments); }

  const TVersionNumberInformation& FileVersion() const { return FFileVersion; }
  const TVersionNumberInformation& ProductVersion() const { return FProductVersion; }
  const TFixedFileVersionInfo& FixedInfo() const { return FFixedInfo; }
  // "llllcccc" in lower-case hexadecimal, one per language and code page.
  const std::vector<std::wstring>& Translations() const { return FTranslations; }

  HWND VersionLabel() const { return FVersionLabel; }
  void SetVersionLabel(HWND Value);
  HWND VersionListView() const { return FVersionListView; }
  void SetVersionListView(HWND Value);
  HWND DescriptionLabel() const { return FDescriptionLabel; }
  void SetDescriptionLabel(HWND Value);
  HWND CopyrightLabel() const { return FCopyrightLabel; }
  void SetCopyrightLabel(HWND Value);
  HWND ProductLabel() const { return FProductLabel; }
  void SetProductLabel(HWND Value);
  TPreDefs ShowResource() const { return FShowResource; }
  void SetShowResource(TPreDefs Value);

  // Values 0..10 by their key names; any other index is empty.
  std::wstring GetInfoString(int Index);
  // The string of the current translation, or empty when there is none.
  std::wstring QueryString(const std::wstring& Key);

  // The owner's word that a window is going away: a link to it is dropped.
  void Notification(HWND Window);

  virtual std::wstring GetModuleName();
  virtual void UpdateTargets();
  virtual std::wstring GetBuildFlagsText();
  virtual void FillListView();
  virtual void Reload();

 private:
  // The end of construction: the block is read.
  void Loaded();
  // A label is linked: its value need not be listed again.
  void LinkLabel(HWND& Link, HWND Value, TPreDef Shown);
  // The text a list-view row of the index shows.
  std::wstring RowText(TPreDef Index);

  std::wstring FFilename;
  bool FForceEXE = false;
  std::vector<uint8_t> FBlock;
  std::vector<std::wstring> FTranslations;
  size_t FTranslationIndex = 0;
  TFixedFileVersionInfo FFixedInfo;
  TVersionNumberInformation FFileVersion;
  TVersionNumberInformation FProductVersion;
  HWND FVersionLabel = nullptr;
  HWND FVersionListView = nullptr;
  HWND FDescriptionLabel = nullptr;
  HWND FCopyrightLabel = nullptr;
  HWND FProductLabel = nullptr;
  TPreDefs FShowResource = TPreDefs().set();
};
