#include "report/ReportTables.h"

#include <algorithm>
#include <cstdio>

#include "core/ExceptionLogText.h"
#include "core/VArevText.h"
#include "report/CpuSection.h"

namespace RevavaRez {

namespace {

const std::string kLineEnd = "\r\n";

// Each column as wide as its longest cell or its title, at least its minimum.
std::vector<size_t> ColumnWidths(const std::vector<std::string>& titles,
                                 const std::vector<std::vector<std::string>>& rows,
                                 const std::vector<size_t>& minimum) {
  std::vector<size_t> widths(titles.size(), 0);
  for (size_t i = 0; i < titles.size(); ++i) {
    widths[i] = std::max(titles[i].size(), i < minimum.size() ? minimum[i] : 0);
    for (const std::vector<std::string>& row : rows)
      if (i < row.size()) widths[i] = std::max(widths[i], row[i].size());
  }
  return widths;
}

size_t Sum(const std::vector<size_t>& widths) {
  size_t sum = 0;
  for (size_t width : widths) sum += width;
  return sum;
}

// Title line, top rule, title row, rule: the head both tables share. The
// rule runs the whole width of a row, bars included.
std::string TableHead(const std::string& title, const std::vector<std::string>& columnTitles,
                      const std::vector<size_t>& widths, const std::string& rule) {
  return title + ":" + kLineEnd + rule + kLineEnd + TableRowText(columnTitles, widths) + rule + kLineEnd;
}

// Pads or trims the titles to the table's column count, so that a short
// list never shifts a column under another's title.
std::vector<std::string> Titles(const std::vector<std::string>& columnTitles, size_t count) {
  std::vector<std::string> titles(columnTitles);
  titles.resize(count);
  return titles;
}

struct TStackRow {
  const TVezavuStackEntry* Entry;
  std::vector<std::string> Cells;
};

}  // namespace

std::string CallStackTableText(const TVezavuStackList& stack, const std::string& title,
                               const std::vector<std::string>& columnTitles, uint8_t stackFlags,
                               uint32_t kindMask, const TThreadHeaderFn& header, int addressDigits) {
  const bool relativeLines = (stackFlags & 0x10) != 0;
  std::vector<TStackRow> rows;
  for (const TVezavuStackEntry* entry : stack.List()) {
    if (!entry || entry->Kind >= 32 || (kindMask & (1u << entry->Kind)) == 0) continue;
    std::string line;
    if (entry->Line != 0) {
      line = std::to_string(entry->Line);
      if (relativeLines) line += "[" + std::to_string(entry->RelativeLine) + "]";
    }
    rows.push_back({entry,
                    {HexText(entry->Address, addressDigits),
                     entry->Module ? ExtractFileName(entry->Module->FileName) : "", entry->UnitName,
                     entry->ClassName, entry->ProcedureName, line}});
  }
  const std::vector<std::string> titles = Titles(columnTitles, 6);
  std::vector<std::vector<std::string>> cells;
  for (const TStackRow& row : rows) cells.push_back(row.Cells);
  const std::vector<size_t> widths = ColumnWidths(titles, cells, {size_t(std::max(addressDigits, 0))});
  const size_t inner = Sum(widths) + 5;
  const std::string rule(inner + 2, '-');
  std::string text = TableHead(title, titles, widths, rule);
  const TVezavuStackEntry* previous = nullptr;
  for (const TStackRow& row : rows) {
    const TVezavuStackEntry& entry = *row.Entry;
    if (!previous || previous->ThreadID != entry.ThreadID || previous->ThreadFlag != entry.ThreadFlag) {
      if (previous && entry.ThreadFlag) text += "|" + std::string(inner, ' ') + "|" + kLineEnd;
      // A longer header is written whole: cutting it would lose the thread's
      // ID or main mark, which the log's reader takes from it.
      const std::string heading = header ? header(entry.ThreadID, previous == nullptr, entry.ThreadFlag) : "";
      text += "|" + PadRight(heading, inner) + "|" + kLineEnd;
    }
    text += TableRowText(row.Cells, widths);
    previous = &entry;
  }
  return text + rule + kLineEnd + kLineEnd;
}

std::string ModuleDateText(TDateTime date) {
  const TDateParts parts = DecodeDateTime(date);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", parts.Year, parts.Month, parts.Day,
                parts.Hour, parts.Minute, parts.Second);
  return text;
}

std::string ModulesTableText(bool write, const std::string& title,
                             const std::vector<std::string>& columnTitles,
                             const std::vector<const TVezavuModuleInfo*>& modules, int handleDigits) {
  if (!write) return SectionTitle(title);
  const std::vector<std::string> titles = Titles(columnTitles, 7);
  std::vector<std::vector<std::string>> cells;
  for (const TVezavuModuleInfo* module : modules) {
    if (!module) continue;
    // Padded again below, once its column's width is known.
    cells.push_back({HexText(reinterpret_cast<uintptr_t>(module->Handle), handleDigits),
                     ExtractFileName(module->FileName), module->Description, module->Version,
                     std::to_string(module->Size), ModuleDateText(module->Modified),
                     ModuleDirectory(*module)});
  }
  const std::vector<size_t> widths = ColumnWidths(titles, cells, {size_t(std::max(handleDigits, 0))});
  const std::string rule(Sum(widths) + 8, '-');
  std::string text = TableHead(title, titles, widths, rule);
  for (std::vector<std::string>& line : cells) {
    // "At the column's width": zeros, not blanks, fill a wider column.
    line[0] = std::string(widths[0] - line[0].size(), '0') + line[0];
    text += TableRowText(line, widths);
  }
  return text + rule + kLineEnd + kLineEnd;
}

}  // namespace RevavaRez
