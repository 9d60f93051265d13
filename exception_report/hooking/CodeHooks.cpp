#include <cstring>
#include <memory>

#include "core/ExceptionLog.h"
#include "hooking/HookEngine.h"
#include "hooking/TrampolineCode.h"
#include "hooking/TrampolinePool.h"
#include "core/VArev.h"
#include "base/ThreadList.h"

namespace RevavaRez {

std::vector<TCodeHook>* CodeHooks = nullptr;

namespace {

// Hooks are made at start-up and undone at shut-down, but nothing keeps two
// threads of a host from hooking at once.
TCriticalSection& CodeHooksLock() {
  static TCriticalSection lock;
  return lock;
}

constexpr size_t LongestInstruction = 15;

struct TFreeTrampoline {
  void operator()(void* slot) const { FreeTrampoline(slot); }
};
using TTrampolineSlot = std::unique_ptr<void, TFreeTrampoline>;

}  // namespace

HMODULE ModuleOfAddress(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module))
    return nullptr;
  return module;
}

bool WriteCode(void* address, const void* bytes, size_t count) {
  DWORD old;
  if (!VirtualProtect(address, count, PAGE_EXECUTE_READWRITE, &old)) return false;
  std::memcpy(address, bytes, count);
  DWORD ignored;
  VirtualProtect(address, count, old, &ignored);
  FlushInstructionCache(GetCurrentProcess(), address, count);
  return true;
}

bool WriteJump(void* from, const void* to) {
  uint8_t jump[JumpSize];
  if (!JumpBytes(jump, reinterpret_cast<uintptr_t>(from), reinterpret_cast<uintptr_t>(to), NativeX64))
    return false;
  return WriteCode(from, jump, sizeof jump);
}

TInstruction DecodeInstructionAt(const void* address) {
  size_t readable = ReadablePrefix(address, LongestInstruction);
  uint8_t bytes[LongestInstruction];
  if (readable) std::memcpy(bytes, address, readable);
  return DecodeInstruction(bytes, readable, NativeX64);
}

size_t CodeSizeToReturn(const void* address, size_t limit) {
  if (limit == 0) return 0;
  // The last instruction may start at limit - 1 and be as long as any.
  size_t wanted = limit > SIZE_MAX - LongestInstruction ? SIZE_MAX : limit + LongestInstruction;
  size_t readable = ReadablePrefix(address, wanted);
  return CodeSizeToReturn(static_cast<const uint8_t*>(address), readable, limit, NativeX64);
}

void* HookProcedure(void* target, void* replacement, const std::string& label, DWORD platformId) {
  uintptr_t from = target ? ResolveImportJump(reinterpret_cast<uintptr_t>(target)) : 0;
  uintptr_t to = replacement ? ResolveImportJump(reinterpret_cast<uintptr_t>(replacement)) : 0;
  if (!from) throw EProcNull("Cannot hook a null procedure (\"" + label + "\").");
  if (platformId != VER_PLATFORM_WIN32_NT && from >= 0x80000000u) {
    HMODULE module = ModuleOfAddress(reinterpret_cast<void*>(from));
    throw ESharedArea("Cannot hook the module \"" + (module ? ModuleFileNameOf(module) : std::string()) +
                      "\" located into the shared-area.");
  }
  try {
    return BuildTrampoline(reinterpret_cast<void*>(from), reinterpret_cast<void*>(to));
  } catch (...) {
    throw EHookingError("Cannot hook the procedure \"" + label + "\".");
  }
}

void* BuildTrampoline(void* target, void* replacement) {
  const uintptr_t from = reinterpret_cast<uintptr_t>(target), to = reinterpret_cast<uintptr_t>(replacement);
  TCriticalSection::TScope scope(CodeHooksLock());
  if (!CodeHooks) throw EHookError("The hooking engine is not set up");
  for (const TCodeHook& hook : *CodeHooks)
    if (hook.Target == from) return reinterpret_cast<void*>(hook.Trampoline);
  if (!to) throw EHookError("No replacement");

  // Enough bytes for the longest instructions that can cover the jump.
  uint8_t code[JumpSize - 1 + LongestInstruction];
  size_t readable = ReadablePrefix(target, sizeof code);
  std::memcpy(code, target, readable);
  const uint32_t n = MovedCodeLength(code, readable, NativeX64);
  if (n == 0) throw EHookError("The routine's first instructions cannot be moved");

  const uint32_t size = TrampolineSize(code, n, from, NativeX64);
  const size_t blockSize = TrampolineBlockSize(size, NativeX64);
  // The slot goes back to the pool on every way out but the recorded hook:
  // copying the bytes and recording the hook allocate, and may raise.
  TTrampolineSlot slot(AllocateTrampoline(from, blockSize));
  if (!slot) throw EHookError("No trampoline memory within reach");
  const uintptr_t at = reinterpret_cast<uintptr_t>(slot.get());

  TCodeHook hook;
  hook.Target = from;
  hook.Trampoline = at;
  hook.TrampolineSize = static_cast<uint32_t>(blockSize);
  hook.SavedBytes.assign(code, code + n);
  std::vector<uint8_t> block;
  // In 64-bit code the target jumps to the relay, which reaches anywhere.
  const uintptr_t destination = NativeX64 ? at + RelayOffset(size) : to;
  if (!BuildTrampolineBytes(code, n, from, at, to, NativeX64, block) ||
      !JumpBytes(hook.Jump, from, destination, NativeX64) || !WriteCode(slot.get(), block.data(), block.size()))
    throw EHookError("The trampoline cannot be built");
  CodeHooks->push_back(std::move(hook));
  if (!WriteCode(target, CodeHooks->back().Jump, JumpSize)) {
    CodeHooks->pop_back();
    throw EHookError("The routine cannot be written");
  }
  return slot.release();
}

namespace {

// Under the lock.
bool UnhookTarget(uintptr_t from) {
  if (!CodeHooks) return false;
  for (size_t i = 0; i < CodeHooks->size(); ++i) {
    TCodeHook& hook = (*CodeHooks)[i];
    if (hook.Target != from) continue;
    void* code = reinterpret_cast<void*>(from);
    const size_t n = hook.SavedBytes.size();
    // A module that went away, or code that someone else wrote over since,
    // is left alone: writing there would crash the shut-down or undo their
    // change.
    bool present = IsReadable(code, n);
    bool ours = present && std::memcmp(code, hook.Jump, JumpSize) == 0;
    bool restored = ours && WriteCode(code, hook.SavedBytes.data(), n);
    // Our trampoline stays while code may still jump through it.
    if (restored || !present) FreeTrampoline(reinterpret_cast<void*>(hook.Trampoline));
    CodeHooks->erase(CodeHooks->begin() + i);
    return true;
  }
  return false;
}

}  // namespace

bool UnhookProcedure(void* target) {
  if (!target) return false;
  const uintptr_t from = ResolveImportJump(reinterpret_cast<uintptr_t>(target));
  TCriticalSection::TScope scope(CodeHooksLock());
  return UnhookTarget(from);
}

void UnhookAllProcedures() {
  TCriticalSection::TScope scope(CodeHooksLock());
  if (!CodeHooks) return;
  while (!CodeHooks->empty()) UnhookTarget(CodeHooks->back().Target);
  delete CodeHooks;
  CodeHooks = nullptr;
}

}  // namespace RevavaRez
