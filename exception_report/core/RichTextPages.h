#pragma once
// The general and CPU pages of the exception dialog as rich text. The texts
// are built by pure functions of the report text and the dialog's font; thin
// wrappers measure the font and stream the text into a rich edit control.
#include <windows.h>

#include <string>

namespace RevavaRez {

struct TRichTextFont {
  int CharSet = 0;
  std::string Name;
  int Size = 8;  // points
};

std::string GeneralRichText(const std::string& text, const TRichTextFont& font);
// tabStop in twips.
std::string CpuRichText(const std::string& text, const TRichTextFont& font, int tabStop);

// The character set of the user's default ANSI code page.
int DefaultAnsiCharSet();
// The CPU page's tab stop: 15 times the width of the dashes in the font
// (21 under a 32-bit CPU text, whose stack column is 16 characters narrower).
int CpuTabStop(HFONT font, int dashes = 21);

// Streams RTF into a rich edit control and sets its background: a negative
// colour names a system colour (its low byte).
bool LoadRichText(HWND richEdit, const std::string& rtf, long backgroundColour);

}  // namespace RevavaRez
