#include "report/LogFile.h"

#include <algorithm>

#include "core/VArevText.h"
#include "packing/Base64.h"
#include "packing/Encryption.h"
#include "report/LogFilePlace.h"
#include "report/LogText.h"
#include "report/XMLItems.h"

namespace RevavaRez {

const char kEntryTerminator[] = "\r\n\r\n\r\n";

namespace {

const std::string Terminator(kEntryTerminator);
// The end of a report's own last line followed by the terminator.
const std::string EntryEnd = "\r\n\r\n\r\n\r\n";
// The end of a title underline that is also a table's top border.
const std::string TableMark = "-\r\n|";
const std::string BlankLine = "\r\n\r\n";
const std::string TitleEnd = ":\r\n-";
const std::string TableEnd = "-\r\n\r\n";
const std::string NoRegister = "????    ";
constexpr size_t npos = std::string::npos;

bool HasLoneBreak(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) return true;
    if (text[i] == '\n' && i > 0 && text[i - 1] != '\r') return true;
  }
  return false;
}

std::string NormaliseBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

size_t LineStartOf(const std::string& text, size_t pos) {
  if (pos == 0 || pos > text.size()) return 0;
  size_t lf = text.rfind('\n', pos - 1);
  return lf == npos ? 0 : lf + 1;
}

size_t LineEndOf(const std::string& text, size_t from) {
  size_t end = text.find("\r\n", from);
  return end == npos ? text.size() : end;
}

// Start of the item's line: CR LF, two spaces, the number and a space.
size_t FindItemLine(const std::string& entry, const std::string& key) {
  size_t at = entry.find("\r\n  " + key + " ");
  return at == npos ? npos : at + 2;
}

// The ": " that ends the label of the item line at lineStart, when that
// line holds one.
size_t ItemColon(const std::string& entry, size_t lineStart) {
  size_t colon = entry.find(": ", lineStart);
  return colon == npos || colon >= LineEndOf(entry, lineStart) ? npos : colon;
}

// The next numbered item: two spaces, then the item number.
bool IsItemLineAt(const std::string& text, size_t lineStart) {
  return lineStart + 2 < text.size() && text[lineStart] == ' ' && text[lineStart + 1] == ' ' &&
         text[lineStart + 2] != ' ' && text[lineStart + 2] != '\r';
}

bool IsItemLine(const std::string& line) { return IsItemLineAt(line, 0); }

// A value runs on over its continuation lines until an empty line, the next
// item or the end of the entry.
bool ValueEndsAt(const std::string& text, size_t lineStart) {
  return lineStart >= text.size() || text.compare(lineStart, 2, "\r\n") == 0 || IsItemLineAt(text, lineStart);
}

std::string Span(const std::string& text, size_t first, size_t end) {
  return end > first && end <= text.size() ? text.substr(first, end - first) : std::string();
}

// The first line of the call-stack table (its top border), npos without one.
size_t CallStackStart(const std::string& entry) {
  size_t mark = entry.find(TableMark);
  return mark == npos ? npos : LineStartOf(entry, mark);
}

std::string GeneralOf(const std::string& entry) {
  size_t border = CallStackStart(entry);
  if (border == npos || border < 2) return std::string();
  size_t end = LineStartOf(entry, border - 1);  // the table's title line
  while (end > 0 && (entry[end - 1] == '\r' || entry[end - 1] == '\n' || entry[end - 1] == ' ')) --end;
  return entry.substr(0, end);
}

std::string CallStackOf(const std::string& entry) {
  size_t start = CallStackStart(entry);
  if (start == npos) return std::string();
  size_t end = entry.find(TableEnd, entry.find(TableMark));
  return end == npos ? std::string() : Span(entry, start, end + 1);
}

std::string ModulesOf(const std::string& entry) {
  size_t stack = CallStackStart(entry);
  if (stack == npos) return std::string();
  size_t title = entry.find(TitleEnd, stack);
  if (title == npos) return std::string();
  size_t start = title + 3;
  size_t next = LineEndOf(entry, start) + 2;
  if (next >= entry.size() || entry[next] != '|') return std::string();
  size_t end = entry.find(TableEnd, start);
  return end == npos ? std::string() : Span(entry, start, end + 1);
}

