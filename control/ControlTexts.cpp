#include "ControlTexts.h"

#include "base/SystemText.h"

const TMenuTexts& ChineseMenuTexts() {
  static const TMenuTexts texts{L"显示模式", L"统计信息", L"关于", L"全屏幕(双击鼠标左键)",
                                L"实际大小", L"自适应"};
  return texts;
}

const TMenuTexts& EnglishMenuTexts() {
  static const TMenuTexts texts{L"Display Mode",  L"Statistic",    L"About", L"Full Screen (Double Click)",
                                L"Original Size", L"Fit to Window"};
  return texts;
}

const TMenuTexts& MenuTexts() { return IsChineseSystem() ? ChineseMenuTexts() : EnglishMenuTexts(); }

const char* const TextFailCreateDirectory = "Fail to create directory: ";
const char* const TextFileCaption = "File";
const char* const TextUnknownColorFormat = "Unknown color format";
