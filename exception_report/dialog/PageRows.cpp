#include <cctype>
#include <cstdlib>

#include "core/VArevText.h"
#include "dialog/DialogPages.h"
#include "options/VezavuModuleOptions.h"
#include "report/ReportTables.h"
#include "stack/ThreadHeader.h"
#include "stack/ThreadsList.h"

namespace RevavaRez {

namespace {

constexpr size_t kCallStackColumns = 6;

int32_t EntryImage(const TVezavuStackEntry& entry) {
  if (entry.Kind == dkLineTables) return liPas;
  switch (entry.Module ? entry.Module->Kind : static_cast<uint8_t>(mkUnknown)) {
    case mkProgram:
      return liVcl;
    case mkPackage:
      return liBpl;
    case mkUnknown:
    case mkLibrary:
      return liDll;
    default:
      return liPas;
  }
}

std::string UpperText(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::vector<TPageRow> CallStackRows(const TVezavuStackList& stack, const TVezavuModuleOptions& options,
                                    TVezavuThreadsList* threads, DWORD mainThreadID, int addressDigits) {
  const uint32_t mask = EntryKindMask(options.StackFlags());
  const bool relativeLines = (options.StackFlags() & 0x10) != 0;
  std::vector<TPageRow> rows;
  const TVezavuStackEntry* previous = nullptr;
  for (const TVezavuStackEntry* entry : stack.List()) {
    if (!entry || entry->Kind >= 32 || (mask & (1u << entry->Kind)) == 0) continue;
    // Export-split names of the program itself say less than its own lines.
    if (entry->Kind == dkExportSplit && entry->Module && entry->Module->Kind == mkProgram) continue;
    if (!previous || previous->ThreadID != entry->ThreadID || previous->ThreadFlag != entry->ThreadFlag) {
      if (previous && entry->ThreadFlag) {
        TPageRow separator;
        separator.Texts.assign(kCallStackColumns, std::string());
        rows.push_back(separator);
      }
      TPageRow header;
      header.Texts.assign(kCallStackColumns, std::string());
      header.Header = true;
      header.Running = entry->ThreadFlag ? 1 : 0;
      header.HeaderText =
          ThreadHeaderText(options, entry->ThreadID, previous == nullptr, entry->ThreadFlag, threads, mainThreadID);
      rows.push_back(header);
    }
    std::string line;
    if (entry->Line != 0) {
      line = std::to_string(entry->Line);
      if (relativeLines) line += "[" + std::to_string(entry->RelativeLine) + "]";
    }
    TPageRow row;
    row.Texts = {HexText(entry->Address, addressDigits),
                 entry->Kind != dkAddress && entry->Module ? ExtractFileName(entry->Module->FileName) : "",
                 entry->UnitName,
                 entry->ClassName,
                 entry->ProcedureName,
                 line};
    row.Running = entry->ThreadFlag ? 1 : 0;
    row.Image = EntryImage(*entry);
    rows.push_back(row);
    previous = entry;
  }
  return rows;
}

TPageRow ModuleRow(const TVezavuModuleInfo& module, int handleDigits) {
  TPageRow row;
  row.Texts = {HexText(reinterpret_cast<uintptr_t>(module.Handle), handleDigits),
               ExtractFileName(module.FileName),
               module.Description,
               ShortVersion(module.Version),
               KilobyteText(module.Size),
               ModuleDateText(module.Modified),
               ModuleDirectory(module)};
  const std::string extension = UpperText(ExtractFileExt(module.FileName));
  if (extension == ".BPL" || extension == ".DPL")
    row.Image = liBpl;
  else if (extension == ".EXE")
    row.Image = liVcl;
  else
    row.Image = liDll;
  return row;
}

std::string ShortVersion(const std::string& version) {
  const size_t first = version.find('.');
  if (first == std::string::npos) return version;
  const size_t second = version.find('.', first + 1);
  if (second == std::string::npos) return version;
  return version.substr(0, second + 1) + "x";
}

std::string KilobyteText(uint32_t bytes) {
  uint32_t whole = bytes / 1024;
  const uint32_t rest = bytes % 1024;
  if (rest > 512 || (rest == 512 && (whole & 1) != 0)) ++whole;
  return std::to_string(whole) + " Kb";
}

uintptr_t ParseRowAddress(const std::string& text, int digits) {
  if (text.empty() || digits <= 0 || text.size() > static_cast<size_t>(digits)) return 0;
  uint64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return 0;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  // A value wider than this build's pointers names no address here.
  if (value > static_cast<uint64_t>(UINTPTR_MAX)) return 0;
  return static_cast<uintptr_t>(value);
}

void ParseLineColumn(const std::string& text, int32_t& line, int32_t& relativeLine) {
  // Bounded digits: the column is a display text, so anything past what a
  // 32-bit number holds is cut rather than overflowing.
  auto digitsAt = [&text](size_t at, size_t& end) {
    int64_t value = 0;
    end = at;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
      if (value < INT32_MAX) value = value * 10 + (text[end] - '0');
      ++end;
    }
    return static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value);
  };
  size_t end = 0;
  line = digitsAt(0, end);
  relativeLine = -1;
  const size_t open = text.find('[');
  if (open == std::string::npos) return;
  size_t relativeEnd = 0;
  const int32_t relative = digitsAt(open + 1, relativeEnd);
  if (relativeEnd > open + 1) relativeLine = relative;
}

}  // namespace RevavaRez