std::string ProcessorOf(const std::string& entry) {
  size_t at = entry.find(TableMark);
  for (int table = 0; table < 2 && at != npos; ++table) {
    at = entry.find(BlankLine, at);
    if (at != npos) at += BlankLine.size();
  }
  if (at == npos || at >= entry.size()) return std::string();
  size_t start = LineStartOf(entry, at);
  size_t end = entry.find(BlankLine, start);
  if (end != npos) end = entry.find(BlankLine, end + BlankLine.size());
  if (end == npos) return std::string();
  std::string text = Span(entry, start, end);
  // 32-bit builds name EAX, 64-bit ones RAX; a title-only section has neither.
  return text.find("EAX") == npos && text.find("RAX") == npos ? std::string() : text;
}

std::string StepsOf(const std::string& entry) {
  size_t at = npos;
  for (int mark = 0; mark < 3; ++mark) {
    at = entry.find(TableMark, at == npos ? 0 : at + 1);
    if (at == npos) return std::string();
  }
  for (int title = 0; title < 3; ++title) {
    at = entry.find(TitleEnd, at + 1);
    if (at == npos) return std::string();
  }
  size_t lineEnd = entry.find("\r\n", at + 3);
  if (lineEnd == npos) return std::string();
  size_t start = lineEnd + 2;
  size_t end = entry.find(BlankLine, start);
  return end == npos ? std::string() : Span(entry, start, end);
}

std::string VersionOf(const std::string& entry) {
  return Copy(entry.substr(0, LineEndOf(entry, 0)), 11, npos);
}

// Lines of a table text from its first row to the row before the bottom
// border, with the rule rows left out.
std::vector<std::string> TableRows(const std::string& table) {
  std::vector<std::string> lines = SplitLines(table), rows;
  for (size_t i = 3; i + 1 < lines.size(); ++i)
    if (lines[i].compare(0, 2, "|-") != 0) rows.push_back(lines[i]);
  return rows;
}

std::vector<std::string> Cells(const std::string& row) {
  std::vector<std::string> cells;
  SplitBySet("|", row, cells);
  return cells;
}

std::string Cell(const std::vector<std::string>& cells, size_t number) {
  return number >= 1 && number <= cells.size() ? cells[number - 1] : std::string();
}

// Every line but the first and the last two blanks in, each ending with
// CR LF.
std::string IndentInner(const std::string& text) {
  std::vector<std::string> lines = SplitLines(text);
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0 && i + 1 < lines.size()) out += "  ";
    out += lines[i];
    out += "\r\n";
  }
  return out;
}

std::string CleanValue(std::string value) {
  if (value.compare(0, 3, ".\r\n") == 0) value.erase(0, 1);
  if (value.size() >= 3 && value.compare(value.size() - 3, 3, "\r\n.") == 0) value.pop_back();
  value = ReplaceAll(value, ":_", ": ");
  return ReplaceAll(value, "\n.\r", "\n\r");
}

void AddGeneral(TXMLItem& general, const std::string& text) {
  std::vector<std::string> lines = SplitLines(text);
  TXMLItem* group = nullptr;
  TXMLItem* line = nullptr;
  std::string groupLabel, value;
  bool groupNamed = false, underline = false;
  auto finishLine = [&] {
    if (line) line->AddAttribute("Value", CleanValue(value));
    line = nullptr;
    value.clear();
  };
  for (size_t i = 2; i < lines.size(); ++i) {
    if (underline) {
      underline = false;
      continue;
    }
    std::string trimmed = Trim(lines[i]);
    if (trimmed.empty()) {
      finishLine();
      group = nullptr;
    } else if (!group) {
      group = general.AddChild("Group");
      groupLabel = trimmed.substr(0, trimmed.size() - 1);
      groupNamed = false;
      underline = true;
    } else if (IsItemLine(lines[i])) {
      finishLine();
      size_t colon = trimmed.find(": ");
      size_t labelEnd = colon != npos ? colon : trimmed.back() == ':' ? trimmed.size() - 1 : trimmed.size();
      size_t space = trimmed.find(' ');
      std::string number = trimmed.substr(0, std::min(space, trimmed.size()));
      if (!groupNamed) {
        group->AddAttribute("ID", number.substr(0, number.find('.')));
        group->AddAttribute("Label", groupLabel);
        groupNamed = true;
      }
      line = group->AddChild("Line");
      line->AddAttribute("ID", number);
      line->AddAttribute("Label", space < labelEnd ? Trim(trimmed.substr(space + 1, labelEnd - space - 1)) : "");
      value = colon != npos ? trimmed.substr(colon + 2) : std::string();
    } else if (line && trimmed.find(": ") == npos) {
      value += "\r\n";
      value += trimmed;
    }
  }
  finishLine();
}

