#include "dialog/DialogPages.h"

namespace RevavaRez {

// Placeholder until the pages are built.
int PageOfTab(int tab, bool, bool) { return tab; }
int TabOfPage(int page, bool, bool) { return page; }
int FirstPage(int, bool, bool, bool) { return dpGeneral; }
void SelectDialogTab(int, HWND) {}
void FitDialogPage(HWND) {}
void DestroyDialogPage() {}

}  // namespace RevavaRez
