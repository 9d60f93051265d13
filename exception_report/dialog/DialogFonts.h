#pragma once
// The five fonts the dialogs draw with, chosen by the user's ANSI code page.
#include <windows.h>

#include <string>

namespace RevavaRez {

struct TDialogFontChoice {
  int Points = 8;
  std::string CaptionFace;
  std::string FixedFace;
  std::string ListFace;
};

// A charset other than the Western one gets larger, wider-covering faces.
TDialogFontChoice DialogFontChoice(int charSet);

// Makes the fonts of DialogState() for the dialog's device (the fixed and
// list heights follow its vertical resolution). A font that cannot be made
// stays null and the dialog shows without it.
void CreateDialogFonts(HWND dialog);
void FreeDialogFonts();

}  // namespace RevavaRez