bool IsNameText(const std::string& text) {
  for (char c : text)
    if (!(c == '.' || c == '@' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
          (c >= 'a' && c <= 'z')))
      return false;
  return true;
}

// False when the text is no Base64 of anything, so that a broken cell is
// not taken for an empty name.
bool DecodeName(const std::string& coded, std::string& name) {
  name = Base64Decode(coded);
  if (name.empty() && !coded.empty()) return false;
  DecryptBuffer(name.data(), &name[0], name.size());
  return true;
}

void DecodeNames(std::string& unit, std::string& className, std::string& procedure) {
  if (unit.size() < 2 || unit[0] != '?') return;
  std::string extension = unit[1] == 'p' ? ".pas" : ".cpp";
  std::string newUnit, newClass = className, newProcedure;
  bool decoded = DecodeName(unit.substr(2), newUnit) && DecodeName(procedure.substr(std::min<size_t>(1, procedure.size())), newProcedure);
  if (!decoded) return;
  if (ExtractFileExt(newUnit).empty()) newUnit += extension;
  size_t dot = newProcedure.find('.');
  if (dot != npos) {
    newClass = newProcedure.substr(0, dot);
    newProcedure.erase(0, dot + 1);
  } else if (!className.empty() && !DecodeName(className.substr(1), newClass)) {
    return;
  }
  if (!IsNameText(newUnit) || !IsNameText(newClass) || !IsNameText(newProcedure)) return;
  unit = newUnit;
  className = newClass;
  procedure = newProcedure;
}

std::string ValueAfterEquals(const std::string& piece) {
  size_t equals = piece.find('=');
  return equals == npos ? piece : piece.substr(equals + 1);
}

// The header row of a thread: "<kind>: ID=..; Priority=..[; Class=..][; [Main]]".
// The class is written only when the thread has one, so the main mark is
// known by its brackets, not by its place.
void SetThreadAttributes(TXMLItem& thread, const std::string& firstCell) {
  size_t colon = firstCell.find(':');
  std::vector<std::string> pieces;
  SplitBySet(";", colon == npos ? firstCell : Copy(firstCell, colon + 3, npos), pieces);
  bool mainThread = false;
  std::string className;
  for (size_t i = 2; i < pieces.size(); ++i) {
    const std::string& piece = pieces[i];
    if (piece.size() >= 2 && piece.front() == '[' && piece.back() == ']')
      mainThread = true;
    else if (i == 2)
      className = ValueAfterEquals(piece);
  }
  thread.AddAttribute("ID", pieces.empty() ? std::string() : ValueAfterEquals(pieces[0]));
  thread.AddAttribute("Priority", pieces.size() < 2 ? std::string() : ValueAfterEquals(pieces[1]));
  thread.AddAttribute("Class", className);
  thread.AddAttribute("MainThread", mainThread ? "True" : "False");
}

void AddCallStack(TXMLItem& callStack, const std::string& text, bool oldLayout, bool decode) {
  TXMLItem* thread = oldLayout ? callStack.AddChild("ExceptionThread") : nullptr;
  bool anyThread = thread != nullptr, newTopLevel = !anyThread;
  for (const std::string& row : TableRows(text)) {
    std::vector<std::string> cells = Cells(row);
    if (cells.size() < 6) {
      if (cells.empty() || cells[0].empty()) {
        newTopLevel = true;
        continue;
      }
      if (newTopLevel || !thread) {
        thread = callStack.AddChild(anyThread ? "RunningThread" : "ExceptionThread");
        anyThread = true;
        newTopLevel = false;
      } else {
        thread = thread->AddChild("CallingThread");
      }
      SetThreadAttributes(*thread, cells[0]);
      continue;
    }
    std::string unit = cells[2], className = cells[3], procedure = cells[4];
    if (decode) DecodeNames(unit, className, procedure);
    if (!procedure.empty() && procedure[0] == '@') procedure[0] = '_';
    TXMLItem* line = (thread ? thread : &callStack)->AddChild("Line");
    line->AddAttribute("Address", cells[0]);
    line->AddAttribute("Module", cells[1]);
    line->AddAttribute("Unit", unit);
    line->AddAttribute("Class", className);
    line->AddAttribute("Procedure", procedure);
    const std::string& place = cells[5];
    size_t bracket = place.find('[');
    line->AddAttribute("Number", place.substr(0, bracket));
    line->AddAttribute("Offset", bracket == npos ? std::string() : Span(place, bracket + 1, place.size() - 1));
  }
}

