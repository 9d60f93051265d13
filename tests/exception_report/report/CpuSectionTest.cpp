#include "report/CpuSection.h"

#include "ReportFixture.h"
#include "core/RichTextPages.h"
#include "report/LogFile.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace RevavaRez {
namespace {

// Memory made of two readable runs: the stack at 0x1000, the dumped bytes at
// 0x2000; reads that leave a run fail.
struct TFakeMemory {
  std::vector<uint8_t> Stack, Bytes;
  TMemoryReader Reader() const {
    return [this](uint64_t at, void* out, size_t size) {
      for (auto run : {std::make_pair(uint64_t(0x1000), &Stack), std::make_pair(uint64_t(0x2000), &Bytes)}) {
        if (at >= run.first && at + size <= run.first + run.second->size()) {
          std::memcpy(out, run.second->data() + (at - run.first), size);
          return true;
        }
      }
      return false;
    };
  }
};

TFakeMemory MakeMemory(int slot, size_t stackBytes = 128, size_t dumpBytes = 256) {
  TFakeMemory memory;
  memory.Stack.resize(stackBytes);
  for (size_t i = 0; i * slot + slot <= stackBytes; ++i) {
    uint64_t value = 0xA0B0C000u + i;
    std::memcpy(memory.Stack.data() + i * slot, &value, slot);
  }
  for (size_t i = 0; i < dumpBytes; ++i) memory.Bytes.push_back(static_cast<uint8_t>(i));
  return memory;
}

const TCpuTexts kTexts{"Registers", "Stack", "Memory Dump"};
const TCpuRegisters kRegisters{0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x1000, 0x6F, 0x7ABCDEF0};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return lines;
}

const char* kDumpRule =
    "------------------   ---------------------------------------------------------------------------";

TEST(CpuSectionTest, WholeSectionAtBothWidths) {
  struct Case {
    int Width;
    const char* Head;
    const char* Line4;
    const char* Line15;
  } cases[] = {
      {8,
       "Registers:\r\n-----------------------------\r\n"
       "EAX: 0000001A   EDI: 0000002B\r\nEBX: 0000003C   ESI: 0000004D\r\n"
       "ECX: 0000005E   ESP: 00001000\r\nEDX: 0000006F   EIP: 7ABCDEF0\r\n\r\n"
       "Stack:               Memory Dump:\r\n",
       "00001010: A0B0C004   00002040:  40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F @ABCDEFGHIJKLMNO",
       "0000103C: A0B0C00F   000020F0:  F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF ................"},
      {16,
       "Registers:\r\n-----------------------------\r\n"
       "RAX: 000000000000001A   RDI: 000000000000002B\r\nRBX: 000000000000003C   RSI: 000000000000004D\r\n"
       "RCX: 000000000000005E   RSP: 0000000000001000\r\nRDX: 000000000000006F   RIP: 000000007ABCDEF0\r\n\r\n"
       "Stack:               Memory Dump:\r\n",
       "0000000000001020: 00000000A0B0C004   0000000000002040:  40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F "
       "@ABCDEFGHIJKLMNO",
       "0000000000001078: 00000000A0B0C00F   00000000000020F0:  F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF "
       "................"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Width);
    const TFakeMemory memory = MakeMemory(c.Width / 2);
    const std::string text = CpuSectionText(true, kTexts, &kRegisters, 0x2000, c.Width, memory.Reader());
    const std::string head = std::string(c.Head) + kDumpRule + "\r\n";
    ASSERT_EQ(text.substr(0, head.size()), head);
    const std::vector<std::string> lines = Lines(text.substr(head.size()));
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[4], c.Line4);
    EXPECT_EQ(lines[15], c.Line15);
    // The readers take the hex digits from 3W + 9 to 3W + 55 (1-based).
    EXPECT_EQ(lines[4].substr(3 * c.Width + 8, 47), "40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F");
    EXPECT_EQ(lines[4].substr(3 * c.Width + 56), "@ABCDEFGHIJKLMNO");
  }
}

TEST(CpuSectionTest, TitleOnlyAndMissingContext) {
  const TFakeMemory memory = MakeMemory(4);
  EXPECT_EQ(CpuSectionText(false, kTexts, &kRegisters, 0x2000, 8, memory.Reader()), "Registers:\r\n----------\r\n\r\n");
  for (int width : {8, 16}) {
    const std::string text = CpuSectionText(true, kTexts, nullptr, 0x2000, width, memory.Reader());
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 9u) << "no dump without a context";
    const std::string unknown = "????" + std::string(width - 4, ' ');
    EXPECT_EQ(lines[2], std::string(width == 8 ? "EAX: " : "RAX: ") + unknown + "   " +
                            (width == 8 ? "EDI: " : "RDI: ") + unknown);
  }
}

TEST(CpuSectionTest, DumpNeedsTheWholeStackAndAddressRanges) {
  struct Case {
    int Width;
    size_t StackBytes, DumpBytes;
    bool Written;
  } cases[] = {
      {8, 64, 256, true},   {8, 63, 256, false},   {8, 64, 255, false},
      {16, 128, 256, true}, {16, 127, 256, false}, {16, 128, 255, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Width << " " << c.StackBytes << " " << c.DumpBytes);
    const TFakeMemory memory = MakeMemory(c.Width / 2, c.StackBytes, c.DumpBytes);
    const std::string dump = MemoryDumpText(0x1000, 0x2000, c.Width, memory.Reader());
    EXPECT_EQ(!dump.empty(), c.Written);
  }
}

