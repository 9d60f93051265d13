#pragma once
// The recent-files list: numbered entries in a menu, a click event, and the
// list kept in the registry (or an INI file) between runs.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

enum TRootKey { rkClassesRoot, rkCurrentUser, rkLocalMachine, rkUsers, rkCurrentConfig, rkDynData };

class TMRUFileList;
using TMRUClick = std::function<void(TMRUFileList* Sender, const std::wstring& AFilename)>;
// Width in pixels of a text as it would be drawn.
using TTextWidth = std::function<int(const std::wstring&)>;

// Shortens a path until it is at most MaxWidth wide: first the drive and the
// leading folders give way to "...\", then the drive and the folders; the
// bare file name is the last resort, used even when it is still too wide.
std::wstring ShortenPathToWidth(const std::wstring& Name, const TTextWidth& Width, int MaxWidth);

// The width of a text in the system's menu font, measured on the one
// measuring canvas of the process.
int MenuTextWidth(const std::wstring& Text);

// One item that the list put into a menu (the separator, the submenu item
// or an entry), so that the list finds its own items again.
struct TMRUMenuItem {
  BYTE EntryNumber = 0;      // 1-based entry number; 0: separator or submenu item
  UINT CommandId = 0;        // WM_COMMAND identifier of an entry
  std::wstring FullCaption;  // "&" + number + " " + the whole name
  std::wstring Caption;      // the caption shown, with the name shortened
};

class TMRUFileList {
 public:
  // Entries get the command identifiers FirstCommandId + 0 .. + 254; the
  // owner's window routes WM_COMMAND to HandleCommand.
  explicit TMRUFileList(UINT FirstCommandId = 0xE000);
  // Saves the list when AutoSave is set; the menu items stay with the menu.
  virtual ~TMRUFileList();
  TMRUFileList(const TMRUFileList&) = delete;
  TMRUFileList& operator=(const TMRUFileList&) = delete;

  // Called by the owner once its properties are set: loads the stored list
  // when AutoSave is set.
  void Loaded();

  void AddItem(const std::wstring& Name);
  virtual void Rebuild();
  void RemoveItems();
  // The click of the entry with this command identifier.
  void ItemClick(UINT CommandId);
  // True when the command identifier is one of this list's entries (and the
  // click has then been handled).
  bool HandleCommand(UINT CommandId);
  // Storage failures never escape: a store that cannot be read loads an
  // empty list, one that cannot be written is reported to the debugger
  // output. Results: True when a store was named and the transfer worked.
  bool LoadList();
  bool SaveList();

  const std::vector<std::wstring>& Items() const { return FItems; }
  const std::vector<TMRUMenuItem>& MenuItems() const { return FMenuItems; }

  BYTE Maximum() const { return FMaximum; }
  void SetMaximum(BYTE Value);
  bool RemoveOnClick() const { return FRemoveOnClick; }
  void SetRemoveOnClick(bool Value) { FRemoveOnClick = Value; }
  bool UseSubmenu() const { return FUseSubmenu; }
  void SetUseSubmenu(bool Value);
  bool InsertSeparator() const { return FInsertSeparator; }
  void SetInsertSeparator(bool Value);
  const std::wstring& SubmenuName() const { return FSubmenuName; }
  void SetSubmenuName(const std::wstring& Value);
  void SetOnMRUItemClick(TMRUClick Value) { FOnMRUItemClick = std::move(Value); }
  // The menu item at Position of ParentMenu: with sub-items the entries go to
  // their end, otherwise into ParentMenu in front of that item. A null
  // ParentMenu detaches the list from its menu.
  void SetFileMenu(HMENU ParentMenu, int Position);
  bool AutoSave() const { return FAutoSave; }
  void SetAutoSave(bool Value) { FAutoSave = Value; }
  const std::wstring& AutoSaveName() const { return FAutoSaveName; }
  void SetAutoSaveName(const std::wstring& Value) { FAutoSaveName = Value; }
  const std::wstring& AutoSaveKey() const { return FAutoSaveKey; }
  void SetAutoSaveKey(const std::wstring& Value) { FAutoSaveKey = Value; }
  TRootKey AutoSaveRootKey() const;
  void SetAutoSaveRootKey(TRootKey Value);
  int MaxCaptionWidth() const { return FMaxCaptionWidth; }
  void SetMaxCaptionWidth(int Value);
  bool UseRegistry() const { return FUseRegistry; }
  void SetUseRegistry(bool Value) { FUseRegistry = Value; }
  // The measure of caption widths; the menu font's by default.
  void SetTextWidth(TTextWidth Value) { FTextWidth = std::move(Value); }

 private:
  // Where the entries go: the menu and the position of the first item.
  bool Target(HMENU& Menu, int& Position) const;
  bool IsOwnItem(HMENU Menu, int Position) const;
  void InsertItem(HMENU Menu, int Position, UINT Flags, UINT_PTR Id, const std::wstring& Caption);
  bool LoadFromRegistry(std::vector<std::wstring>& Names) const;
  bool SaveToRegistry() const;
  bool LoadFromIni(std::vector<std::wstring>& Names) const;
  bool SaveToIni() const;

  UINT FFirstCommandId;
  std::vector<std::wstring> FItems;
  std::vector<TMRUMenuItem> FMenuItems;
  BYTE FMaximum = 5;
  bool FRemoveOnClick = true;
  bool FUseSubmenu = false;
  bool FInsertSeparator = true;
  std::wstring FSubmenuName = L"Reopen";
  TMRUClick FOnMRUItemClick;
  HMENU FParentMenu = nullptr;
  HMENU FFileSubMenu = nullptr;  // the file item's own popup, when it has one
  UINT FFileItemId = 0;          // otherwise its command identifier
  bool FAutoSave = true;
  std::wstring FAutoSaveName = L"\\Software\\My Application";
  std::wstring FAutoSaveKey = L"MRU Items";
  HKEY FAutoSaveRootKey = HKEY_CURRENT_USER;
  int FMaxCaptionWidth = 200;
  bool FUseRegistry = true;
  TTextWidth FTextWidth;
};