void AddModules(TXMLItem& modules, const std::string& text) {
  for (const std::string& row : TableRows(text)) {
    std::vector<std::string> cells = Cells(row);
    if (cells.empty()) continue;
    TXMLItem* module = modules.AddChild("Module");
    static const char* const Names[] = {"Handle", "Name", "Description", "Version", "Size"};
    for (size_t i = 0; i < 5; ++i) module->AddAttribute(Names[i], Cell(cells, i + 1));
    if (cells.size() >= 7) {
      module->AddAttribute("Modified", Cell(cells, 6));
      module->AddAttribute("Path", Cell(cells, 7));
    } else {
      module->AddAttribute("Path", Cell(cells, 6));
    }
  }
}

void AddProcessor(TXMLItem& cpu, const std::string& text) {
  if (Trim(text).empty()) return;
  std::vector<std::string> lines = SplitLines(text);
  // A 64-bit build writes 16-digit values under the 64-bit register names;
  // every other text, stored 32-bit ones too, has 8 digits.
  const bool wide = lines.size() > 2 && lines[2].compare(0, 3, "RAX") == 0;
  const size_t w = wide ? 16 : 8;
  const std::string noRegister = wide ? NoRegister + std::string(8, ' ') : NoRegister;
  TXMLItem* registers = cpu.AddChild("Registers");
  static const char* const Names[4][2] = {{"EAX", "EDI"}, {"EBX", "ESI"}, {"ECX", "ESP"}, {"EDX", "EIP"}};
  static const char* const WideNames[4][2] = {{"RAX", "RDI"}, {"RBX", "RSI"}, {"RCX", "RSP"}, {"RDX", "RIP"}};
  for (size_t row = 0; row < 4 && row + 2 < lines.size(); ++row) {
    const std::string& line = lines[row + 2];
    for (size_t column = 0; column < 2; ++column) {
      std::string value = Copy(line, column == 0 ? 6 : w + 14, w);
      if (!value.empty() && value != noRegister)
        registers->AddAttribute(wide ? WideNames[row][column] : Names[row][column], value);
    }
  }
  TXMLItem* stack = cpu.AddChild("Stack");
  for (size_t i = 9; i < lines.size(); ++i) {
    TXMLItem* line = stack->AddChild("Line");
    line->AddAttribute("Address", Copy(lines[i], 1, w));
    line->AddAttribute("Value", Copy(lines[i], w + 3, w));
  }
  TXMLItem* dump = cpu.AddChild("MemoryDump");
  for (size_t i = 9; i < lines.size(); ++i) {
    TXMLItem* line = dump->AddChild("Line");
    line->AddAttribute("Address", Copy(lines[i], 2 * w + 6, w));
    // The sixteen byte pairs, after the blank that leads each of them.
    line->AddAttribute("Bytes", Copy(lines[i], 3 * w + 9, 47));
    line->AddAttribute("Chars", Copy(lines[i], 3 * w + 57, 16));
  }
}

std::string EntryXML(const std::string& entry, bool decode) {
  std::string version = VersionOf(entry);
  bool oldLayout = version < "5.0.0";
  std::string text = "<Log Version=\"" + TXMLItem::Escape(version) + "\">\r\n";
  TXMLItem general("General"), callStack("CallStack"), modules("Modules"), cpu("CPU");
  AddGeneral(general, GeneralOf(entry));
  AddCallStack(callStack, CallStackOf(entry), oldLayout, decode);
  AddModules(modules, ModulesOf(entry));
  AddProcessor(cpu, ProcessorOf(entry));
  general.Render(text);
  callStack.Render(text);
  modules.Render(text);
  cpu.Render(text);
  if (oldLayout) {
    TXMLItem steps("HoToReproduce");
    steps.AddAttribute("Text", StepsOf(entry));
    steps.Render(text);
  }
  text += "</Log>";
  return IndentInner(text);
}

