#pragma once
// Small report texts in the layout the report builder writes: general
// sections through TLogItem, and hand-written call-stack, modules and
// processor tables.
#include <cstdint>
#include <cstdio>
#include <string>

#include "report/LogItem.h"

namespace ReportFixture {

// The four values the duplicate test compares, numbered 2.2 to 2.5.
struct TDuplicateValues {
  std::string Address = "00401234";
  std::string Module = "Brindolux.exe";
  std::string Type = "EAccessViolation";
  std::string Message = "Access violation at address 00401234.\r\nRead of address: 00000000.";
};

inline std::string General(const TDuplicateValues& values = TDuplicateValues()) {
  RevavaRez::TLogItem item;
  item.AddSection("General");
  item.AddItem("Application Title", "Brindolux");
  item.AddItem("Computer Name", "BENCH-07", false);
  item.AddItem("Free Disk", "12 GB");
  item.AddSection("Exception");
  item.AddItem("Date", "2026-12-11, 01:02:03");
  item.AddItem("Address", values.Address);
  item.AddItem("Module Name", values.Module);
  item.AddItem("Type", values.Type);
  item.AddItem("Message", values.Message);
  item.AddSection("User");
  item.AddItem("Note", "Played: file.krm\r\n\r\nthen closed it.");
  return item.GetText();
}

inline const char* CallStackTable() {
  return "Call Stack Information:\r\n"
         "--------------------------------------------------------------------\r\n"
         "|Address |Module       |Unit          |Class   |Procedure |Line    |\r\n"
         "--------------------------------------------------------------------\r\n"
         "|Exception Thread: ID=1234; Priority=0; [Main]                      |\r\n"
         "|00401234|Brindolux.exe|PlayThread.pas|TPlayer |Execute   |123[4]  |\r\n"
         "|7C80B729|kernel32.dll |              |        |          |        |\r\n"
         "|                                                                   |\r\n"
         "|Running Thread: ID=99; Priority=2; Class=TWorker                   |\r\n"
         "|00402000|Brindolux.exe|Worker.pas    |TWorker |Run       |10      |\r\n"
         "|Calling Thread: ID=1234; Priority=0; Class=TMain; [Main]           |\r\n"
         "|00403000|Brindolux.exe|Main.pas      |        |@Start    |5[0]    |\r\n"
         "--------------------------------------------------------------------\r\n";
}

inline const char* ModulesTable() {
  return "Modules Information:\r\n"
         "-----------------------------------------------------------------------------------------------\r\n"
         "|Handle  |Name         |Description|Version |Size  |Modified           |Path                   |\r\n"
         "-----------------------------------------------------------------------------------------------\r\n"
         "|00400000|Brindolux.exe|Player     |1.2.0.3 |204800|2026-12-01 10:00:00|C:\\Brindolux\\          |\r\n"
         "|7C800000|kernel32.dll |Kernel     |5.1.2600|983040|2008-04-14 00:00:00|C:\\WINDOWS\\system32\\   |\r\n"
         "-----------------------------------------------------------------------------------------------\r\n";
}

// One dump line: stack slot and value, memory address, 16 bytes and their
// characters.
inline std::string DumpLine(uint32_t slot, uint32_t value, uint32_t address, const uint8_t bytes[16]) {
  char line[128];
  std::snprintf(line, sizeof line, "%08X: %08X   %08X: ", slot, value, address);
  std::string text = line;
  for (int i = 0; i < 16; ++i) {
    std::snprintf(line, sizeof line, " %02X", bytes[i]);
    text += line;
  }
  text += ' ';
  for (int i = 0; i < 16; ++i) text += bytes[i] < 32 || bytes[i] > 126 ? '.' : static_cast<char>(bytes[i]);
  return text + "\r\n";
}

inline const uint8_t* DumpBytes(int row) {
  static const uint8_t Rows[2][16] = {
      {0x8B, 0x45, 0xFC, 0x8B, 0x00, 0xC3, 0x90, 0x90, 0x55, 0x8B, 0xEC, 0x53, 0x56, 0x57, 0x8B, 0x7D},
      {'B', 'r', 'i', 'n', 'd', 'o', 'l', 'u', 'x', 0, '<', '&', '>', '"', 'Z', 'q'},
  };
  return Rows[row];
}

inline std::string ProcessorSection() {
  return std::string(
             "Processor:\r\n"
             "-----------------------------\r\n"
             "EAX: 00000001   EDI: 0012FF40\r\n"
             "EBX: 7FFDF000   ESI: ????    \r\n"
             "ECX: 0012FFB0   ESP: 0012FF60\r\n"
             "EDX: 7C90E4F4   EIP: 00401234\r\n"
             "\r\n"
             "Stack:               Memory Dump:\r\n"
             "------------------   ---------------------------------------------------------------------------\r\n") +
         DumpLine(0x0012FF60, 0x00401000, 0x00401234, DumpBytes(0)) +
         DumpLine(0x0012FF64, 0x00000002, 0x00401244, DumpBytes(1));
}

inline std::string Report(const std::string& version = "5.1.10",
                          const TDuplicateValues& values = TDuplicateValues()) {
  return "RevavaRez " + version + "\r\n\r\n" + General(values) + "\r\n" + CallStackTable() + "\r\n" +
         ModulesTable() + "\r\n" + ProcessorSection();
}

// The older layout: no thread rows, and the user's steps after the
// processor.
inline std::string OldReport() {
  return "RevavaRez 4.0\r\n\r\n" + General() + "\r\n" +
         "Call Stack Information:\r\n"
         "-----------------------------------------------------------\r\n"
         "|Address |Module       |Unit     |Class |Procedure|Line |\r\n"
         "-----------------------------------------------------------\r\n"
         "|00401234|Brindolux.exe|Main.pas |TForm1|Click    |42   |\r\n"
         "-----------------------------------------------------------\r\n"
         "\r\n" +
         ModulesTable() + "\r\n" + ProcessorSection() + "\r\n" +
         "Steps to reproduce:\r\n"
         "-------------------\r\n"
         "Opened a recording.\r\n"
         "Pressed <Play> & waited.\r\n";
}

}  // namespace ReportFixture
