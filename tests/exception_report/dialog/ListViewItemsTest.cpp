// The owner-drawn list rows on a real report-view list view in a shown
// top-level window: colours and bands read back from the screen, groups
// collapsed and expanded through item counts, the sign's hit area, wide and
// short rows, the image list's owner and rows freed out of the control.
// Takes a display; a screenshot goes to artifacts/.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PumpUntil.h"
#include "WindowShot.h"
#include "dialog/DialogResources.h"
#include "dialog/ListViewItems.h"

using namespace RevavaRez;

namespace {

constexpr COLORREF kDarkRed = RGB(128, 0, 0);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kGrey = RGB(96, 96, 96);
constexpr COLORREF kBand = RGB(123, 164, 224);
constexpr COLORREF kRowLine = RGB(206, 203, 194);

TListViewItems* DrawingRows = nullptr;
// The rectangle each item was last drawn in, as the control gave it.
std::map<UINT, RECT> DrawnRects;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_DRAWITEM && DrawingRows) {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      DrawnRects[item.itemID] = item.rcItem;
      return DrawingRows->DrawListItem(item) ? TRUE : FALSE;
    }
  } catch (...) {
    ADD_FAILURE() << "drawing a row raised";
    return TRUE;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class ListViewItemsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA wc{};
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TListViewItemsTestHost";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassA(&wc);
    FHost = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            720, 400, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, FHost);
    FList = CreateWindowExA(0, WC_LISTVIEWA, "",
                            WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED, 0, 0, 720,
                            400, FHost, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, FList);
  }
  void TearDown() override {
    DrawingRows = nullptr;
    FRows.reset();
    if (FList) DestroyWindow(FList);
    DestroyWindow(FHost);
    PumpPending();
  }

  // Widths in pixels; formats as LVCFMT_*.
  void AddColumns(const std::vector<int>& widths, const std::vector<int>& formats = {}) {
    for (size_t i = 0; i < widths.size(); ++i) {
      std::string title = "Column " + std::to_string(i);
      LVCOLUMNA column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      column.fmt = i < formats.size() ? formats[i] : LVCFMT_LEFT;
      column.cx = widths[i];
      column.pszText = &title[0];
      SendMessageA(FList, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    FRows = std::make_unique<TListViewItems>(FList);
    DrawingRows = FRows.get();
  }

  int Items() const { return static_cast<int>(SendMessageA(FList, LVM_GETITEMCOUNT, 0, 0)); }

  // Where the item was drawn, as the instance was told.
  RECT ItemRect(int position) const {
    const auto drawn = DrawnRects.find(static_cast<UINT>(position));
    return drawn == DrawnRects.end() ? RECT{} : drawn->second;
  }
  // The item in the control's client coordinates, as a click lands.
  RECT ItemBounds(int position) const {
    RECT r{};
    r.left = LVIR_BOUNDS;
    SendMessageA(FList, LVM_GETITEMRECT, position, reinterpret_cast<LPARAM>(&r));
    return r;
  }

  // The control's rows in control order.
  std::vector<TListViewItemRec*> Shown() const {
    std::vector<TListViewItemRec*> rows;
    for (int i = 0; i < Items(); ++i) rows.push_back(FRows->RowOfItem(i));
    return rows;
  }

  // Paints the list and reads back what the screen shows of it.
  void Draw(const std::string& shot = {}) {
    DrawnRects.clear();
    InvalidateRect(FList, nullptr, TRUE);
    UpdateWindow(FList);
    PumpPending();
    if (!shot.empty()) CaptureWindow(FList, shot, FWidth, FHeight);
    HDC dc = GetDC(FList);
    RECT client{};
    GetClientRect(FList, &client);
    FWidth = client.right;
    FHeight = client.bottom;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, FWidth, FHeight);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, FWidth, FHeight, dc, 0, 0, SRCCOPY);
    FPixels.assign(size_t(FWidth) * FHeight, 0);
    for (int y = 0; y < FHeight; ++y)
      for (int x = 0; x < FWidth; ++x) FPixels[size_t(y) * FWidth + x] = GetPixel(memory, x, y);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(FList, dc);
  }

  COLORREF At(int x, int y) const {
    return x >= 0 && y >= 0 && x < FWidth && y < FHeight ? FPixels[size_t(y) * FWidth + x] : CLR_INVALID;
  }
  // How many pixels of the colour the rectangle holds (right and bottom
  // excluded).
  int CountIn(const RECT& r, COLORREF colour) const {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) count += At(x, y) == colour;
    return count;
  }
  // The first x of the row y with the colour, -1 without.
  int FirstX(int y, COLORREF colour) const {
    for (int x = 0; x < FWidth; ++x)
      if (At(x, y) == colour) return x;
    return -1;
  }

  HWND FHost = nullptr;
  HWND FList = nullptr;
  std::unique_ptr<TListViewItems> FRows;
  std::vector<COLORREF> FPixels;
  int FWidth = 0;
  int FHeight = 0;
};

