#pragma once
// Conversions between the system's byte text and wide text, and the one test
// every module uses to pick Chinese or English texts.
#include <string>

constexpr unsigned CP_GBK = 936;
constexpr unsigned LANG_ID_CHINESE_PRC = 2052;

// True when GetSystemDefaultLangID answers 2052 (Chinese, PRC); other
// Chinese variants count as not Chinese.
bool IsChineseSystem();

std::string WideToGBK(const std::wstring& text);
std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
