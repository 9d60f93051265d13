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

HFONT FixedPitchFont(int height, const std::string& face) {
  LOGFONTA font = {};
  font.lfHeight = height;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_TT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DRAFT_QUALITY;
  font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
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
    LOGFONTA caption = {};
    caption.lfHeight = metrics.lfCaptionFont.lfHeight;
    caption.lfWeight = FW_BOLD;
    caption.lfCharSet = DEFAULT_CHARSET;
    caption.lfOutPrecision = OUT_TT_PRECIS;
    caption.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    caption.lfQuality = DRAFT_QUALITY;
    caption.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    CopyFace(caption, choice.CaptionFace);
    fonts.Caption = CreateFontIndirectA(&caption);
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
  fonts.Fixed = FixedPitchFont(height, choice.FixedFace);
  fonts.List = FixedPitchFont(height, choice.ListFace);
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