TEST_F(ListViewItemsTest, HeadersSeparatorsAndLevelsDrawAsTheyAre) {
  AddColumns({220, 160, 160});
  FRows->AddRow({"Main"}, "Main thread", true, 1, liNone);  // 0
  FRows->AddRow({"Func", "0040100A", "unit.pas"}, "", false, 0, liDll);
  FRows->AddRow({"Nested"}, "Nested group", true, 1, liNone);  // 2: level 2
  TListViewItemRec* nestedData = FRows->AddRow({"Inner", "00402000", "inner.pas"}, "", false, 0, liPas);
  TListViewItemRec* separator = FRows->AddRow({"", "  ", ""}, "", false, 0, liNone);  // 4
  TListViewItemRec* running = FRows->AddRow({"Worker"}, "Worker thread", true, 1, liNone);  // 5
  TListViewItemRec* afterReset = FRows->AddRow({"Work", "00403000", "work.pas"}, "", false, 0, liVcl);
  FRows->AddRow({""}, "", false, 0, liNone);  // 7
  TListViewItemRec* waiting = FRows->AddRow({"Idle"}, "Idle thread", true, 0, liNone);  // 8
  FRows->AddRow({"Wait", "00404000", "wait.pas"}, "", false, 0, liBpl);
  ASSERT_EQ(10, Items());
  Draw("listview_rows");

  const int step = FRows->IndentStep();
  EXPECT_GE(step, 14);
  // Nesting indents from the second header on; a separator, never indented,
  // starts the count again.
  EXPECT_EQ(1, nestedData->Indented);
  EXPECT_EQ(std::string(nestedData->Columns[0].size() - 5, ' ') + "Inner", nestedData->Columns[0]);
  EXPECT_GT(nestedData->Columns[0].size(), 5u);
  EXPECT_EQ(1, separator->Separator);
  EXPECT_EQ(0, separator->Indented);
  EXPECT_EQ(nullptr, running->Previous);
  EXPECT_EQ(0, running->Indented);
  EXPECT_EQ(0, afterReset->Indented);
  EXPECT_EQ("Work", afterReset->Columns[0]);

  const RECT main = ItemRect(0);
  const RECT worker = ItemRect(5);
  const RECT idle = ItemRect(8);
  ASSERT_GT(main.bottom - main.top, 4);
  EXPECT_GT(CountIn(main, kDarkRed), 0);
  EXPECT_EQ(0, CountIn(main, kNavy));
  EXPECT_GT(CountIn(worker, kNavy), 0);
  EXPECT_EQ(0, CountIn(worker, kDarkRed));
  EXPECT_GT(CountIn(idle, kGrey), 0);
  EXPECT_EQ(0, CountIn(idle, kNavy));
  // The header band along the bottom, one step further right when grey.
  EXPECT_EQ(main.left + 2, FirstX(main.bottom - 1, kBand));
  EXPECT_EQ(worker.left + 2, FirstX(worker.bottom - 2, kBand));
  EXPECT_EQ(idle.left + step + 2, FirstX(idle.bottom - 1, kBand));
  EXPECT_EQ(0, waiting->Indented);

  // Data rows carry the row line and their icon; separators neither.
  for (int position : {1, 3, 6, 9}) {
    const RECT r = ItemRect(position);
    const int o = FRows->RowOfItem(position)->Indented * step;
    EXPECT_EQ(r.left + o + 2, FirstX(r.bottom - 1, kRowLine)) << position;
    const RECT icon{r.left + o + 2, r.top, r.left + o + 18, r.top + 16};
    EXPECT_LT(CountIn(icon, RGB(255, 255, 255)), 16 * 16) << position;
  }
  for (int position : {4, 7}) {
    const RECT r = ItemRect(position);
    EXPECT_EQ(0, CountIn(r, kRowLine)) << position;
    EXPECT_EQ((r.bottom - r.top) * (r.right - r.left - 2), CountIn(RECT{r.left + 2, r.top, r.right, r.bottom}, RGB(255, 255, 255)))
        << position;
  }
}

