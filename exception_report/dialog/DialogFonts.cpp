#include "dialog/DialogFonts.h"

#include <cstring>

#include "core/RichTextPages.h"
#include "dialog/DialogState.h"

namespace RevavaRez {

namespace {

void CopyFace(LOGFONTA& font, const std::string& face) {
  std::memset(font.lfFaceName, 0, sizeof(font.lfFaceName));
  std::strncpy(font.lfFaceName, face.c_str(), sizeof(font.lfFaceName) - 1);
}

// The dialogs' own faces: TrueType, draft quality, any charset.
HFONT DialogFont(int height, int weight, BYTE pitchAndFamily, const std::string& face) {
  LOGFONTA font = {};
  font.lfHeight = height;
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_TT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DRAFT_QUALITY;
  font.lfPitchAndFamily = pitchAndFamily;
  CopyFace(font, face);
  return CreateFontIndirectA(&font);
}

void DeleteFont(HFONT& font) {
  if (font) DeleteObject(font);
  font = nullptr;
}

}  // namespace

TDialogFontChoice DialogFontChoice(int charSet) {
  if (charSet != ANSI_CHARSET) return {10, "MS Sans Serif", "Courier New", "Courier New"};
  return {8, "Verdana", "Lucida Console", "Tahoma"};
}

void CreateDialogFonts(HWND dialog) {
  FreeDialogFonts();
  const TDialogFontChoice choice = DialogFontChoice(DefaultAnsiCharSet());
  TDialogFonts& fonts = DialogState().Fonts;

  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    fonts.Caption =
        DialogFont(metrics.lfCaptionFont.lfHeight, FW_BOLD, VARIABLE_PITCH | FF_SWISS, choice.CaptionFace);
    fonts.Normal = CreateFontIndirectA(&metrics.lfMessageFont);
    LOGFONTA link = metrics.lfMessageFont;
    link.lfWeight = FW_BOLD;
    link.lfUnderline = TRUE;
    fonts.Link = CreateFontIndirectA(&link);
  }

  int dotsPerInch = 96;
  if (HDC dc = GetDC(dialog)) {
    dotsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(dialog, dc);
  }
  const int height = -MulDiv(choice.Points, dotsPerInch, 72);
  fonts.Fixed = DialogFont(height, FW_NORMAL, FIXED_PITCH | FF_MODERN, choice.FixedFace);
  fonts.List = DialogFont(height, FW_NORMAL, FIXED_PITCH | FF_MODERN, choice.ListFace);
}

void FreeDialogFonts() {
  TDialogFonts& fonts = DialogState().Fonts;
  DeleteFont(fonts.Caption);
  DeleteFont(fonts.Normal);
  DeleteFont(fonts.Link);
  DeleteFont(fonts.Fixed);
  DeleteFont(fonts.List);
}

}  // namespace RevavaRez
