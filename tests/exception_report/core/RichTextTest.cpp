// The dialog's general and CPU pages: the colouring rules place control words
// by column, so a short line must clip, not fault or garble the RTF.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/RichTextPages.h"

using namespace RevavaRez;

namespace {

const char* const kHeader =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset0 Courier "
    "New;}}\r\n"
    "{\\colortbl "
    ";\\red0\\green100\\blue100;\\red0\\green0\\blue0;\\red40\\green40\\blue40;\\red0\\green0\\blue160;}"
    "\r\n\\f0\\fs16\r\n";

TRichTextFont Font() { return TRichTextFont{0, "Courier New", 8}; }

TEST(RichTextPages, GeneralPageColoursTitleHeadingsRulesAndFields) {
  std::string report =
      "Report {1}\r\n"
      "Application:\r\n"
      "----\r\n"
      "  Name: C:\\p.exe\r\n"
      "plain\r\n"
      "x";
  EXPECT_EQ(GeneralRichText(report, Font()), std::string(kHeader) +
                                                 "\\cf1\\b Report \\{1\\}\\par\\b0\r\n"
                                                 "\\cf3\\b Application:\\par\\b0\r\n"
                                                 "\\cf3 ----\\par\r\n"
                                                 "\\cf2   Name:\\cf4  C:\\\\p.exe\\par\r\n"
                                                 "plain\\par\r\n"
                                                 "x\r\n"
                                                 "}");
}

TEST(RichTextPages, CpuPageInsertsByColumnAndClipsShortLines) {
  const std::string bytes = "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F";
  const std::string text =
      "Registers:\r\n"
      "-----------------------------\r\n"
      "EAX: 00000001   EDI: 00000002\r\n"
      "EBX: 00000003   ESI: 00000004\r\n"
      "ECX: 00000005   ESP: 00000006\r\n"
      "EDX: 1\r\n"  // short
      "\r\n"
      "Stack:               Memory Dump:\r\n"
      "------------------   ------------\r\n"
      "0012FF00: 00000000   0012FF00:  " +
      bytes +
      " ................\r\n"
      "0012FF04: 1";  // short
  EXPECT_EQ(CpuRichText(text, Font(), 2100),
            std::string(kHeader) +
                "\\cf3\\b Registers:\\par\\cf2\\b0\r\n"
                "\\cf3 -----------------------------\\par\\cf2\r\n"
                "EAX: \\cf4 00000001\\cf2    EDI: \\cf4 00000002\\cf2 \\par\r\n"
                "EBX: \\cf4 00000003\\cf2    ESI: \\cf4 00000004\\cf2 \\par\r\n"
                "ECX: \\cf4 00000005\\cf2    ESP: \\cf4 00000006\\cf2 \\par\r\n"
                "EDX: \\cf4 1\\par\\cf2 \\cf4 \\cf2 \r\n"
                "\\par\r\n"
                "\\pard\\tx2100\\cf3\\b Stack:\\tab Memory Dump:\\par\\cf2\\b0\r\n"
                "\\cf3 ------------------\\tab ------------\\par\\cf2\r\n"
                "0012FF00: \\cf4 00000000\\cf2 \\tab 0012FF00: \\cf4  " +
                bytes +
                "\\cf2  ................\\par\r\n"
                "0012FF04: \\cf4 1\\cf2 \\tab \\cf4 \\cf2 \r\n"
                "}");
}

TEST(RichTextPages, LoadedIntoARichEditItReadsBackAsThePlainText) {
  HMODULE library = LoadLibraryA("riched32.dll");
  ASSERT_NE(library, nullptr);
  HWND edit = CreateWindowExA(0, "RICHEDIT", "", WS_POPUP | ES_MULTILINE, 0, 0, 400, 300, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  std::string report = "Title\r\nGroup:\r\n  Field: {value} C:\\dir";
  EXPECT_TRUE(LoadRichText(edit, GeneralRichText(report, Font()),
                           static_cast<long>(static_cast<int32_t>(0xFF000005))));
  char text[256] = {};
  GetWindowTextA(edit, text, sizeof text);
  std::string plain = text;
  // Rich edit 1.0 gives line ends as CR LF or CR alone.
  std::string flattened;
  for (size_t i = 0; i < plain.size(); ++i)
    if (plain[i] != '\n') flattened += plain[i];
  EXPECT_EQ(flattened, "Title\rGroup:\r  Field: {value} C:\\dir");
  DestroyWindow(edit);
  FreeLibrary(library);
}

TEST(RichTextPages, TabStopIsFifteenTimesTheDashesWidth) {
  HFONT font = static_cast<HFONT>(GetStockObject(SYSTEM_FIXED_FONT));
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, font);
  SIZE one;
  GetTextExtentPoint32A(dc, "-", 1, &one);
  DeleteDC(dc);
  EXPECT_EQ(CpuTabStop(font), 15 * 21 * one.cx);
  // The 64-bit text's stack column is 16 characters wider.
  EXPECT_EQ(CpuTabStop(font, 37), 15 * 37 * one.cx);
  EXPECT_GE(DefaultAnsiCharSet(), 0);
}

}  // namespace
