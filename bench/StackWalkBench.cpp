// The stack walker without debug information over a 102,400-byte stack
// copy: values into unmapped memory and into readable data, and 100 return
// addresses behind call sites of every form. Against it, the one check the
// walk cannot skip: ReadableLength of the 7 bytes before each slot value.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "CallSiteCode.h"
#include "core/VArev.h"
#include "stack/StackWalk.h"

using namespace RevavaRez;

namespace {

constexpr size_t kSlot = brx_test::kStackSlot;
constexpr size_t kCell = 16;
constexpr int kSites = 100;
constexpr int kRounds = 20;

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main() {
  // Code: the call sites, one per cell; then an import jump, its slot and
  // the routine it reaches.
  const size_t codeSize = 64 * 1024;
  auto* code = static_cast<uint8_t*>(VirtualAlloc(nullptr, codeSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  // Reserved but never committed: values into it are unreadable.
  auto* unmapped = static_cast<uint8_t*>(VirtualAlloc(nullptr, 1 << 20, MEM_RESERVE, PAGE_NOACCESS));
  if (code == nullptr || unmapped == nullptr) {
    std::printf("stack_walk_bench: no memory\n");
    return 1;
  }
  std::memset(code, 0x90, codeSize);
  uint8_t* jump = code + codeSize - 0x300;
  uint8_t* slot = code + codeSize - 0x200;
  uint8_t* routine = code + codeSize - 0x100;
  std::memcpy(routine, "\x55\x89\xE5\x90\x90\xC3", 6);
  brx_test::PutImportJump(jump, slot, routine);

  const std::vector<std::vector<uint8_t>> forms = brx_test::CallForms();
  std::vector<uintptr_t> returns, calls;
  for (int i = 0; i < kSites; ++i) {
    uint8_t* end = code + kCell * (static_cast<size_t>(i) + 1);
    calls.push_back(brx_test::PutCallSite(end, forms[static_cast<size_t>(i) % forms.size()], jump, slot));
    returns.push_back(reinterpret_cast<uintptr_t>(end));
  }

  // The copy: every third value unmapped, every third into readable data,
  // every third a small number; the return addresses spread over it.
  std::vector<uint8_t> data(64 * 1024, 0);
  const size_t slots = kStackWalkLimit / kSlot;
  std::vector<uintptr_t> copy(slots);
  const size_t spacing = slots / kSites;
  for (size_t i = 0; i < slots; ++i) {
    if (i % spacing == spacing / 2 && i / spacing < static_cast<size_t>(kSites)) {
      copy[i] = returns[i / spacing];
      continue;
    }
    switch (i % 3) {
      case 0: copy[i] = reinterpret_cast<uintptr_t>(unmapped) + (i * 40) % (1 << 20); break;
      case 1: copy[i] = reinterpret_cast<uintptr_t>(data.data()) + (i * 8) % data.size(); break;
      default: copy[i] = i; break;
    }
  }
  const auto start = reinterpret_cast<uintptr_t>(copy.data());
  const uintptr_t last = start + slots * kSlot - 1;

  TWalkOptions options;
  options.DebugInfo = false;
  int found = 0, entries = 0;
  LARGE_INTEGER t0, t1, t2;
  QueryPerformanceCounter(&t0);
  for (int round = 0; round < kRounds; ++round) {
    TVezavuStackList list;
    WalkStack(list, 0, start, last, options);
    if (round == 0) {
      entries = list.Count();
      for (int i = 0; i < list.Count(); ++i)
        for (uintptr_t call : calls) found += list.Items(i)->Address == call ? 1 : 0;
    }
  }
  QueryPerformanceCounter(&t1);
  volatile size_t sink = 0;
  for (int round = 0; round < kRounds; ++round)
    for (uintptr_t v : copy) sink = sink + ReadableLength(reinterpret_cast<const void*>(v - 7), 7);
  QueryPerformanceCounter(&t2);

  const double walk = Milliseconds(t0, t1) / kRounds, baseline = Milliseconds(t1, t2) / kRounds;
  std::printf("stack_walk_bench: %zu slots of %zu bytes, %d return addresses\n", slots, kSlot, kSites);
  std::printf("  WalkStack:                 %8.3f ms per walk\n", walk);
  std::printf("  ReadableLength(v - 7, 7):  %8.3f ms per pass (baseline)\n", baseline);
  std::printf("  ratio:                     %8.2f (target at most 2)\n", baseline > 0 ? walk / baseline : 0.0);
  std::printf("  call sites found:          %d of %d (%d entries with the direct calls' targets)\n", found, kSites,
              entries);
  VirtualFree(unmapped, 0, MEM_RELEASE);
  VirtualFree(code, 0, MEM_RELEASE);
  return found == kSites ? 0 : 1;
}
