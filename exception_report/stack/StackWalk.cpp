// The stack walker: every slot value that follows a call becomes an entry.
// All reads of memory the library does not own go through ReadableLength
// first; ReadProcessMemory would make one walk take seconds under Wine.
#include "stack/StackWalk.h"
#include "stack/ThreadContext.h"

#include <cstring>
#include <memory>

#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "moduleinfo/DebugInfo.h"
#include "stack/CallSite.h"
#include "stack/ThreadsList.h"

namespace RevavaRez {

namespace {

#if defined(__x86_64__) || defined(_M_X64)
constexpr bool kX86_64 = true;
#else
constexpr bool kX86_64 = false;
#endif
constexpr size_t kSlot = sizeof(uintptr_t);
constexpr size_t kLookBehind = kX86_64 ? 8 : 7;
// Slots are checked for readability this many bytes at a time.
constexpr size_t kCheckedRun = 400;

bool ReadChecked(const void*, uint64_t address, size_t size, void* out) {
  if (address > UINTPTR_MAX) return false;
  const void* from = reinterpret_cast<const void*>(static_cast<uintptr_t>(address));
  if (ReadableLength(from, size) < size) return false;
  std::memcpy(out, from, size);
  return true;
}

// A range known to be readable, so that values pointing into the same code
// need no second query.
struct TReadableRange {
  uintptr_t From = 0, To = 0;  // [From, To)
  bool Holds(uintptr_t at, size_t size) const { return at >= From && at < To && To - at >= size; }
  bool Learn(uintptr_t at, size_t size) {
    const size_t length = ReadableLength(reinterpret_cast<const void*>(at), size);
    if (length < size) return false;
    From = at;
    To = at + length < at ? UINTPTR_MAX : at + length;
    return true;
  }
};

bool IsCallKind(uint8_t kind) { return kind >= dkExportName && kind <= dkLineTables; }

bool SameModule(const TVezavuStackEntry& a, const TVezavuStackEntry& b) {
  if (a.Module == b.Module) return true;
  return a.Module != nullptr && b.Module != nullptr && a.Module->Handle == b.Module->Handle;
}

// The next entry after index of a call kind in the entry's module, or -1.
int NextInModule(const TVezavuStackList& list, int index, const TVezavuStackEntry& of) {
  for (int j = index + 1; j < list.Count(); ++j) {
    const TVezavuStackEntry& e = *list.Items(j);
    if (IsCallKind(e.Kind) && SameModule(e, of)) return j;
  }
  return -1;
}

}  // namespace

void AddStackEntry(TVezavuStackList& list, uintptr_t address, const TWalkOptions& options, TWalkCounts& counts) {
  auto entry = std::make_unique<TVezavuStackEntry>();
  if (options.DebugInfo) {
    GetDebugInfo(address, options.ThreadID, *entry, options.ThreadFlag);
  } else {
    entry->Kind = dkModule;
    entry->Address = address;
    entry->ThreadID = options.ThreadID;
    entry->ThreadFlag = options.ThreadFlag;
    entry->OwnedModule = std::make_unique<TVezavuModuleInfo>();
    HMODULE module = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(address), &module) &&
        module != nullptr) {
      entry->OwnedModule->Handle = module;
      entry->OwnedModule->FileName = ModuleFileNameOf(module);
    }
    entry->Module = entry->OwnedModule.get();
  }
  if (entry->Kind > 7 || (options.KindSet & (1u << entry->Kind)) == 0) return;
  const bool limited = options.CountLimit >= 0 || options.FirstCounted >= 0;
  const bool keep = !limited || (counts.Seen >= options.FirstCounted &&
                                 (options.CountLimit < 0 || counts.Kept < options.CountLimit));
  ++counts.Seen;
  if (!keep) return;
  list.Add(entry.release());
  ++counts.Kept;
}

void HideDuplicateEntries(TVezavuStackList& list, int start, bool debugInfo, bool ideHost) {
  if (start < 0) start = 0;
  if (ideHost && debugInfo) {
    for (int i = start; i < list.Count();) {
      const TVezavuStackEntry& e = *list.Items(i);
      if (!IsCallKind(e.Kind) || e.ProcedureName.find("HandleException") != std::string::npos)
        list.Delete(i);
      else
        ++i;
    }
  }
  for (int i = list.Count() - 2; i >= start; --i) {
    TVezavuStackEntry& e = *list.Items(i);
    if (!IsCallKind(e.Kind)) continue;
    const int next = NextInModule(list, i, e);
    if (next < 0) continue;
    if (list.Items(next)->Address == e.Address) {
      e.Kind = dkAddress;
      continue;
    }
    const int after = NextInModule(list, next, e);
    if (after >= 0 && list.Items(after)->Address == e.Address) e.Kind = dkAddress;
  }
}

