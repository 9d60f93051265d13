#include "base/SystemText.h"

#include <windows.h>

namespace {

std::string WideToCodePage(const std::wstring& text, unsigned codePage) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
  return out;
}

// Empty when the system has no message for the code.
std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n && text ? std::string(text, n) : std::string();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
    message.pop_back();
  return message;
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

std::string SysErrorMessage(unsigned long Code) {
  std::string message = SystemMessage(Code);
  return message.empty() ? "System error " + std::to_string(Code) : message;
}

std::string SystemErrorText(unsigned long Code) {
  std::string message = SystemMessage(Code);
  std::string text = "System Error.  Code: " + std::to_string(Code) + ".";
  if (!message.empty()) text += "\r\n" + message;
  return text;
}
