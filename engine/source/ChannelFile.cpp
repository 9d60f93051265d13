#include "source/ChannelFile.h"

#include <windows.h>

#include <vector>

#include "base/SystemText.h"

namespace {

// The decimal value of Text when it is only digits, else -1.
long DecimalOf(const std::string& Text, long Limit) {
  if (Text.empty() || Text.size() > 10) return -1;
  long value = 0;
  for (char c : Text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
    if (value > Limit) return -1;
  }
  return value;
}

std::string ProfileText(const wchar_t* Key, const std::wstring& Path) {
  wchar_t text[256];
  GetPrivateProfileStringW(L"Address", Key, L"", text, 256, Path.c_str());
  return WideToAnsi(text);
}

}  // namespace

bool IsDottedIPv4(const std::string& Text) {
  size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const size_t end = part < 3 ? Text.find('.', start) : Text.size();
    if (end == std::string::npos || end - start > 3 || DecimalOf(Text.substr(start, end - start), 255) < 0)
      return false;
    start = end + 1;
  }
  return true;
}

bool ReadChannelFile(const std::wstring& FileName, TChannelAddress& Address) {
  if (FileName.empty()) return false;
  DWORD length = GetFullPathNameW(FileName.c_str(), 0, nullptr, nullptr);
  if (length == 0) return false;
  std::vector<wchar_t> path(length + 1);
  length = GetFullPathNameW(FileName.c_str(), DWORD(path.size()), path.data(), nullptr);
  if (length == 0 || length >= path.size()) return false;
  const std::wstring full(path.data(), length);
  // The profile functions answer the defaults for a missing file.
  if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  const std::string ip = ProfileText(L"ip", full);
  const long port = DecimalOf(ProfileText(L"port", full), 65535);
  if (!IsDottedIPv4(ip) || port < 1) return false;
  Address.Group = ip;
  Address.Port = uint16_t(port);
  return true;
}
