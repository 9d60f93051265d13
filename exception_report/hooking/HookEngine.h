#pragma once
// The hooking engine: code hooks (a jump at a routine's entry, with a
// trampoline through which the original still runs), import-table hooks and
// virtual-method hooks. Every change is remembered and "EHook.Done" undoes
// them all. The byte work lives in InstructionDecoder and TrampolineCode;
// this is the thin part that acts on the running process.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "hooking/InstructionDecoder.h"

namespace RevavaRez {

#if defined(__x86_64__)
constexpr bool NativeX64 = true;
#else
constexpr bool NativeX64 = false;
#endif

// The loaded module that holds address, or null.
HMODULE ModuleOfAddress(const void* address);

// Makes the range writable, copies, restores the protection and flushes the
// instruction cache for the range. False when the range cannot be written.
bool WriteCode(void* address, const void* bytes, size_t count);
// E9 and the displacement from from + 5 to to; false when it does not fit or
// cannot be written.
bool WriteJump(void* from, const void* to);

// The decoder over live code: only readable bytes are read. A fault while
// reading is Truncated; CodeSizeToReturn answers 0 for it.
TInstruction DecodeInstructionAt(const void* address);
size_t CodeSizeToReturn(const void* address, size_t limit);

struct TCodeHook {
  uintptr_t Target = 0;
  uintptr_t Trampoline = 0;
  uint32_t TrampolineSize = 0;
  std::vector<uint8_t> SavedBytes;  // what the jump overwrote, whole instructions
  uint8_t Jump[5] = {};             // the jump written at the target
};

struct TSaveDLLProc {
  HMODULE Module = nullptr;
  std::string DLLName;
  uintptr_t Original = 0;
  uintptr_t Replacement = 0;
};

// Created by "EHook.Init" and freed by "EHook.Done"; null outside.
extern std::vector<TCodeHook>* CodeHooks;
extern std::vector<TSaveDLLProc>* ImportHooks;
class THookedMethodsList;
extern THookedMethodsList* HookedMethods;

// Redirects target (an import jump there followed) to replacement and
// answers the trampoline that runs the original. EProcNull for a null
// target, ESharedArea for a module in the shared area outside the NT
// family, EHookingError for anything else.
void* HookProcedure(void* target, void* replacement, const std::string& label,
                    DWORD platformId = VER_PLATFORM_WIN32_NT);
// The trampoline of an existing hook of target, or a new hook. Raises on
// code that cannot be moved, memory that cannot be had or written.
void* BuildTrampoline(void* target, void* replacement);
// Writes the saved bytes back while the target is still committed and still
// holds the hook's jump; drops the record either way. False when there was
// no hook of target.
bool UnhookProcedure(void* target);
// Every code hook, from the last to the first; frees CodeHooks.
void UnhookAllProcedures();

// Routines of platforms outside the NT family called through a debugger
// stub: push of a 32-bit value, then a jump.
bool IsWin9xDebugThunk(const void* routine);
// Replaces every entry of current in the module's import address table for
// dllName with newRoutine; answers current when one was replaced, else null.
// Unless silent, EHookingError (labelled) when none was, and for a null
// newRoutine, which is never written.
void* PatchImportTable(HMODULE module, const std::string& dllName, void* current, bool restoring, bool silent,
                       const std::string& label, void* newRoutine, DWORD platformId = VER_PLATFORM_WIN32_NT);
// original is always the routine's address in the loaded DLL. True when at
// least one module was patched; modules not loaded are skipped.
bool HookImportedProcedure(const std::vector<std::string>& moduleNames, const std::string& dllName,
                           bool silent, void*& original, void* replacement, const std::string& routineName,
                           DWORD platformId = VER_PLATFORM_WIN32_NT);

// Answers the slot's original value; null before "EHook.Init", after
// "EHook.Done", for a null replacement (never written) or when the slot
// could not be written. A slot hooked twice is restored newest first.
void* HookVirtualMethod(void* table, int slot, void* replacement);
bool RestoreVirtualMethod(void* table, int slot);
// Writes a pointer-sized slot, only inside a loaded module.
bool PatchVirtualSlot(void* slotAddress, void* value);

// The unit's set-up and shut-down, counted: only the first set-up and the
// matching last shut-down run, through RunGuarded.
void EHookInit();
void EHookDone();

}  // namespace RevavaRez
