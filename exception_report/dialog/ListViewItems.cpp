#include "dialog/ListViewItems.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "dialog/DialogResources.h"

namespace RevavaRez {

namespace {

// Loaded in this order: the four icons (the image indices), then the signs.
constexpr const char* kBitmapNames[6] = {"RR_DLL", "RR_BPL", "RR_VCL", "RR_PAS", "RR_PLUS", "RR_MINUS"};
constexpr int kPlus = 4;
constexpr int kMinus = 5;

enum TBrush { brSelected, brUnselected, brSelectedFrame, brUnselectedFrame, brHeaderBand, brRowLine };
constexpr COLORREF kBrushColours[6] = {RGB(204, 218, 241), RGB(255, 255, 255), RGB(49, 106, 197),
                                       RGB(152, 181, 226), RGB(123, 164, 224), RGB(206, 203, 194)};

constexpr int kMinIndent = 14;

bool AllBlank(const std::vector<std::string>& texts) {
  for (const std::string& text : texts)
    for (char c : text)
      if (static_cast<unsigned char>(c) > ' ') return false;
  return true;
}

int TextWidth(HDC dc, const std::string& text) {
  SIZE size{};
  if (!GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size)) return -1;
  return size.cx;
}

}  // namespace

TListViewItems::TListViewItems(HWND listWindow) : FList(listWindow), FDC(GetDC(listWindow)) {
  const HMODULE module = DialogResourceModule();
  for (int i = 0; i < 6; ++i) FBitmaps[i] = LoadBitmapA(module, kBitmapNames[i]);
  FImageList = ImageList_Create(16, 16, ILC_COLORDDB, 4, 4);
  if (FImageList)
    for (int i = 0; i < 4; ++i)
      if (FBitmaps[i]) ImageList_Add(FImageList, FBitmaps[i], nullptr);
  for (int i = 0; i < 6; ++i) FBrushes[i] = CreateSolidBrush(kBrushColours[i]);
  if (FList) {
    // Without this style the control destroys its image lists with itself,
    // and this instance, which owns the list, would destroy it once more.
    const LONG_PTR style = GetWindowLongPtrA(FList, GWL_STYLE);
    if (!(style & LVS_SHAREIMAGELISTS)) SetWindowLongPtrA(FList, GWL_STYLE, style | LVS_SHAREIMAGELISTS);
    SendMessageA(FList, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(FImageList));
  }
}

TListViewItems::~TListViewItems() {
  for (HBRUSH brush : FBrushes)
    if (brush) DeleteObject(brush);
  if (FBitmaps[kPlus]) DeleteObject(FBitmaps[kPlus]);
  if (FBitmaps[kMinus]) DeleteObject(FBitmaps[kMinus]);
  if (FImageList) {
    if (IsWindow(FList) && reinterpret_cast<HIMAGELIST>(SendMessageA(FList, LVM_GETIMAGELIST, LVSIL_SMALL, 0)) == FImageList)
      SendMessageA(FList, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    ImageList_Destroy(FImageList);
  }
  for (int i = 0; i < 4; ++i)
    if (FBitmaps[i]) DeleteObject(FBitmaps[i]);
  if (FDC) ReleaseDC(FList, FDC);
  ClearRows();
  if (FBoldFont) DeleteObject(FBoldFont);
}

void TListViewItems::MeasureList() {
  FMeasured = true;
  const auto header = reinterpret_cast<HWND>(SendMessageA(FList, LVM_GETHEADER, 0, 0));
  FColumnCount = header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  if (FColumnCount < 0) FColumnCount = 0;
  // Columns beyond the table are drawn left-aligned.
  for (int i = 0; i < std::min(FColumnCount, kAlignmentColumns); ++i) {
    HDITEMA item{};
    item.mask = HDI_FORMAT;
    FAlignments[i] = 0;
    if (!SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item))) continue;
    switch (item.fmt & HDF_JUSTIFYMASK) {
      case HDF_RIGHT: FAlignments[i] = 2; break;
      case HDF_CENTER: FAlignments[i] = 1; break;
      default: break;
    }
  }

  auto font = reinterpret_cast<HFONT>(SendMessageA(FList, WM_GETFONT, 0, 0));
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HDC screen = GetDC(nullptr);
  const HGDIOBJ old = screen ? SelectObject(screen, font) : nullptr;
  // A blank that measures nothing (or a measure that fails) counts as one
  // pixel, so the loop ends after at most kMinIndent blanks whatever the font.
  FIndentText.clear();
  FIndentStep = 0;
  while (FIndentStep < kMinIndent) {
    FIndentText += ' ';
    const int width = screen ? TextWidth(screen, FIndentText) : -1;
    FIndentStep = width > FIndentStep ? width : FIndentStep + 1;
  }
  if (screen) {
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
  }

  LOGFONTA bold{};
  if (GetObjectA(font, sizeof bold, &bold) == sizeof bold) {
    bold.lfWeight = FW_BOLD;
    FBoldFont = CreateFontIndirectA(&bold);
  }
}

