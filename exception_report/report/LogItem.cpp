#include "report/LogItem.h"

#include <algorithm>
#include <vector>

#include "core/VArevText.h"
#include "report/LogText.h"

namespace RevavaRez {

TLogItem::TLogItem(int32_t firstSection) : FFirstSection(firstSection) { Clear(); }

void TLogItem::Clear() {
  FText.clear();
  FSectionNo = FFirstSection;
  FItemNo = 0;
}

void TLogItem::AddSection(const std::string& title) {
  ++FSectionNo;
  FItemNo = 0;
  if (!FText.empty()) FText += "\r\n\r\n";
  FText += title;
  FText += ":\r\n-";
}

void TLogItem::AddItem(const std::string& label, const std::string& value, bool visible) {
  ++FItemNo;
  if (!visible) return;
  std::string line = "  " + std::to_string(FSectionNo) + "." + std::to_string(FItemNo) + " " + label + ": ";
  // CR and LF alone break a line as CR LF does: the alignment and every
  // reader of the log split there too, so a value kept on one line would
  // bring its blank lines into the layout.
  if (value.find_first_of("\r\n") == std::string::npos) {
    line += value;
  } else {
    // Inside a multi-line value ": " would be taken for an item's own
    // separator by the alignment and by the readers, and an empty line
    // would end the section.
    std::vector<std::string> lines = SplitLines(ReplaceAll(value, ": ", ":_"));
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) line += "\r\n ";
      line += Trim(lines[i]).empty() ? std::string(".") : lines[i];
    }
  }
  FText += "\r\n";
  FText += line;
}

namespace {

// A section title, or a line of at most one character (an empty line too).
bool IsTitleLine(const std::string& line) { return Pos(":", line) + 1 >= line.size(); }

}  // namespace

std::string TLogItem::GetText() const {
  std::vector<std::string> lines = SplitLines(FText);
  lines.emplace_back();  // closes the last section
  size_t start = 0;
  for (;;) {
    while (start < lines.size() && !IsTitleLine(lines[start])) ++start;
    if (start >= lines.size()) break;
    size_t end = start + 1;
    while (end < lines.size() && !lines[end].empty()) ++end;
    if (end >= lines.size()) break;
    if (end < start + 2) {
      // A title without an underline: nothing to align.
      start = end + 1;
      continue;
    }
    if (end == start + 2) {
      // A section whose items were all hidden goes with its blank line.
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(start),
                  lines.begin() + static_cast<std::ptrdiff_t>(end) + 1);
      continue;
    }
    size_t maxLen = 0, colonCol = 1;
    for (size_t i = start; i < end; ++i) {
      maxLen = std::max(maxLen, lines[i].size());
      colonCol = std::max(colonCol, Pos(": ", lines[i]));
    }
    for (size_t i = start + 2; i < end; ++i) {
      std::string& line = lines[i];
      size_t p = Pos(": ", line);
      if (p < colonCol) line.insert(p == 0 ? 0 : p - 1, colonCol - p, ' ');
      maxLen = std::max(maxLen, line.size());
    }
    lines[start + 1].assign(maxLen, '-');
    start = end + 1;
  }
  if (!lines.empty()) lines.pop_back();
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace RevavaRez
