#pragma once
// Conversions between the system's byte text and wide text, the one test
// every module uses to pick Chinese or English texts, and the system's own
// texts for error codes.
#include <string>

constexpr unsigned CP_GBK = 936;
constexpr unsigned LANG_ID_CHINESE_PRC = 2052;

// True when GetSystemDefaultLangID answers 2052 (Chinese, PRC); other
// Chinese variants count as not Chinese.
bool IsChineseSystem();

std::string WideToGBK(const std::wstring& text);
std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);

// The system's message for an error code without its line end, as a failed
// file operation quotes it; "System error <code>" when the system has none.
std::string SysErrorMessage(unsigned long Code);
// "System Error.  Code: <code>." and, when the system has one, CR LF and its
// message: the text of a failed system call raised as it stands.
std::string SystemErrorText(unsigned long Code);
