#include "report/CpuSection.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/ExceptionLogText.h"
#include "core/VArev.h"

namespace RevavaRez {

namespace {

std::string HexText(uint64_t value, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*llX", width, static_cast<unsigned long long>(value));
  std::string text(buffer);
  // A wider value never widens the column: the readers find values by place.
  return text.size() > static_cast<size_t>(width) ? text.substr(text.size() - width) : text;
}

}  // namespace

std::string SectionTitle(const std::string& label) {
  return label + ":\r\n" + std::string(label.size() + 1, '-') + "\r\n\r\n";
}

std::string RegisterText(const uint64_t* value, int width) {
  if (!value) return PadRight("????", static_cast<size_t>(width));
  return HexText(*value, width);
}

std::string StackLabel(const std::string& label) { return PadRight(label + ":", 21); }

std::string MemoryDumpText(uint64_t stackPointer, uint64_t address, int width, const TMemoryReader& read) {
  const size_t slot = width > 8 ? 8 : 4;
  uint8_t stack[16 * 8];
  uint8_t memory[256];
  if (!read || !read(stackPointer, stack, 16 * slot) || !read(address, memory, sizeof memory)) return std::string();
  std::string text;
  for (int line = 0; line < 16; ++line) {
    uint64_t value = 0;
    std::memcpy(&value, stack + line * slot, slot);  // little-endian slots
    text += HexText(stackPointer + line * slot, width) + ": " + HexText(value, width) + "   " +
            HexText(address + line * 16, width) + ": ";
    const uint8_t* bytes = memory + line * 16;
    char hex[4];
    for (int i = 0; i < 16; ++i) {
      std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
      text += hex;
    }
    text += ' ';
    for (int i = 0; i < 16; ++i) text += (bytes[i] < 32 || bytes[i] > 126) ? '.' : static_cast<char>(bytes[i]);
    text += "\r\n";
  }
  return text;
}

std::string TableRowText(const std::vector<std::string>& cells, const std::vector<size_t>& widths) {
  std::string row;
  for (size_t i = 0; i < cells.size(); ++i) row += "|" + PadRight(cells[i], i < widths.size() ? widths[i] : 0);
  return row + "|\r\n";
}

std::string CpuSectionText(bool write, const TCpuTexts& texts, const TCpuRegisters* registers, uint64_t address,
                           int width, const TMemoryReader& read) {
  if (!write) return SectionTitle(texts.Registers);
  const bool wide = width > 8;
  const char* names[8] = {"EAX", "EDI", "EBX", "ESI", "ECX", "ESP", "EDX", "EIP"};
  const char* wideNames[8] = {"RAX", "RDI", "RBX", "RSI", "RCX", "RSP", "RDX", "RIP"};
  const uint64_t* values[8] = {};
  if (registers) {
    const uint64_t* all[8] = {&registers->Ax, &registers->Di, &registers->Bx, &registers->Si,
                              &registers->Cx, &registers->Sp, &registers->Dx, &registers->Ip};
    for (int i = 0; i < 8; ++i) values[i] = all[i];
  }
  std::string text = texts.Registers + ":\r\n-----------------------------\r\n";
  for (int line = 0; line < 4; ++line) {
    const int a = 2 * line, b = 2 * line + 1;
    text += std::string(wide ? wideNames[a] : names[a]) + ": " + RegisterText(values[a], width) + "   " +
            (wide ? wideNames[b] : names[b]) + ": " + RegisterText(values[b], width) + "\r\n";
  }
  text += "\r\n" + StackLabel(texts.Stack) + texts.MemoryDump +
          ":\r\n------------------   ---------------------------------------------------------------------------\r\n";
  if (registers) text += MemoryDumpText(registers->Sp, address, width, read);
  return text;
}

std::string SystemCpuSectionText(bool write, const TCpuTexts& texts, const void* context, uintptr_t address) {
  TCpuRegisters registers;
  if (context) {
    const CONTEXT& c = *static_cast<const CONTEXT*>(context);
#if defined(_M_IX86) || defined(__i386__)
    registers = {c.Eax, c.Edi, c.Ebx, c.Esi, c.Ecx, c.Esp, c.Edx, c.Eip};
#else
    registers = {c.Rax, c.Rdi, c.Rbx, c.Rsi, c.Rcx, c.Rsp, c.Rdx, c.Rip};
#endif
  }
  // A checked read: the stack or the address may lie in memory that is gone
  // or guarded, and ReadProcessMemory costs far more per call under Wine.
  TMemoryReader read = [](uint64_t at, void* out, size_t size) {
    const void* p = reinterpret_cast<const void*>(static_cast<uintptr_t>(at));
    if (static_cast<uint64_t>(static_cast<uintptr_t>(at)) != at || ReadableLength(p, size) < size) return false;
    std::memcpy(out, p, size);
    return true;
  };
  return CpuSectionText(write, texts, context ? &registers : nullptr, address, int(sizeof(void*) * 2), read);
}

}  // namespace RevavaRez
