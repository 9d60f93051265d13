#include "core/RichTextPages.h"

#include <richedit.h>

#include <cstring>
#include <vector>

#include "core/ExceptionLogText.h"
#include "core/StringList.h"
#include "core/VArevText.h"

namespace RevavaRez {

namespace {

std::vector<std::string> Lines(const std::string& text) {
  TStringList list;
  list.SetText(EscapeRichText(text));
  std::vector<std::string> lines;
  for (int i = 0; i < list.Count(); ++i) lines.push_back(list[i]);
  return lines;
}

std::string Wrap(const std::vector<std::string>& lines, const TRichTextFont& font) {
  std::string rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset" +
      std::to_string(font.CharSet) + " " + font.Name +
      ";}}\r\n{\\colortbl ;\\red0\\green100\\blue100;\\red0\\green0\\blue0;\\red40\\green40\\blue40;"
      "\\red0\\green0\\blue160;}\r\n\\f0\\fs" +
      std::to_string(font.Size * 2) + "\r\n";
  for (const std::string& line : lines) rtf += line + "\r\n";
  return rtf + "}";
}

}  // namespace

std::string GeneralRichText(const std::string& text, const TRichTextFont& font) {
  std::vector<std::string> lines = Lines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string& line = lines[i];
    size_t colon = Pos(":", line);
    size_t pair = Pos(": ", line);
    if (i == 0) {
      line = "\\cf1\\b " + line + "\\b0";
    } else if (colon > 0 && line.size() == colon + 4) {
      // A heading: its colon and the line's "\par" end it.
      line = "\\cf3\\b " + line + "\\b0";
    } else if (!line.empty() && line[0] == '-') {
      line = "\\cf3 " + line;
    } else if (pair > 0) {
      line = "\\cf2 " + Copy(line, 1, pair) + "\\cf4 " + Copy(line, pair + 1, line.size());
    }
  }
  return Wrap(lines, font);
}

std::string CpuRichText(const std::string& text, const TRichTextFont& font, int tabStop) {
  std::vector<std::string> lines = Lines(text);
  // The values' width follows the build that wrote the text: 64-bit register
  // names mean 16 digits, anything else (stored 32-bit texts too) 8.
  const size_t w = lines.size() > 2 && lines[2].compare(0, 3, "RAX") == 0 ? 16 : 8;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string& line = lines[i];
    if (i == 0) {
      line = "\\cf3\\b " + line + "\\cf2\\b0";
    } else if (i == 1) {
      line = "\\cf3 " + line + "\\cf2";
    } else if (i <= 5) {
      Insert("\\cf4 ", line, 6);
      Insert("\\cf2 ", line, w + 11);
      Insert("\\cf4 ", line, w + 24);
      Insert("\\cf2 ", line, 2 * w + 29);
    } else if (i == 7) {
      line = "\\pard\\tx" + std::to_string(tabStop) + "\\cf3\\b " + Trim(Copy(line, 1, 21)) + "\\tab " +
             Trim(Copy(line, 22, line.size())) + "\\cf2\\b0";
    } else if (i == 8) {
      Delete(line, 19, 3);
      Insert("\\tab ", line, 19);
      line = "\\cf3 " + line + "\\cf2";
    } else if (i >= 9) {
      Insert("\\cf4 ", line, w + 3);
      Insert("\\cf2 ", line, 2 * w + 8);
      Delete(line, 2 * w + 13, 3);
      Insert("\\tab ", line, 2 * w + 13);
      Insert("\\cf4 ", line, 3 * w + 20);
      // Past the last hex digit, so the whole dump keeps the value colour.
      Insert("\\cf2 ", line, 3 * w + 73);
    }
  }
  return Wrap(lines, font);
}

int DefaultAnsiCharSet() {
  CHARSETINFO info = {};
  UINT codePage = GetACP();
  if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(codePage)), &info,
                            TCI_SRCCODEPAGE))
    return DEFAULT_CHARSET;
  return static_cast<int>(info.ciCharset);
}

int CpuTabStop(HFONT font, int dashes) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return 0;
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size = {};
  if (dashes < 0) dashes = 0;
  const std::string rule(static_cast<size_t>(dashes), '-');
  GetTextExtentPoint32A(dc, rule.c_str(), dashes, &size);
  SelectObject(dc, old);
  DeleteDC(dc);
  return 15 * size.cx;
}

namespace {

struct TRichTextSource {
  const std::string* Text;
  size_t Offset;
};

DWORD CALLBACK ReadRichText(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  auto source = reinterpret_cast<TRichTextSource*>(cookie);
  size_t left = source->Text->size() - source->Offset;
  size_t n = wanted > 0 && static_cast<size_t>(wanted) < left ? static_cast<size_t>(wanted) : left;
  std::memcpy(buffer, source->Text->data() + source->Offset, n);
  source->Offset += n;
  *given = static_cast<LONG>(n);
  return 0;
}

}  // namespace

bool LoadRichText(HWND richEdit, const std::string& rtf, long backgroundColour) {
  COLORREF colour = backgroundColour < 0 ? GetSysColor(static_cast<int>(backgroundColour & 0xFF))
                                         : static_cast<COLORREF>(backgroundColour);
  SendMessageA(richEdit, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(colour));
  TRichTextSource source = {&rtf, 0};
  EDITSTREAM stream = {};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadRichText;
  SendMessageA(richEdit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  return stream.dwError == 0;
}

}  // namespace RevavaRez
