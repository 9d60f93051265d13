#include "SystemText.h"

#include <windows.h>

namespace {

std::string WideToCodePage(const std::wstring& text, unsigned codePage) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

bool IsChineseSystem() { return GetSystemDefaultLangID() == LANG_ID_CHINESE_PRC; }

std::string WideToGBK(const std::wstring& text) { return WideToCodePage(text, CP_GBK); }

std::string WideToAnsi(const std::wstring& text) { return WideToCodePage(text, CP_ACP); }

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}