TListViewItemRec* TListViewItems::AddRow(const std::vector<std::string>& texts, const std::string& headerText,
                                         bool isHeader, int32_t running, int32_t image) {
  if (!FMeasured) MeasureList();
  std::unique_ptr<TListViewItemRec> owned(new TListViewItemRec);
  TListViewItemRec* const row = owned.get();
  row->ListWindow = FList;
  row->Columns = texts;
  row->HeaderText = headerText;
  row->Image = image;
  row->Header = isHeader ? 1 : 0;
  row->Separator = !isHeader && AllBlank(texts) ? 1 : 0;
  row->Running = running;

  if (row->Header)
    ++FLevel;
  else if (row->Separator)
    FLevel = 0;
  if (!row->Separator && FLevel >= 2) {
    if (!row->Columns.empty()) row->Columns[0].insert(0, FIndentText);
    row->Indented = 1;
  }

  row->Previous = FPrevious;
  FRows.push_back(row);
  owned.release();
  FPrevious = row->Separator ? nullptr : row;
  ShowRow(row, -1);
  return row;
}

int TListViewItems::ShowRow(TListViewItemRec* row, int position) {
  if (!row || row->Columns.empty()) return -1;
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = position < 0 ? INT_MAX : position;
  item.pszText = const_cast<char*>(row->Columns[0].c_str());
  item.lParam = reinterpret_cast<LPARAM>(row);
  const int at = static_cast<int>(SendMessageA(FList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (at < 0) return -1;
  for (size_t i = 1; i < row->Columns.size(); ++i) {
    LVITEMA sub{};
    sub.iSubItem = static_cast<int>(i);
    sub.pszText = const_cast<char*>(row->Columns[i].c_str());
    SendMessageA(FList, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&sub));
  }
  return at;
}

void TListViewItems::HideRow(int position) { SendMessageA(FList, LVM_DELETEITEM, position, 0); }

void TListViewItems::RedrawRows(int first, int last) { SendMessageA(FList, LVM_REDRAWITEMS, first, last); }

void TListViewItems::SetListRedraw(bool on) { SendMessageA(FList, WM_SETREDRAW, on ? TRUE : FALSE, 0); }

TListViewItemRec* TListViewItems::RowAt(int index) const {
  return index >= 0 && index < Count() ? FRows[static_cast<size_t>(index)] : nullptr;
}

TListViewItemRec* TListViewItems::RowOfItem(int position) const {
  if (position < 0) return nullptr;
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = position;
  if (!SendMessageA(FList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return reinterpret_cast<TListViewItemRec*>(item.lParam);
}

int TListViewItems::ItemOfRow(const TListViewItemRec* row, int hint) const {
  if (!row->Visible || row->Columns.empty()) return -1;
  if (RowOfItem(hint) == row) return hint;
  LVFINDINFOA find{};
  find.flags = LVFI_PARAM;
  find.lParam = reinterpret_cast<LPARAM>(row);
  return static_cast<int>(SendMessageA(FList, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

bool TListViewItems::SignHit(const TListViewItemRec& row, POINT point) const {
  const int offset = row.Previous ? FIndentStep : 0;
  return point.x >= offset + 2 && point.x <= offset + 12 && point.y >= 2 && point.y <= 12;
}

void TListViewItems::ToggleGroup(int position, POINT point, bool signOnly) {
  TListViewItemRec* header = RowOfItem(position);
  if (!header || !header->Header) return;
  RECT bounds{};
  bounds.left = LVIR_BOUNDS;
  if (!SendMessageA(FList, LVM_GETITEMRECT, position, reinterpret_cast<LPARAM>(&bounds))) return;
  const POINT inItem{point.x - bounds.left, point.y - bounds.top};
  if (signOnly && !SignHit(*header, inItem)) return;
  const auto found = std::find(FRows.begin(), FRows.end(), header);
  if (found == FRows.end()) return;

  header->Expanded = header->Expanded ? 0 : 1;
  SetListRedraw(false);
  // The control position of the last row shown so far: hidden rows are
  // inserted after it, and a row being hidden is the item just after it.
  int shown = position;
  for (auto at = found + 1; at != FRows.end(); ++at) {
    TListViewItemRec* row = *at;
    if (row->Separator) break;
    if (header->Expanded) {
      if (row->Visible) {
        const int item = ItemOfRow(row, shown + 1);
        if (item >= 0) shown = item;
      } else {
        row->Visible = 1;
        const int item = ShowRow(row, shown + 1);
        if (item >= 0) shown = item;
      }
      if (row->Header && !row->Expanded) break;
    } else if (row->Visible) {
      const int item = ItemOfRow(row, shown + 1);
      row->Visible = 0;
      if (item >= 0) HideRow(item);
    }
  }
  SetListRedraw(true);
  RedrawRows(position, position);
}

bool TListViewItems::DrawListItem(const DRAWITEMSTRUCT& item) {
  const auto row = reinterpret_cast<const TListViewItemRec*>(item.itemData);
  if (!row || !FDC) return true;
  if (!FDCReady) {
    // The kept context starts with the paint context's objects (the
    // control's font above all), drawn over transparently.
    SelectObject(FDC, GetCurrentObject(item.hDC, OBJ_FONT));
    SelectObject(FDC, GetCurrentObject(item.hDC, OBJ_PEN));
    SelectObject(FDC, GetCurrentObject(item.hDC, OBJ_BRUSH));
    SelectPalette(FDC, static_cast<HPALETTE>(GetCurrentObject(item.hDC, OBJ_PAL)), FALSE);
    SelectObject(FDC, GetCurrentObject(item.hDC, OBJ_BITMAP));
    SetBkMode(FDC, TRANSPARENT);
    FDCReady = true;
  }
  const RECT r = item.rcItem;
  const int o = FIndentStep * row->Indented;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;

  RECT back{r.left + o + 2, r.top, r.right, r.bottom};
  FillRect(FDC, &back, FBrushes[selected ? brSelected : brUnselected]);
  SetTextColor(FDC, RGB(0, 0, 0));

  if (row->Header) {
    int left = r.left;
    if (item.itemID == 0)
      SetTextColor(FDC, RGB(128, 0, 0));
    else if (row->Running & 0xFF)
      SetTextColor(FDC, RGB(0, 0, 128));
    else {
      SetTextColor(FDC, RGB(96, 96, 96));
      left += FIndentStep;
    }
    RECT band{left + 2, r.bottom - 2, r.right, r.bottom};
    FillRect(FDC, &band, FBrushes[brHeaderBand]);
    const HGDIOBJ oldFont = FBoldFont ? SelectObject(FDC, FBoldFont) : nullptr;
    RECT text{left + 15, r.top - 1, r.right, r.bottom};
    DrawTextA(FDC, row->HeaderText.c_str(), static_cast<int>(row->HeaderText.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (oldFont) SelectObject(FDC, oldFont);
    DrawTransparentBitmap(FDC, FBitmaps[row->Expanded ? kMinus : kPlus], left + 1, r.top + 1, 13, 13);
  } else {
    if (row->Image >= 0 && row->Image < 4)
      DrawTransparentBitmap(FDC, FBitmaps[row->Image], r.left + o + 2, r.top, 16, 16);
    if (!row->Separator) {
      RECT line{r.left + o + 2, r.bottom - 1, r.right, r.bottom};
      FillRect(FDC, &line, FBrushes[brRowLine]);
    }
    int x = r.left;
    for (int i = 0; i < FColumnCount; ++i) {
      const int width = static_cast<int>(SendMessageA(FList, LVM_GETCOLUMNWIDTH, i, 0));
      RECT cell{x + (i == 0 ? 20 : 6), r.top, x + width - 6 + (i == 0 ? 4 : 0), r.bottom};
      // A row short of texts draws the missing columns empty.
      const std::string* text = static_cast<size_t>(i) < row->Columns.size() ? &row->Columns[static_cast<size_t>(i)]
                                                                              : nullptr;
      const int alignment = i < kAlignmentColumns ? FAlignments[i] : 0;
      const UINT format = alignment == 2 ? DT_RIGHT : alignment == 1 ? DT_CENTER : DT_LEFT;
      if (text && !text->empty())
        DrawTextA(FDC, text->c_str(), static_cast<int>(text->size()), &cell,
                  format | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
      x += width;
    }
  }

  if (item.itemState & ODS_FOCUS) {
    RECT frame{r.left + o + 2, r.top, r.right, r.bottom};
    FrameRect(FDC, &frame, FBrushes[selected && GetFocus() == FList ? brSelectedFrame : brUnselectedFrame]);
  }
  return true;
}

void TListViewItems::ForgetRow(const TListViewItemRec* row) {
  // Later rows keep whether they had a previous row, never a freed one.
  for (TListViewItemRec* other : FRows)
    if (other->Previous == row) other->Previous = row->Previous;
  if (FPrevious == row) FPrevious = row->Previous;
}

void TListViewItems::DeleteRow(int index) {
  TListViewItemRec* row = RowAt(index);
  if (!row) return;
  // The control's item would otherwise keep the freed row as its data.
  const int item = ItemOfRow(row, 0);
  if (item >= 0) HideRow(item);
  FRows.erase(FRows.begin() + index);
  ForgetRow(row);
  delete row;
}

void TListViewItems::ClearRows() {
  if (!FRows.empty() && IsWindow(FList)) SendMessageA(FList, LVM_DELETEALLITEMS, 0, 0);
  for (TListViewItemRec* row : FRows) delete row;
  FRows.clear();
  FPrevious = nullptr;
}

void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height) {
  if (!dc || !bitmap || width <= 0 || height <= 0) return;
  HDC source = CreateCompatibleDC(dc);
  HDC back = CreateCompatibleDC(dc);
  HDC object = CreateCompatibleDC(dc);
  HDC memory = CreateCompatibleDC(dc);
  HDC save = CreateCompatibleDC(dc);
  HBITMAP backBitmap = CreateBitmap(width, height, 1, 1, nullptr);
  HBITMAP objectBitmap = CreateBitmap(width, height, 1, 1, nullptr);
  HBITMAP memoryBitmap = CreateCompatibleBitmap(dc, width, height);
  HBITMAP saveBitmap = CreateCompatibleBitmap(dc, width, height);
  if (source && back && object && memory && save && backBitmap && objectBitmap && memoryBitmap && saveBitmap) {
    const HGDIOBJ oldSource = SelectObject(source, bitmap);
    const HGDIOBJ oldBack = SelectObject(back, backBitmap);
    const HGDIOBJ oldObject = SelectObject(object, objectBitmap);
    const HGDIOBJ oldMemory = SelectObject(memory, memoryBitmap);
    const HGDIOBJ oldSave = SelectObject(save, saveBitmap);
    SetMapMode(source, GetMapMode(dc));

    BitBlt(save, 0, 0, width, height, source, 0, 0, SRCCOPY);
    // The mask: white where the source has its top-left colour.
    const COLORREF oldColour = SetBkColor(source, GetPixel(source, 0, 0));
    BitBlt(object, 0, 0, width, height, source, 0, 0, SRCCOPY);
    SetBkColor(source, oldColour);
    BitBlt(back, 0, 0, width, height, object, 0, 0, NOTSRCCOPY);
    BitBlt(memory, 0, 0, width, height, dc, x, y, SRCCOPY);
    BitBlt(memory, 0, 0, width, height, object, 0, 0, SRCAND);
    BitBlt(source, 0, 0, width, height, back, 0, 0, SRCAND);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCPAINT);
    BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
    BitBlt(source, 0, 0, width, height, save, 0, 0, SRCCOPY);

    SelectObject(save, oldSave);
    SelectObject(memory, oldMemory);
    SelectObject(object, oldObject);
    SelectObject(back, oldBack);
    SelectObject(source, oldSource);
  }
  for (HBITMAP made : {backBitmap, objectBitmap, memoryBitmap, saveBitmap})
    if (made) DeleteObject(made);
  for (HDC made : {source, back, object, memory, save})
    if (made) DeleteDC(made);
}

}  // namespace RevavaRez
