#pragma once
// The CPU section of a report: registers, the stack at the stack pointer and
// a memory dump at the exception address. The formatters are pure and take
// the value width (8 digits on i686, 16 on x86_64) and a read callback, so
// both layouts are built and tested in either build.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace RevavaRez {

// Copies `size` bytes at `address` into `out` and answers true, or answers
// false when any of them cannot be read.
using TMemoryReader = std::function<bool(uint64_t address, void* out, size_t size)>;

std::string SectionTitle(const std::string& label);

// The value as `width` upper-case hex digits; without a value "????" and
// spaces up to the width.
std::string RegisterText(const uint64_t* value, int width);

// The stack label: the label, ":" and spaces up to 21 characters.
std::string StackLabel(const std::string& label);

// 16 lines of stack slots (4 bytes on i686, 8 on x86_64) and memory bytes;
// empty when the 16 slots at the stack pointer or the 256 bytes at the
// address are not readable.
std::string MemoryDumpText(uint64_t stackPointer, uint64_t address, int width, const TMemoryReader& read);

// "|" and each cell padded to its column's width, "|" and a line end.
std::string TableRowText(const std::vector<std::string>& cells, const std::vector<size_t>& widths);

// The eight registers in the section's order of lines: EAX EDI / EBX ESI /
// ECX ESP / EDX EIP (RAX ... RIP on x86_64).
struct TCpuRegisters {
  uint64_t Ax = 0, Di = 0, Bx = 0, Si = 0, Cx = 0, Sp = 0, Dx = 0, Ip = 0;
};

struct TCpuTexts {
  std::string Registers;  // text 91
  std::string Stack;      // text 92
  std::string MemoryDump; // text 93
};

// The whole section; only its title when `write` is false. A null
// `registers` gives "????" values and an empty dump.
std::string CpuSectionText(bool write, const TCpuTexts& texts, const TCpuRegisters* registers, uint64_t address,
                           int width, const TMemoryReader& read);

// The section for this build's context (a CONTEXT, or null), read with
// checked reads of this process's memory.
std::string SystemCpuSectionText(bool write, const TCpuTexts& texts, const void* context, uintptr_t address);

}  // namespace RevavaRez
