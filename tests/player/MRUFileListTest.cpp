#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "MRUFileList.h"

namespace {

using Names = std::vector<std::wstring>;

// One pixel per character makes every shortening step predictable.
int CharWidth(const std::wstring& text) { return static_cast<int>(text.size()); }

std::wstring MenuText(HMENU menu, int position) {
  wchar_t text[512] = {};
  GetMenuStringW(menu, position, text, 512, MF_BYPOSITION);
  return text;
}

bool IsSeparator(HMENU menu, int position) {
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE;
  return GetMenuItemInfoW(menu, position, TRUE, &info) && (info.fType & MFT_SEPARATOR);
}

// A menu bar with "File" (Open, Exit) and "Control" (Play), as the program has.
struct TestMenu {
  HMENU Bar = CreateMenu();
  HMENU File = CreatePopupMenu();
  HMENU Control = CreatePopupMenu();
  TestMenu() {
    AppendMenuW(File, MF_STRING, 1, L"Open");
    AppendMenuW(File, MF_STRING, 2, L"Exit");
    AppendMenuW(Control, MF_STRING, 3, L"Play");
    AppendMenuW(Bar, MF_POPUP, reinterpret_cast<UINT_PTR>(File), L"File");
    AppendMenuW(Bar, MF_POPUP, reinterpret_cast<UINT_PTR>(Control), L"Control");
  }
  ~TestMenu() { DestroyMenu(Bar); }
};

// Without storage: the tests that store name their own key.
struct ListFixture {
  TestMenu Menu;
  TMRUFileList List;
  explicit ListFixture(BYTE maximum = 10) {
    List.SetAutoSave(false);
    List.SetTextWidth(CharWidth);
    List.SetMaxCaptionWidth(0);
    List.SetMaximum(maximum);
    List.SetFileMenu(Menu.Bar, 0);
  }
  // The entries' captions as the File menu shows them, after its separator.
  Names Captions() const {
    Names captions;
    int count = GetMenuItemCount(Menu.File);
    EXPECT_GE(count, 2);
    if (count == 2) return captions;
    EXPECT_TRUE(IsSeparator(Menu.File, 2));
    for (int i = 3; i < count; ++i) captions.push_back(MenuText(Menu.File, i));
    return captions;
  }
};

struct ListCase {
  const char* Name;
  BYTE Maximum;
  std::function<void(TMRUFileList&)> Steps;
  Names Expected;  // the list, in display order
};

TEST(MRUFileList, AddPromoteAndCutFollowTheMaximum) {
  const ListCase cases[] = {
      {"newest first, cut to the maximum",
       3,
       [](TMRUFileList& l) {
         for (auto n : {L"A", L"B", L"C", L"D"}) l.AddItem(n);
       },
       {L"D", L"C", L"B"}},
      {"a known name moves to the top without cutting",
       3,
       [](TMRUFileList& l) {
         for (auto n : {L"A", L"B", L"C", L"D", L"B"}) l.AddItem(n);
       },
       {L"B", L"D", L"C"}},
      {"promotion ignores case and keeps the first-stored case",
       10,
       [](TMRUFileList& l) {
         l.AddItem(L"C:\\Rec\\Lecture.krm");
         l.AddItem(L"C:\\Rec\\b.krm");
         l.AddItem(L"c:\\REC\\lecture.KRM");
       },
       {L"C:\\Rec\\Lecture.krm", L"C:\\Rec\\b.krm"}},
      {"lowering the maximum keeps the first names",
       10,
       [](TMRUFileList& l) {
         for (auto n : {L"A", L"B", L"C", L"D"}) l.AddItem(n);
         l.SetMaximum(2);
       },
       {L"D", L"C"}},
      {"raising the maximum keeps every name",
       2,
       [](TMRUFileList& l) {
         for (auto n : {L"A", L"B"}) l.AddItem(n);
         l.SetMaximum(5);
         l.AddItem(L"C");
       },
       {L"C", L"B", L"A"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ListFixture f(c.Maximum);
    c.Steps(f.List);
    EXPECT_EQ(f.List.Items(), c.Expected);
    Names captions;
    for (size_t i = 0; i < c.Expected.size(); ++i)
      captions.push_back(L"&" + std::to_wstring(i + 1) + L" " + c.Expected[i]);
    EXPECT_EQ(f.Captions(), captions);
  }
}

TEST(MRUFileList, EntriesGoWhereTheFileMenuSays) {
  {
    SCOPED_TRACE("an empty list shows no separator");
    ListFixture f;
    EXPECT_EQ(GetMenuItemCount(f.Menu.File), 2);
  }
  {
    SCOPED_TRACE("without separator, in a submenu");
    ListFixture f;
    f.List.SetInsertSeparator(false);
    f.List.SetUseSubmenu(true);
    f.List.AddItem(L"A");
    f.List.AddItem(L"B");
    ASSERT_EQ(GetMenuItemCount(f.Menu.File), 3);
    EXPECT_EQ(MenuText(f.Menu.File, 2), L"Reopen");
    HMENU sub = GetSubMenu(f.Menu.File, 2);
    ASSERT_NE(sub, nullptr);
    ASSERT_EQ(GetMenuItemCount(sub), 2);
    EXPECT_EQ(MenuText(sub, 0), L"&1 B");
    EXPECT_EQ(MenuText(sub, 1), L"&2 A");
    f.List.SetUseSubmenu(false);  // the submenu goes with its entries
    EXPECT_EQ(GetMenuItemCount(f.Menu.File), 4);
    EXPECT_EQ(MenuText(f.Menu.File, 2), L"&1 B");
  }
  {
    SCOPED_TRACE("a file item without sub-items: in front of it in its parent");
    ListFixture f;
    f.List.SetFileMenu(f.Menu.Control, 0);  // "Play"
    EXPECT_EQ(GetMenuItemCount(f.Menu.File), 2);
    f.List.AddItem(L"A");
    ASSERT_EQ(GetMenuItemCount(f.Menu.Control), 3);
    EXPECT_TRUE(IsSeparator(f.Menu.Control, 0));
    EXPECT_EQ(MenuText(f.Menu.Control, 1), L"&1 A");
    EXPECT_EQ(MenuText(f.Menu.Control, 2), L"Play");
    f.List.AddItem(L"B");  // the rebuild finds "Play" again behind the old entries
    EXPECT_EQ(GetMenuItemCount(f.Menu.Control), 4);
    EXPECT_EQ(MenuText(f.Menu.Control, 3), L"Play");
  }
  {
    SCOPED_TRACE("captions are shortened to the width, numbers above 9 written in full");
    ListFixture f(12);
    f.List.SetMaxCaptionWidth(13);
    for (int i = 0; i < 10; ++i) f.List.AddItem(L"C:\\Folder\\file" + std::to_wstring(i) + L".krm");
    Names captions = f.Captions();
    ASSERT_EQ(captions.size(), 10u);
    EXPECT_EQ(captions[0], L"&1 ...\\file9.krm");
    EXPECT_EQ(captions[9], L"&10 ...\\file0.krm");
    EXPECT_EQ(f.List.MenuItems().back().FullCaption, L"&10 C:\\Folder\\file0.krm");
  }
}

TEST(MRUFileList, ClickReportsTheNameAndRemovesOnlyWhenAsked) {
  for (bool remove : {false, true}) {
    SCOPED_TRACE(remove ? "RemoveOnClick" : "keep on click");
    ListFixture f;
    f.List.SetRemoveOnClick(remove);
    std::vector<std::wstring> clicked;
    f.List.SetOnMRUItemClick([&](TMRUFileList* sender, const std::wstring& name) {
      EXPECT_EQ(sender, &f.List);
      clicked.push_back(name);
    });
    f.List.AddItem(L"A");
    f.List.AddItem(L"B");
    const UINT second = GetMenuItemID(f.Menu.File, 4);  // "&2 A"
    EXPECT_TRUE(f.List.HandleCommand(second));
    EXPECT_FALSE(f.List.HandleCommand(1));  // "Open" is not an entry
    EXPECT_EQ(clicked, Names{L"A"});
    EXPECT_EQ(f.List.Items(), remove ? Names{L"B"} : (Names{L"B", L"A"}));
    EXPECT_EQ(f.Captions().size(), f.List.Items().size());
  }
}

TEST(MRUFileList, ShortenPathToWidthStepsDownToTheFileName) {
  struct Case {
    const wchar_t* Name;
    int Width;
    const wchar_t* Expected;
  };
  const Case cases[] = {
      {L"C:\\One\\Two\\Three\\file.krm", 100, L"C:\\One\\Two\\Three\\file.krm"},
      {L"C:\\One\\Two\\Three\\file.krm", 25, L"C:\\One\\Two\\Three\\file.krm"},
      // "\One\" gives way to "\...\" of the same width, so the next step follows at once.
      {L"C:\\One\\Two\\Three\\file.krm", 24, L"C:\\...\\Three\\file.krm"},
      {L"C:\\One\\Two\\Three\\file.krm", 18, L"C:\\...\\file.krm"},
      {L"C:\\One\\Two\\Three\\file.krm", 14, L"...\\file.krm"},
      {L"C:\\One\\Two\\Three\\file.krm", 11, L"file.krm"},
      {L"C:\\One\\Two\\Three\\file.krm", 1, L"file.krm"},  // too wide, but the last resort
      {L"\\\\server\\share\\file.krm", 16, L"\\...\\file.krm"},
      {L"One\\Two\\file.krm", 14, L"...\\file.krm"},
      {L"C:file.krm", 5, L"C:file.krm"},                            // no folder part, so no drive part either
      {L"file-without-folder.krm", 3, L"file-without-folder.krm"},  // never shortened
      {L"", 0, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "width " << c.Width);
    EXPECT_EQ(ShortenPathToWidth(c.Name, CharWidth, c.Width), c.Expected);
  }
  // The menu font measures too: a long path gets narrower, never wider.
  const std::wstring name = L"C:\\A rather long folder name\\Another long folder\\lecture.krm";
  const std::wstring shortened = ShortenPathToWidth(name, MenuTextWidth, 150);
  EXPECT_LT(shortened.size(), name.size());
  EXPECT_GT(MenuTextWidth(name), 150);
  EXPECT_LE(MenuTextWidth(shortened), std::max(150, MenuTextWidth(L"lecture.krm")));
}

TEST(MRUFileList, RootKeyPropertyMapsBackAndOutsideValuesReadAsCurrentUser) {
  TMRUFileList list;
  list.SetAutoSave(false);
  EXPECT_EQ(list.AutoSaveRootKey(), rkCurrentUser);
  for (TRootKey key : {rkClassesRoot, rkLocalMachine, rkUsers, rkCurrentConfig, rkDynData, rkCurrentUser}) {
    list.SetAutoSaveRootKey(key);
    EXPECT_EQ(list.AutoSaveRootKey(), key);
  }
}

}  // namespace