TEST_F(ListViewItemsTest, GroupsCollapseAndExpandByNesting) {
  AddColumns({200, 120});
  TListViewItemRec* outer = FRows->AddRow({"Outer"}, "Outer", true, 1, liNone);
  TListViewItemRec* d1 = FRows->AddRow({"d1", "1"}, "", false, 0, liDll);
  TListViewItemRec* nested = FRows->AddRow({"Nested"}, "Nested", true, 1, liNone);
  TListViewItemRec* d2 = FRows->AddRow({"d2", "2"}, "", false, 0, liDll);
  TListViewItemRec* d3 = FRows->AddRow({"d3", "3"}, "", false, 0, liDll);
  TListViewItemRec* sep = FRows->AddRow({""}, "", false, 0, liNone);
  TListViewItemRec* next = FRows->AddRow({"Next"}, "Next", true, 1, liNone);
  TListViewItemRec* d4 = FRows->AddRow({"d4", "4"}, "", false, 0, liDll);
  using Rows = std::vector<TListViewItemRec*>;
  ASSERT_EQ((Rows{outer, d1, nested, d2, d3, sep, next, d4}), Shown());
  Draw();

  // The point on the sign of the header at a position, in client pixels.
  auto sign = [&](int position) {
    const RECT r = ItemBounds(position);
    const int offset = FRows->RowOfItem(position)->Previous ? FRows->IndentStep() : 0;
    return POINT{r.left + offset + 6, r.top + 6};
  };
  auto offSign = [&](int position) {
    const RECT r = ItemBounds(position);
    return POINT{r.left + 80, r.top + 6};
  };

  // Clicks that toggle nothing: beside the sign when only the sign counts,
  // on a data row, and where there is no item.
  FRows->ToggleGroup(2, offSign(2), true);
  FRows->ToggleGroup(1, sign(1), false);
  FRows->ToggleGroup(50, POINT{5, 5}, false);
  EXPECT_EQ((Rows{outer, d1, nested, d2, d3, sep, next, d4}), Shown());

  FRows->ToggleGroup(2, sign(2), true);
  EXPECT_EQ(0, nested->Expanded);
  EXPECT_EQ((Rows{outer, d1, nested, sep, next, d4}), Shown());
  FRows->ToggleGroup(0, offSign(0), false);
  EXPECT_EQ((Rows{outer, sep, next, d4}), Shown());
  EXPECT_EQ(0, d1->Visible);
  // Opening the outer group again stops at the collapsed nested header.
  FRows->ToggleGroup(0, sign(0), true);
  EXPECT_EQ((Rows{outer, d1, nested, sep, next, d4}), Shown());
  EXPECT_EQ(0, nested->Expanded);
  EXPECT_EQ(0, d2->Visible);
  FRows->ToggleGroup(2, sign(2), true);
  EXPECT_EQ((Rows{outer, d1, nested, d2, d3, sep, next, d4}), Shown());
  // The group after the separator is its own.
  FRows->ToggleGroup(6, sign(6), true);
  EXPECT_EQ((Rows{outer, d1, nested, d2, d3, sep, next}), Shown());
  Draw();
  EXPECT_EQ(8, FRows->Count());
}