// Makes the key of the coded names for one conversion and gives the
// module its own key back afterwards.
class TNamesKey {
 public:
  explicit TNamesKey(const std::string& password) : FActive(!password.empty()) {
    if (!FActive) return;
    EncryptionKey(FSaved);
    SetEncryptionKey(password);
  }
  ~TNamesKey() {
    if (FActive) SetEncryptionKeyWords(FSaved);
  }
  TNamesKey(const TNamesKey&) = delete;
  TNamesKey& operator=(const TNamesKey&) = delete;
  bool Active() const { return FActive; }

 private:
  bool FActive;
  uint32_t FSaved[4] = {};
};

std::string PartOf(const TStringList& entries, int index, std::string (*part)(const std::string&)) {
  return index >= 0 && index < entries.Count() ? part(entries[index]) : std::string();
}

}  // namespace

std::string FormatItemValue(const std::string& value, size_t colonColumn) {
  std::vector<std::string> lines = SplitLines(ReplaceAll(value, ": ", ":_"));
  // An empty value is a line that ends right after the label, not a text
  // that every entry matches.
  if (lines.empty()) lines.emplace_back();
  // As TLogItem stores a value with a line break: a blank first line is a
  // "." as well.
  bool broken = value.find_first_of("\r\n") != std::string::npos;
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out.append(colonColumn + 1, ' ');
    out += (i > 0 || broken) && Trim(lines[i]).empty() ? std::string(".") : lines[i];
    out += "\r\n";
  }
  return out;
}

TLogFile::TLogFile(const std::string& fileName, bool readOnly) : FReadOnly(readOnly) {
  if (fileName.empty()) return;
  FFileName = UsableLogFileName(fileName, readOnly);
  if (!LogFileExists(FFileName)) return;
  FStream.reset(new TFileStream(FFileName, (readOnly ? fmOpenRead : fmOpenReadWrite) | fmShareDenyNone));
  LoadFromStream(*FStream);
}

TLogFile::~TLogFile() = default;

void TLogFile::AddEntry(const std::string& text, int maxEntries) {
  while (FEntries.Count() > 0 && FEntries.Count() >= maxEntries) FEntries.Delete(0);
  // The loader finds a report only when its own last line ends before the
  // terminator; a report without that line end would be dropped on the
  // next load and erased by the save after it. A lone CR or LF at the end
  // counts as the line end it stands for.
  std::string entry = text;
  if (entry.empty() || (entry.back() != '\n' && entry.back() != '\r'))
    entry += "\r\n";
  else if (entry.back() == '\r')
    entry += '\n';
  else if (entry.size() < 2 || entry[entry.size() - 2] != '\r')
    entry.insert(entry.size() - 1, 1, '\r');
  FEntries.Add(entry + Terminator);
}

void TLogFile::Save() {
  if (FReadOnly) throw EWriteError("The log \"" + FFileName + "\" is open for reading only");
  std::string text;
  for (int i = 0; i < FEntries.Count(); ++i) {
    if (i > 0) text += "\r\n";
    text += FEntries[i];
  }
  // The file is replaced, not rewritten; the handle held since loading
  // would stand in the way.
  FStream.reset();
  WriteLogFile(FFileName, text);
}

std::string TLogFile::GetText() const { return FEntries.Text(); }

bool TLogFile::HasEntryWith(const std::vector<std::string>& keys, const std::vector<std::string>& values) const {
  if (keys.size() != values.size()) return false;
  for (int e = 0; e < FEntries.Count(); ++e) {
    const std::string& entry = FEntries[e];
    bool all = true;
    for (size_t i = 0; i < keys.size() && all; ++i) {
      size_t line = FindItemLine(entry, keys[i]);
      size_t colon = line == npos ? npos : ItemColon(entry, line);
      if (colon == npos) {
        all = false;
        continue;
      }
      std::string expected = FormatItemValue(values[i], colon - line + 1);
      // The whole value must match, not only its first lines.
      size_t after = colon + 2 + expected.size();
      all = entry.compare(colon + 2, expected.size(), expected) == 0 && ValueEndsAt(entry, after);
    }
    if (all) return true;
  }
  return false;
}