void WalkStack(TVezavuStackList& list, uintptr_t firstAddress, uintptr_t stackStart, uintptr_t stackEnd,
               const TWalkOptions& options) {
  const int firstAdded = list.Count();
  TWalkCounts counts;
  if (firstAddress != 0) AddStackEntry(list, firstAddress, options, counts);
  // The last byte the walk may read: the range's own, or the cap's.
  uintptr_t last = stackEnd;
  if (last >= stackStart && last - stackStart >= kStackWalkLimit) last = stackStart + (kStackWalkLimit - 1);
  uintptr_t at = (stackStart + (kSlot - 1)) & ~static_cast<uintptr_t>(kSlot - 1);
  TReadableRange slots, code;
  while (at >= stackStart && last >= at && last - at >= kSlot - 1) {
    if (!slots.Holds(at, kSlot) && !slots.Learn(at, kCheckedRun) && !slots.Learn(at, kSlot)) {
      at += kSlot;
      continue;
    }
    uintptr_t value;
    std::memcpy(&value, reinterpret_cast<const void*>(at), kSlot);
    at += kSlot;
    if (value < kLookBehind) continue;
    const uintptr_t from = value - kLookBehind;
    size_t behind = kLookBehind;
    if (!code.Holds(from, behind) && !code.Learn(from, behind)) {
      // The first byte may lie on an unreadable page before readable code;
      // only the REX-prefixed longest form needs it. Within one page the
      // answer would be the same.
      behind = 7;
      if (kLookBehind == 7 || ((from ^ (value - 1)) & ~static_cast<uintptr_t>(0xFFF)) == 0) continue;
      if (!code.Learn(value - behind, behind)) continue;
    }
    uint8_t bytes[kCallSiteLookBehind];
    std::memcpy(bytes, reinterpret_cast<const void*>(value - behind), behind);
    const TCallSiteMatch match = MatchCallSite(bytes, behind, value, kX86_64, ReadChecked, nullptr);
    if (match.EntryOffset < 0) continue;
    if (match.Direct && options.FollowDirectCalls) {
      const uintptr_t target = ResolveImportJump(static_cast<uintptr_t>(match.Target));
      const void* targetCode = reinterpret_cast<const void*>(target);
      if (IsReadable(targetCode, 5) && *static_cast<const uint8_t*>(targetCode) != 0xE8)
        AddStackEntry(list, target, options, counts);
    }
    AddStackEntry(list, value - static_cast<uintptr_t>(match.EntryOffset), options, counts);
  }
  HideDuplicateEntries(list, firstAdded, options.DebugInfo, IsIDEHost());
}

void WalkRecordCopy(TVezavuStackList& list, const ThreadRecord& record) {
  if (record.StackCopy == nullptr || record.StackCopySize == 0) return;
  TWalkOptions options;
  options.KindSet = 31;
  options.CountLimit = -1;
  options.FirstCounted = -1;
  options.FollowDirectCalls = true;
  options.DebugInfo = true;
  options.ThreadFlag = false;
  options.ThreadID = record.ResumingThreadID;
  const auto start = reinterpret_cast<uintptr_t>(record.StackCopy);
  WalkStack(list, 0, start, start + (record.StackCopySize - 1), options);
}

__attribute__((noinline)) void WalkCurrentThread(TVezavuStackList& list, TWalkOptions options) {
  options.ThreadFlag = true;
  options.ThreadID = GetCurrentThreadId();
  // This frame's own address: everything above it is the callers'.
  const auto start = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  const uintptr_t base = CurrentThreadStackBase();
  if (base <= start) return;
  WalkStack(list, 0, start, base - 1, options);
}

std::vector<TStackEntryText> CurrentThreadStackEntries() {
  std::vector<TStackEntryText> texts;
  TVezavuStackList list;
  WalkCurrentThread(list, TWalkOptions());
  for (int i = 0; i < list.Count(); ++i) {
    const TVezavuStackEntry& e = *list.Items(i);
    if (e.Kind == dkAddress) continue;  // hidden duplicates
    TStackEntryText text;
    text.Address = e.Address;
    if (e.Module != nullptr) {
      text.ModuleHandle = reinterpret_cast<uintptr_t>(e.Module->Handle);
      text.ModuleName = ExtractFileName(e.Module->FileName);
    }
    text.Line = e.Line;
    text.Unit = e.UnitName;
    text.ClassName = e.ClassName;
    text.Procedure = e.ProcedureName;
    if (e.Line != 0) text.LineText = std::to_string(e.Line);
    texts.push_back(std::move(text));
  }
  return texts;
}

}  // namespace RevavaRez