TEST_F(ListViewItemsTest, TheSignIsHitFromTwoToTwelvePixelsIn) {
  AddColumns({200});
  TListViewItemRec* first = FRows->AddRow({"First"}, "First", true, 1, liNone);
  TListViewItemRec* later = FRows->AddRow({"Later"}, "Later", true, 1, liNone);
  const int step = FRows->IndentStep();
  struct TCase {
    TListViewItemRec* Row;
    int Offset;
  };
  for (const TCase& c : {TCase{first, 0}, TCase{later, step}}) {
    SCOPED_TRACE(c.Offset);
    EXPECT_FALSE(FRows->SignHit(*c.Row, POINT{c.Offset + 1, 6}));
    EXPECT_TRUE(FRows->SignHit(*c.Row, POINT{c.Offset + 2, 6}));
    EXPECT_TRUE(FRows->SignHit(*c.Row, POINT{c.Offset + 12, 6}));
    EXPECT_FALSE(FRows->SignHit(*c.Row, POINT{c.Offset + 13, 6}));
    EXPECT_FALSE(FRows->SignHit(*c.Row, POINT{c.Offset + 6, 1}));
    EXPECT_TRUE(FRows->SignHit(*c.Row, POINT{c.Offset + 6, 2}));
    EXPECT_TRUE(FRows->SignHit(*c.Row, POINT{c.Offset + 6, 12}));
    EXPECT_FALSE(FRows->SignHit(*c.Row, POINT{c.Offset + 6, 13}));
  }
}

TEST_F(ListViewItemsTest, EightColumnsAndShortRowsDraw) {
  // Column 1 right-aligned, column 2 centred; the eighth is past the
  // alignment table and drawn left-aligned.
  AddColumns({110, 90, 90, 80, 80, 80, 80, 90},
             {LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_CENTER, LVCFMT_LEFT, LVCFMT_LEFT, LVCFMT_LEFT, LVCFMT_LEFT,
              LVCFMT_RIGHT});
  FRows->AddRow({"a", "WWW", "WWW", "d", "e", "f", "g", "WWW"}, "", false, 0, liNone);
  FRows->AddRow({"short", "WWW"}, "", false, 0, liNone);
  Draw("listview_eight_columns");

  const COLORREF black = RGB(0, 0, 0);
  auto cell = [&](int position, int column) {
    const RECT r = ItemRect(position);
    int x = r.left;
    for (int i = 0; i < column; ++i) x += static_cast<int>(SendMessageA(FList, LVM_GETCOLUMNWIDTH, i, 0));
    const int width = static_cast<int>(SendMessageA(FList, LVM_GETCOLUMNWIDTH, column, 0));
    return RECT{x, r.top, x + width, r.bottom};
  };
  auto inks = [&](const RECT& r, int& first, int& last) {
    first = -1;
    last = -1;
    for (int x = r.left; x < r.right; ++x)
      for (int y = r.top; y < r.bottom; ++y)
        if (At(x, y) == black) {
          if (first < 0) first = x;
          last = x;
        }
  };
  int first = 0, last = 0;
  const RECT right = cell(0, 1);
  inks(right, first, last);
  ASSERT_GE(first, 0);
  EXPECT_GT(first - right.left, right.right - last);  // nearer the right edge
  const RECT centred = cell(0, 2);
  inks(centred, first, last);
  ASSERT_GE(first, 0);
  EXPECT_LE(std::abs((first - centred.left) - (centred.right - last)), 4);
  const RECT eighth = cell(0, 7);
  inks(eighth, first, last);
  ASSERT_GE(first, 0);
  EXPECT_LT(first - eighth.left, eighth.right - last);  // left-aligned
  EXPECT_LE(first - eighth.left, 10);
  for (int column = 2; column < 8; ++column) {
    inks(cell(1, column), first, last);
    EXPECT_EQ(-1, first) << column;
  }
}

TEST_F(ListViewItemsTest, TheImageListOutlivesItsControl) {
  AddColumns({200});
  FRows->AddRow({"a"}, "", false, 0, liDll);
  const HIMAGELIST images = FRows->ImageList();
  ASSERT_NE(nullptr, images);
  EXPECT_EQ(images, reinterpret_cast<HIMAGELIST>(SendMessageA(FList, LVM_GETIMAGELIST, LVSIL_SMALL, 0)));
  EXPECT_EQ(4, ImageList_GetImageCount(images));
  DestroyWindow(FList);
  FList = nullptr;
  PumpPending();
  EXPECT_EQ(4, ImageList_GetImageCount(images));
  DrawingRows = nullptr;
  FRows.reset();
}

