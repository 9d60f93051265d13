#include "nails/NailsIndex.h"

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>

namespace {

bool BlankLine(const std::string& Line) {
  for (unsigned char c : Line)
    if (c > ' ') return false;
  return true;
}

// The name of a part of a path as the platform opens it: up to the first
// dot, without trailing spaces and dots.
bool IsDeviceName(const std::string& Part) {
  std::string name = Part.substr(0, Part.find('.'));
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name == "con" || name == "prn" || name == "aux" || name == "nul") return true;
  return name.size() == 4 && (name.compare(0, 3, "com") == 0 || name.compare(0, 3, "lpt") == 0) &&
         name[3] >= '1' && name[3] <= '9';
}

// An optional sign and decimal digits, nothing else, within 32 bits.
bool ParseInt32(const std::string& Text, int32_t& Value) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '-' || Text[i] == '+')) negative = Text[i++] == '-';
  if (i == Text.size()) return false;
  int64_t value = 0;
  for (; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1) return false;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return false;
  Value = static_cast<int32_t>(value);
  return true;
}

}  // namespace

std::vector<std::string> SplitIndexLines(const std::string& Text) {
  std::vector<std::string> lines;
  size_t start = 0, i = 0;
  while (i < Text.size()) {
    const char c = Text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(Text.substr(start, i - start));
      i += (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < Text.size()) lines.push_back(Text.substr(start));
  return lines;
}

bool LoadIndexFile(const std::string& Path, std::vector<std::string>& Lines) {
  std::ifstream file(Path, std::ios::binary);
  if (!file) return false;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > MaxIndexBytes) return false;
  file.seekg(0, std::ios::beg);
  std::string text(static_cast<size_t>(size), '\0');
  if (size > 0 && !file.read(&text[0], size)) return false;
  Lines = SplitIndexLines(text);
  return true;
}

std::string LineName(const std::string& Line) {
  const size_t equals = Line.find('=');
  return equals == std::string::npos ? std::string() : Line.substr(0, equals);
}

size_t TIndexValues::TNameHash::operator()(std::string_view Name) const noexcept {
  // FNV-1a over the lower-case bytes.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : Name) hash = (hash ^ static_cast<unsigned char>(std::tolower(c))) * 1099511628211ull;
  return static_cast<size_t>(hash);
}

bool TIndexValues::TSameName::operator()(std::string_view A, std::string_view B) const noexcept {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i])))
      return false;
  return true;
}

TIndexValues::TIndexValues(const std::vector<std::string>& Lines) {
  FFirst.reserve(Lines.size());
  for (const std::string& line : Lines) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string_view text(line);
    // The first line of a name wins: later ones do not replace it.
    FFirst.emplace(text.substr(0, equals), text.substr(equals + 1));
  }
}

std::string TIndexValues::Of(const std::string& Name) const {
  const auto found = FFirst.find(Name);
  return found == FFirst.end() ? std::string() : std::string(found->second);
}

void PickIndices(int N, int Lo, int Hi, std::vector<int>& Chosen) {
  if (N <= 0) return;
  const int mid = (Lo + Hi) / 2;
  if (N == 1) {
    if (Chosen.size() < static_cast<size_t>(MaxNails)) Chosen.push_back(mid);
    return;
  }
  const int half = N / 2;
  PickIndices(half, Lo, mid, Chosen);
  PickIndices(N - half, mid + 1, Hi, Chosen);
}

std::vector<int> ChooseNailLines(int Count) {
  std::vector<int> chosen;
  if (Count <= 0) return chosen;
  if (Count <= MaxNails) {
    for (int i = 0; i < Count; ++i) chosen.push_back(i);
    return chosen;
  }
  chosen.push_back(0);
  PickIndices(MaxNails - 2, 1, Count - 2, chosen);
  chosen.push_back(Count - 1);
  return chosen;
}

std::vector<TNailEntry> ReadNailEntries(const std::vector<std::string>& Lines) {
  const TIndexValues values(Lines);
  std::vector<TNailEntry> entries;
  for (int index : ChooseNailLines(static_cast<int>(Lines.size()))) {
    const std::string& line = Lines[index];
    if (BlankLine(line)) break;
    const std::string name = LineName(line);
    int32_t milliseconds = 0;
    if (!ParseInt32(name, milliseconds)) break;
    entries.push_back({milliseconds / 1000, values.Of(name)});
  }
  return entries;
}

bool IsSafeNailName(const std::string& Name) {
  if (Name.empty() || Name[0] == '\\' || Name[0] == '/') return false;
  if (Name.find(':') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = Name.find_first_of("\\/", start);
    const std::string part = Name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part == ".." || IsDeviceName(part)) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

std::vector<std::string> NailImagesToFetch(const std::vector<std::string>& Lines) {
  const TIndexValues values(Lines);
  std::vector<std::string> images;
  for (const std::string& line : Lines) {
    std::string value = values.Of(LineName(line));
    if (value.empty()) break;
    // The name comes from the server: it may only name a file in "nails".
    if (IsSafeNailName(value)) images.push_back(std::move(value));
  }
  return images;
}

std::string URLFolder(const std::string& URL) {
  const size_t slash = URL.rfind('/');
  return slash == std::string::npos ? std::string() : URL.substr(0, slash + 1);
}

std::string FileFolder(const std::string& Path) {
  const size_t end = Path.find_last_of("\\:");
  return end == std::string::npos ? std::string() : Path.substr(0, end + 1);
}
