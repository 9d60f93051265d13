#pragma once
// Per-process shared blocks: a named mapping of the paging file whose first
// 32-bit word is the block's total size (data + 4), named by the process,
// the module and a label. Anyone may create a mapping of that name, so an
// existing one is trusted only as far as its size word fits its view, and
// callers read and write only within DataSize.
#include <windows.h>

#include <cstdint>
#include <string>

namespace RevavaRez {

struct TSharedBlock {
  HANDLE Handle = nullptr;
  void* View = nullptr;     // the size word
  uint8_t* Data = nullptr;  // after the size word
  uint32_t DataSize = 0;
};

// The process identifier as 8 digits, the module handle at pointer width,
// then the label.
std::string SharedBlockName(DWORD processId, HMODULE module, const std::string& label);

// Creates the block with size data bytes, or opens the existing one at its
// own size. Size 0 only opens: no block when none exists. False (and an
// empty block) on failure.
bool OpenSharedBlock(HMODULE module, const std::string& label, uint32_t size, TSharedBlock& block);
void CloseSharedBlock(TSharedBlock& block);

}  // namespace RevavaRez