TEST_F(ListViewItemsTest, FreedRowsLeaveTheControl) {
  AddColumns({200, 100});
  std::vector<TListViewItemRec*> rows;
  rows.push_back(FRows->AddRow({"Head"}, "Head", true, 1, liNone));
  for (int i = 0; i < 4; ++i) rows.push_back(FRows->AddRow({"d" + std::to_string(i), "x"}, "", false, 0, liDll));
  ASSERT_EQ(5, Items());

  const auto freed = reinterpret_cast<uintptr_t>(rows[2]);
  FRows->DeleteRow(2);
  FRows->DeleteRow(99);
  EXPECT_EQ(4, FRows->Count());
  ASSERT_EQ(4, Items());
  for (TListViewItemRec* shown : Shown()) EXPECT_NE(freed, reinterpret_cast<uintptr_t>(shown));
  Draw();
  // A row added after the last one was freed follows a live row.
  FRows->DeleteRow(3);
  TListViewItemRec* added = FRows->AddRow({"new", "y"}, "", false, 0, liDll);
  EXPECT_EQ(rows[3], added->Previous);

  FRows->ClearRows();
  EXPECT_EQ(0, FRows->Count());
  EXPECT_EQ(0, Items());
  TListViewItemRec* fresh = FRows->AddRow({"again"}, "again", true, 1, liNone);
  EXPECT_EQ(nullptr, fresh->Previous);
  Draw();
}

TEST_F(ListViewItemsTest, RowsDrawWithoutTheirPictures) {
  const HMODULE own = DialogResourceModule();
  SetDialogResourceModule(GetModuleHandleA("kernel32.dll"));
  AddColumns({200, 100});
  SetDialogResourceModule(own);
  EXPECT_EQ(0, ImageList_GetImageCount(FRows->ImageList()));
  FRows->AddRow({"Head"}, "Head", true, 1, liNone);
  FRows->AddRow({"data", "x"}, "", false, 0, liDll);
  Draw();
  EXPECT_GT(CountIn(ItemRect(0), kDarkRed), 0);
}

TEST(DrawTransparentBitmapTest, TheTopLeftColourLetsTheBackgroundThrough) {
  HDC screen = GetDC(nullptr);
  HDC target = CreateCompatibleDC(screen);
  HBITMAP targetBitmap = CreateCompatibleBitmap(screen, 12, 12);
  HDC source = CreateCompatibleDC(screen);
  HBITMAP picture = CreateCompatibleBitmap(screen, 8, 8);
  ReleaseDC(nullptr, screen);
  HGDIOBJ oldTarget = SelectObject(target, targetBitmap);
  HGDIOBJ oldSource = SelectObject(source, picture);
  const COLORREF green = RGB(0, 160, 0), red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) SetPixel(target, x, y, green);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) SetPixel(source, x, y, x >= 2 && x < 6 && y >= 2 && y < 6 ? blue : red);
  SelectObject(source, oldSource);

  DrawTransparentBitmap(target, picture, 2, 2, 8, 8);
  EXPECT_EQ(green, GetPixel(target, 2, 2));
  EXPECT_EQ(green, GetPixel(target, 9, 9));
  EXPECT_EQ(blue, GetPixel(target, 4, 4));
  EXPECT_EQ(blue, GetPixel(target, 7, 7));
  EXPECT_EQ(green, GetPixel(target, 8, 8));
  EXPECT_EQ(green, GetPixel(target, 0, 0));
  // The picture itself is left as it was.
  SelectObject(source, picture);
  EXPECT_EQ(red, GetPixel(source, 0, 0));
  EXPECT_EQ(blue, GetPixel(source, 3, 3));
  SelectObject(source, oldSource);
  SelectObject(target, oldTarget);
  DeleteObject(picture);
  DeleteObject(targetBitmap);
  DeleteDC(source);
  DeleteDC(target);
}

}  // namespace
