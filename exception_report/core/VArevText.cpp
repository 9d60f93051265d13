#include "core/VArevText.h"

#include <cstdio>

namespace RevavaRez {

size_t Pos(const std::string& sub, const std::string& text) { return PosFrom(sub, text, 1); }

size_t PosFrom(const std::string& sub, const std::string& text, size_t start) {
  if (sub.empty()) return 0;
  if (start < 1) start = 1;
  if (start > text.size()) return 0;
  size_t at = text.find(sub, start - 1);
  return at == std::string::npos ? 0 : at + 1;
}

std::string Copy(const std::string& text, size_t index, size_t count) {
  if (index < 1) index = 1;
  if (index > text.size()) return std::string();
  return text.substr(index - 1, count);
}

void Insert(const std::string& sub, std::string& text, size_t index) {
  if (index < 1) index = 1;
  if (index > text.size()) {
    text += sub;
    return;
  }
  text.insert(index - 1, sub);
}

void Delete(std::string& text, size_t index, size_t count) {
  if (index < 1 || index > text.size()) return;
  text.erase(index - 1, count);
}

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string ReplaceAll(const std::string& text, const std::string& old, const std::string& replacement) {
  if (old.empty()) return text;
  size_t hits = 0;
  for (size_t at = text.find(old); at != std::string::npos; at = text.find(old, at + old.size())) ++hits;
  std::string result;
  result.reserve(text.size() - hits * old.size() + hits * replacement.size());
  size_t from = 0;
  for (size_t at = text.find(old); at != std::string::npos; at = text.find(old, from)) {
    result.append(text, from, at - from);
    result += replacement;
    from = at + old.size();
  }
  result.append(text, from, std::string::npos);
  return result;
}

void SplitBySet(const std::string& separators, const std::string& text, std::vector<std::string>& parts) {
  size_t at = text.find_first_not_of(separators);
  if (at == std::string::npos) return;
  for (;;) {
    size_t end = text.find_first_of(separators, at);
    if (end == std::string::npos) {
      std::string last = Trim(text.substr(at));
      if (!last.empty()) parts.push_back(last);
      return;
    }
    parts.push_back(Trim(text.substr(at, end - at)));
    at = end + 1;
  }
}

std::string WithTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

namespace {
size_t NameStart(const std::string& path) {
  size_t at = path.find_last_of("\\:");
  return at == std::string::npos ? 0 : at + 1;
}
size_t ExtensionStart(const std::string& path) {
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < NameStart(path)) return path.size();
  return dot;
}
}  // namespace

std::string ExtractFileName(const std::string& path) { return path.substr(NameStart(path)); }
std::string ExtractFilePath(const std::string& path) { return path.substr(0, NameStart(path)); }
std::string ExtractFileExt(const std::string& path) { return path.substr(ExtensionStart(path)); }

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  return path.substr(0, ExtensionStart(path)) + extension;
}

std::string HexText(uint64_t value, int digits) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%0*llX", digits, static_cast<unsigned long long>(value));
  return buffer;
}

std::string AddressText(uintptr_t value) { return HexText(value, static_cast<int>(sizeof(uintptr_t) * 2)); }

std::string LogFileIn(const std::string& logLocation, const std::string& name) {
  if (LowerCase(ExtractFileExt(logLocation)) == ".rrl") return logLocation;
  std::string folder = logLocation.empty() ? ExtractFilePath(name) : logLocation;
  return WithTrailingBackslash(folder) + ExtractFileName(name);
}

std::string LogFilePathFor(const std::string& logLocation, const std::string& moduleFileName,
                           uint8_t logFlags, const std::string& safeComputerName, const std::string& name) {
  std::string path = LogFileIn(logLocation, ChangeFileExt(name.empty() ? moduleFileName : name, ".rrl"));
  if (logFlags & 0x08) path = ChangeFileExt(path, "_" + safeComputerName + ExtractFileExt(path));
  return path;
}

std::string SafeFileNamePart(const std::string& name) {
  std::string safe = name;
  for (char& c : safe)
    if (std::string("\"*/:<>?\\|").find(c) != std::string::npos) c = '_';
  return safe;
}

}  // namespace RevavaRez
