#pragma once
// The control's own fixed texts: the popup menu captions, Chinese as in the
// form resource or English on systems whose language is not Chinese (PRC),
// and the texts of its messages.
#include <string>

struct TMenuTexts {
  std::wstring DisplayMode;
  std::wstring Status;
  std::wstring About;
  std::wstring Full;
  std::wstring Original;
  std::wstring Adaptive;
};

const TMenuTexts& ChineseMenuTexts();
const TMenuTexts& EnglishMenuTexts();
// The captions for this system's language.
const TMenuTexts& MenuTexts();

// Set-up could not create the temporary folder: the text (followed by the
// folder) and the caption of its message box.
extern const char* const TextFailCreateDirectory;
extern const char* const TextFileCaption;
extern const char* const TextUnknownColorFormat;
