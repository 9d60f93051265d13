#include "CommandLine.h"

#include <algorithm>
#include <cwctype>

namespace {

std::wstring WithoutQuotes(std::wstring Text) {
  Text.erase(std::remove(Text.begin(), Text.end(), L'"'), Text.end());
  return Text;
}

// Blanks and control characters, as the class library's Trim takes them.
std::wstring Trim(const std::wstring& Text) {
  size_t first = 0;
  size_t last = Text.size();
  while (first < last && Text[first] <= L' ') ++first;
  while (last > first && Text[last - 1] <= L' ') --last;
  return Text.substr(first, last - first);
}

size_t FindExeCaseless(const std::wstring& Text) {
  for (size_t i = 0; i + 4 <= Text.size(); ++i)
    if (Text[i] == L'.' && std::towlower(Text[i + 1]) == L'e' && std::towlower(Text[i + 2]) == L'x' &&
        std::towlower(Text[i + 3]) == L'e')
      return i;
  return std::wstring::npos;
}

// End of the first token: the closing quote of a quoted program path, or
// the first blank.
size_t EndOfFirstToken(const std::wstring& Text) {
  size_t i = 0;
  while (i < Text.size() && Text[i] <= L' ') ++i;
  if (i < Text.size() && Text[i] == L'"') {
    size_t close = Text.find(L'"', i + 1);
    return close == std::wstring::npos ? Text.size() : close + 1;
  }
  while (i < Text.size() && Text[i] > L' ') ++i;
  return i;
}

}  // namespace

std::wstring MediaFromCommandLine(const std::wstring& CommandLine) {
  const std::wstring plain = WithoutQuotes(CommandLine);
  size_t exe = plain.find(L".exe");
  if (exe == std::wstring::npos) exe = FindExeCaseless(plain);
  if (exe != std::wstring::npos) return Trim(plain.substr(exe + 4));
  return Trim(WithoutQuotes(CommandLine.substr(EndOfFirstToken(CommandLine))));
}
