#include "dialog/ListViewItems.h"

namespace RevavaRez {

// Placeholder until the rows are built.
TListViewItems::TListViewItems(HWND listWindow) : FList(listWindow), FDC(nullptr) {}
TListViewItems::~TListViewItems() { ClearRows(); }
TListViewItemRec* TListViewItems::AddRow(const std::vector<std::string>&, const std::string&, bool, int32_t,
                                         int32_t) {
  return nullptr;
}
void TListViewItems::ShowRow(TListViewItemRec*, int) {}
void TListViewItems::HideRow(int) {}
void TListViewItems::RedrawRows(int, int) {}
void TListViewItems::SetListRedraw(bool) {}
TListViewItemRec* TListViewItems::RowAt(int) const { return nullptr; }
TListViewItemRec* TListViewItems::RowOfItem(int) const { return nullptr; }
void TListViewItems::ToggleGroup(int, POINT, bool) {}
bool TListViewItems::SignHit(const TListViewItemRec&, POINT) const { return false; }
bool TListViewItems::DrawListItem(const DRAWITEMSTRUCT&) { return true; }
void TListViewItems::DeleteRow(int) {}
void TListViewItems::ClearRows() {}
void TListViewItems::MeasureList() {}
void DrawTransparentBitmap(HDC, HBITMAP, int, int, int, int) {}

}  // namespace RevavaRez