TEST(CpuSectionTest, SystemFormReadsThisProcessWithCheckedReads) {
  alignas(16) uintptr_t stack[16];
  for (size_t i = 0; i < 16; ++i) stack[i] = 0x100 + i;
  uint8_t bytes[256];
  for (size_t i = 0; i < 256; ++i) bytes[i] = static_cast<uint8_t>('A' + i % 26);
  CONTEXT context{};
#if defined(_M_IX86) || defined(__i386__)
  context.Esp = reinterpret_cast<DWORD>(stack);
#else
  context.Rsp = reinterpret_cast<DWORD64>(stack);
#endif
  const int width = int(sizeof(void*) * 2);
  const std::string text = SystemCpuSectionText(true, kTexts, &context, reinterpret_cast<uintptr_t>(bytes));
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 25u);
  EXPECT_EQ(lines[9].substr(width + 2, width), std::string(width - 3, '0') + "100");
  EXPECT_EQ(lines[9].substr(3 * width + 56), "ABCDEFGHIJKLMNOP");
  // An address in the first, never mapped page is refused, not read.
  EXPECT_EQ(Lines(SystemCpuSectionText(true, kTexts, &context, 0x10)).size(), 9u);
  EXPECT_EQ(Lines(SystemCpuSectionText(true, kTexts, nullptr, reinterpret_cast<uintptr_t>(bytes))).size(), 9u);
}

// The page colours values by column; each coloured run must be one whole
// value (registers, slot values, the 16 dump bytes with their last digit).
TEST(CpuSectionTest, RichTextColoursEveryValueWhole) {
  for (int width : {8, 16}) {
    SCOPED_TRACE(width);
    const TFakeMemory memory = MakeMemory(width / 2);
    const std::string rtf = CpuRichText(CpuSectionText(true, kTexts, &kRegisters, 0x2000, width, memory.Reader()),
                                        TRichTextFont{0, "Courier New", 8}, 2100);
    int values = 0, dumps = 0;
    for (size_t at = 0; (at = rtf.find("\\cf4 ", at)) != std::string::npos; ++at) {
      const size_t end = rtf.find("\\cf2", at);
      ASSERT_NE(end, std::string::npos);
      const std::string run = rtf.substr(at + 5, end - at - 5);
      if (run.size() == static_cast<size_t>(width)) {
        EXPECT_EQ(run.find_first_not_of("0123456789ABCDEF"), std::string::npos) << run;
        ++values;
      } else {
        // The dump bytes: one space, then 16 pairs, the last one whole.
        ASSERT_EQ(run.size(), 48u) << run;
        EXPECT_EQ(run[0], ' ');
        EXPECT_NE(run.back(), ' ');
        ++dumps;
      }
    }
    EXPECT_EQ(values, 8 + 16);
    EXPECT_EQ(dumps, 16);
  }
}

// The log's XML finds the values by place; a section of either width must
// give every value whole and under the register names the text uses.
TEST(CpuSectionTest, LogXMLReadsBothWidthsWhole) {
  struct Case {
    int Width;
    const char* Registers;
    const char* StackLine;
    const char* DumpLine;
  } cases[] = {
      {8, "<Registers EAX=\"0000001A\" EDI=\"0000002B\" EBX=\"0000003C\" ESI=\"0000004D\" ECX=\"0000005E\" "
          "ESP=\"00001000\" EDX=\"0000006F\" EIP=\"7ABCDEF0\"/>",
       "<Line Address=\"00001010\" Value=\"A0B0C004\"/>",
       "<Line Address=\"00002040\" Bytes=\"40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F\" "
       "Chars=\"@ABCDEFGHIJKLMNO\"/>"},
      {16,
       "<Registers RAX=\"000000000000001A\" RDI=\"000000000000002B\" RBX=\"000000000000003C\" "
       "RSI=\"000000000000004D\" RCX=\"000000000000005E\" RSP=\"0000000000001000\" RDX=\"000000000000006F\" "
       "RIP=\"000000007ABCDEF0\"/>",
       "<Line Address=\"0000000000001020\" Value=\"00000000A0B0C004\"/>",
       "<Line Address=\"0000000000002040\" Bytes=\"40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F\" "
       "Chars=\"@ABCDEFGHIJKLMNO\"/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Width);
    const TFakeMemory memory = MakeMemory(c.Width / 2);
    const std::string cpu = CpuSectionText(true, kTexts, &kRegisters, 0x2000, c.Width, memory.Reader());
    TLogFile log("", false);
    log.AddEntry("RevavaRez 5.1.10\r\n\r\n" + ReportFixture::General() + "\r\n" + ReportFixture::CallStackTable() +
                     "\r\n" + ReportFixture::ModulesTable() + "\r\n" + cpu,
                 1);
    const std::string xml = log.EntryToXML(0);
    EXPECT_NE(xml.find(c.Registers), std::string::npos) << xml;
    EXPECT_NE(xml.find(c.StackLine), std::string::npos);
    EXPECT_NE(xml.find(c.DumpLine), std::string::npos);
  }
  // Without a context the 16-column "????" stays unset as the 8-column one does.
  TLogFile log("", false);
  log.AddEntry("RevavaRez 5.1.10\r\n\r\n" + ReportFixture::General() + "\r\n" + ReportFixture::CallStackTable() +
                   "\r\n" + ReportFixture::ModulesTable() + "\r\n" +
                   CpuSectionText(true, kTexts, nullptr, 0, 16, TMemoryReader()),
               1);
  EXPECT_NE(log.EntryToXML(0).find("<Registers/>"), std::string::npos) << log.EntryToXML(0);
}

TEST(CpuSectionTest, TableRowPadsEachCell) {
  EXPECT_EQ(TableRowText({"ab", "", "long"}, {4, 2, 3}), "|ab  |  |long|\r\n");
}

}  // namespace
}  // namespace RevavaRez
