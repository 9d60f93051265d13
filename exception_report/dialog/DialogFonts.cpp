#include "dialog/DialogFonts.h"
namespace RevavaRez {
TDialogFontChoice DialogFontChoice(int) { return {}; }
void CreateDialogFonts(HWND) {}
void FreeDialogFonts() {}
}  // namespace RevavaRez
