#pragma once
// A report-view list-view control (owner-drawn, fixed row height, single
// selection) as a flat list of rows with collapsible groups: bold header
// rows with a plus or minus sign, data rows with an icon and a text per
// column, and empty separator rows. Hidden rows are never stored in the
// control: collapsing deletes their items and expanding inserts them again.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace RevavaRez {

struct TListViewItemRec {
  HWND ListWindow = nullptr;
  std::vector<std::string> Columns;
  int32_t Image = -1;  // 0..3, -1 for none
  int32_t Indented = 0;
  int32_t Running = 0;  // low byte used
  uint8_t Header = 0;
  uint8_t Expanded = 1;
  uint8_t Separator = 0;
  uint8_t Visible = 1;
  std::string HeaderText;
  TListViewItemRec* Previous = nullptr;
};

// The image indices of the data rows' icons.
enum TListViewImage : int32_t { liNone = -1, liDll = 0, liBpl = 1, liVcl = 2, liPas = 3 };

class TListViewItems {
 public:
  explicit TListViewItems(HWND listWindow);
  ~TListViewItems();
  TListViewItems(const TListViewItems&) = delete;
  TListViewItems& operator=(const TListViewItems&) = delete;

  TListViewItemRec* AddRow(const std::vector<std::string>& texts, const std::string& headerText, bool isHeader,
                           int32_t running, int32_t image);
  // position -1: at the end. A row without texts is not inserted. Answers
  // the item's position, -1 when nothing was inserted.
  int ShowRow(TListViewItemRec* row, int position);
  void HideRow(int position);
  void RedrawRows(int first, int last);
  void SetListRedraw(bool on);
  int Count() const { return static_cast<int>(FRows.size()); }
  TListViewItemRec* RowAt(int index) const;
  TListViewItemRec* RowOfItem(int position) const;
  // point in the control's client coordinates.
  void ToggleGroup(int position, POINT point, bool signOnly);
  // point relative to the item's rectangle.
  bool SignHit(const TListViewItemRec& row, POINT point) const;
  // Always answers true (the item was drawn).
  bool DrawListItem(const DRAWITEMSTRUCT& item);
  void DeleteRow(int index);
  void ClearRows();

  int IndentStep() const { return FIndentStep; }
  HIMAGELIST ImageList() const { return FImageList; }

 private:
  void MeasureList();
  // The control position of a shown row, tried at hint first; -1 when the
  // row has no item.
  int ItemOfRow(const TListViewItemRec* row, int hint) const;
  // Drops the references of the other rows to a row about to be freed.
  void ForgetRow(const TListViewItemRec* row);

  HWND FList;
  HDC FDC;
  bool FDCReady = false;
  TListViewItemRec* FPrevious = nullptr;
  HFONT FBoldFont = nullptr;
  bool FMeasured = false;
  std::string FIndentText;
  int FIndentStep = 0;
  int FLevel = 0;
  int FColumnCount = 0;
  static constexpr int kAlignmentColumns = 7;
  int FAlignments[kAlignmentColumns] = {};
  HBITMAP FBitmaps[6] = {};
  HIMAGELIST FImageList = nullptr;
  HBRUSH FBrushes[6] = {};
  std::vector<TListViewItemRec*> FRows;
};

// Draws the bitmap with the colour of its top-left pixel transparent.
void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height);

}  // namespace RevavaRez