std::string TLogFile::ReadItemValue(const std::string& key, int index) const {
  if (index < 0 || index >= Count()) return std::string();
  const std::string& entry = FEntries[index];
  size_t line = FindItemLine(entry, key);
  size_t colon = line == npos ? npos : ItemColon(entry, line);
  if (colon == npos) return std::string();
  size_t end = LineEndOf(entry, line);
  std::string value = Span(entry, colon + 2, end);
  while (end + 2 < entry.size()) {
    size_t next = end + 2;
    if (ValueEndsAt(entry, next)) break;
    end = LineEndOf(entry, next);
    while (next < end && entry[next] == ' ') ++next;
    value += "\r\n";
    value += Span(entry, next, end);
  }
  // A line of only "." stands for an empty one; a line that merely ends
  // with "." (a sentence) keeps its point.
  for (size_t i = 1; i < value.size(); ++i) {
    char& c = value[i];
    if (c == '_' && value[i - 1] == ':')
      c = ' ';
    else if (c == '.' && value[i - 1] == '\n' && (i + 1 == value.size() || value[i + 1] == '\r'))
      c = ' ';
  }
  return Trim(value);
}

std::string TLogFile::EntryVersion(int index) const { return PartOf(FEntries, index, VersionOf); }
std::string TLogFile::GeneralText(int index) const { return PartOf(FEntries, index, GeneralOf); }
std::string TLogFile::CallStackText(int index) const { return PartOf(FEntries, index, CallStackOf); }
std::string TLogFile::ModulesText(int index) const { return PartOf(FEntries, index, ModulesOf); }
std::string TLogFile::ProcessorText(int index) const { return PartOf(FEntries, index, ProcessorOf); }
std::string TLogFile::StepsText(int index) const { return PartOf(FEntries, index, StepsOf); }

std::string TLogFile::EntryToXML(int index) const {
  if (index < 0 || index >= Count()) return std::string();
  TNamesKey key(Password);
  return EntryXML(FEntries[index], key.Active());
}

std::string TLogFile::ToXML() const {
  TNamesKey key(Password);
  std::string text = "<Doc>\r\n";
  for (int i = 0; i < FEntries.Count(); ++i) text += EntryXML(FEntries[i], key.Active());
  text += "</Doc>";
  return IndentInner(text);
}

void TLogFile::SaveAsXML(const std::string& fileName) const {
  std::string text = ToXML();
  TFileStream file(fileName, fmCreate);
  file.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TLogFile::LoadFromStream(TStream& stream) {
  int64_t remaining = stream.Remaining();
  if (remaining > kLogFileLimit)
    throw ELogTooLarge("The log \"" + FFileName + "\" is larger than " + std::to_string(kLogFileLimit >> 20) +
                       " MiB");
  std::string text(static_cast<size_t>(remaining), '\0');
  size_t got = 0;
  while (got < text.size()) {
    int64_t read = stream.Read(&text[got], static_cast<int64_t>(text.size() - got));
    if (read <= 0) break;
    got += static_cast<size_t>(read);
  }
  text.resize(got);
  LoadFromText(std::move(text));
}

void TLogFile::LoadFromText(std::string text) {
  FEntries.Clear();
  if (text.size() < 6) return;
  if (text.size() < Terminator.size() || text.compare(text.size() - Terminator.size(), npos, Terminator) != 0)
    text += Terminator;
  if (HasLoneBreak(text)) text = NormaliseBreaks(text);
  // Each piece keeps its report's own last line end and the terminator, as
  // AddEntry stored it: a log saved without a new entry must read back the
  // same, or every such save would lose its newest report. The line break
  // Save puts between two entries (and any more a hand edit left) belongs
  // to neither.
  size_t start = 0;
  while (start < text.size()) {
    size_t run = text.find(EntryEnd, start);
    if (run == npos) break;
    size_t end = run + EntryEnd.size();
    std::string piece = text.substr(start, end - start);
    if (piece.find(TableMark) != npos) FEntries.Add(piece);
    start = end;
    while (text.compare(start, 2, "\r\n") == 0) start += 2;
  }
}

}  // namespace RevavaRez
