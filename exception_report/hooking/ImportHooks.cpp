#include <cstring>

#include "core/ExceptionLog.h"
#include "hooking/HookEngine.h"
#include "core/VArev.h"
#include "core/VArevText.h"

namespace RevavaRez {

std::vector<TSaveDLLProc>* ImportHooks = nullptr;

namespace {

// Every byte of a module's headers and tables is read only after
// ReadableLength said it may be: a module may be unloaded, or not be one.
bool ReadChecked(uintptr_t address, void* out, size_t size) {
  if (address == 0 || !IsReadable(reinterpret_cast<const void*>(address), size)) return false;
  std::memcpy(out, reinterpret_cast<const void*>(address), size);
  return true;
}

template <typename T>
bool ReadValue(uintptr_t address, T& value) {
  return ReadChecked(address, &value, sizeof value);
}

// base + rva, refused when it wraps.
bool AtRva(uintptr_t base, uint32_t rva, uintptr_t& address) {
  address = base + rva;
  return address >= base;
}

constexpr size_t LongestDLLName = 260;

bool ReadName(uintptr_t address, std::string& name) {
  size_t readable = ReadablePrefix(reinterpret_cast<const void*>(address), LongestDLLName);
  const char* text = reinterpret_cast<const char*>(address);
  const void* end = readable ? std::memchr(text, 0, readable) : nullptr;
  if (!end) return false;
  name.assign(text, static_cast<const char*>(end) - text);
  return true;
}

struct TImportDirectory {
  uint32_t Rva = 0, Size = 0;
  size_t EntrySize = 4;  // of the address table: 4 in PE32, 8 in PE32+
};

// "MZ", the PE headers with their magic choosing PE32 or PE32+, and the
// import directory.
bool FindImportDirectory(uintptr_t base, TImportDirectory& directory) {
  uint16_t mz;
  int32_t headerOffset;
  if (!ReadValue(base, mz) || mz != 0x5A4D || !ReadValue(base + 60, headerOffset) || headerOffset <= 0)
    return false;
  uintptr_t headers = base + static_cast<uint32_t>(headerOffset);
  uint8_t bytes[264];
  uint16_t magic;
  if (headers < base || !ReadValue(headers + 24, magic)) return false;
  size_t headerSize, at;
  if (magic == 0x10B) {
    headerSize = 248, at = 128, directory.EntrySize = 4;
  } else if (magic == 0x20B) {
    headerSize = 264, at = 144, directory.EntrySize = 8;
  } else {
    return false;
  }
  if (!ReadChecked(headers, bytes, headerSize) || std::memcmp(bytes, "PE\0\0", 4) != 0) return false;
  std::memcpy(&directory.Rva, bytes + at, 4);
  std::memcpy(&directory.Size, bytes + at + 4, 4);
  return directory.Rva != 0;
}

bool SameDebugThunk(uintptr_t entry, uint32_t pushed) {
  uint8_t thunk[6];
  if (!ReadChecked(entry, thunk, sizeof thunk) || thunk[0] != 0x68 || thunk[5] != 0xE9) return false;
  uint32_t value;
  std::memcpy(&value, thunk + 1, 4);
  return value == pushed;
}

}  // namespace

bool IsWin9xDebugThunk(const void* routine) {
  uint8_t thunk[6];
  return ReadChecked(reinterpret_cast<uintptr_t>(routine), thunk, sizeof thunk) && thunk[0] == 0x68 &&
         thunk[5] == 0xE9;
}

void* PatchImportTable(HMODULE module, const std::string& dllName, void* current, bool restoring, bool silent,
                       const std::string& label, void* newRoutine, DWORD platformId) {
  if (!current) throw EProcNull("Cannot hook a null procedure (\"" + label + "\").");
  const uintptr_t base = reinterpret_cast<uintptr_t>(module);
  const bool nt = platformId == VER_PLATFORM_WIN32_NT;
  if (!nt && base >= 0x80000000u)
    throw ESharedArea("Cannot hook the module \"" + ModuleFileNameOf(module) +
                      "\" located into the shared-area.");
  const std::string notHooked = "Cannot hook the procedure \"" + label + "\".";
  // A null entry would crash the first call and end the table for every
  // later walk of it, and its record could never be restored: the restore
  // would look for a null routine.
  if (!newRoutine) {
    if (!silent) throw EHookingError(notHooked);
    return nullptr;
  }

  const uintptr_t routine = reinterpret_cast<uintptr_t>(current),
                  replacement = reinterpret_cast<uintptr_t>(newRoutine);
  bool byThunk = !nt && IsWin9xDebugThunk(current);
  uint32_t pushed = 0;
  if (byThunk) ReadChecked(routine + 1, &pushed, 4);

  TImportDirectory directory;
  if (!FindImportDirectory(base, directory) || (!restoring && !ImportHooks)) {
    if (!silent) throw EHookingError(notHooked);
    return nullptr;
  }
  // A PE32 table has no room for a replacement above 4 GB.
  const bool fits = directory.EntrySize == 8 || replacement <= 0xFFFFFFFFu;
  const std::string wanted = LowerCase(dllName);
  int replaced = 0;
  for (uint32_t offset = 0; fits && uint64_t(offset) + 20 <= directory.Size; offset += 20) {
    uint32_t descriptor[5];
    uintptr_t at;
    if (!AtRva(base, directory.Rva + offset, at) || !ReadChecked(at, descriptor, sizeof descriptor)) break;
    const uint32_t nameRva = descriptor[3], tableRva = descriptor[4];
    if (nameRva == 0) break;
    std::string name;
    uintptr_t nameAt, table;
    if (!AtRva(base, nameRva, nameAt) || !ReadName(nameAt, name) || LowerCase(name) != wanted) continue;
    if (!AtRva(base, tableRva, table)) continue;
    for (uintptr_t entry = table;; entry += directory.EntrySize) {
      uint64_t value = 0;
      if (!ReadChecked(entry, &value, directory.EntrySize) || value == 0) break;
      bool match = byThunk ? SameDebugThunk(static_cast<uintptr_t>(value), pushed) : value == routine;
      if (!match) continue;
      uint64_t written = replacement;
      if (!WriteCode(reinterpret_cast<void*>(entry), &written, directory.EntrySize)) continue;
      ++replaced;
    }
  }
  if (replaced == 0) {
    if (!silent) throw EHookingError(notHooked);
    return nullptr;
  }
  // One record undoes every entry of this module.
  if (!restoring) {
    TSaveDLLProc record;
    record.Module = module;
    record.DLLName = dllName;
    record.Original = routine;
    record.Replacement = replacement;
    ImportHooks->push_back(record);
  }
  return current;
}

bool HookImportedProcedure(const std::vector<std::string>& moduleNames, const std::string& dllName,
                           bool silent, void*& original, void* replacement, const std::string& routineName,
                           DWORD platformId) {
  HMODULE dll = GetModuleHandleA(dllName.c_str());
  original = dll ? reinterpret_cast<void*>(GetProcAddress(dll, routineName.c_str())) : nullptr;
  bool patched = false;
  for (const std::string& moduleName : moduleNames) {
    HMODULE module = GetModuleHandleA(moduleName.c_str());
    if (!module) continue;
    if (PatchImportTable(module, dllName, original, false, silent, dllName + "." + routineName, replacement,
                         platformId))
      patched = true;
  }
  return patched;
}

}  // namespace RevavaRez
