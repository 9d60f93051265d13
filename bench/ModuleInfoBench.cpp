// GetDebugInfo for a 100-entry call stack against a module whose debug
// data holds 3,000 units with coded names, and, in the same run, the same
// lookups done as if nothing were kept: the body inflated and the key made
// again for every entry. Counts show that the key is made once per password
// and the body inflated once per module.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DataBlockBuilder.h"
#include "core/ExceptionLog.h"
#include "moduleinfo/DataBlock.h"
#include "moduleinfo/DebugInfo.h"
#include "moduleinfo/DebugData.h"
#include "moduleinfo/LineTables.h"
#include "moduleinfo/ModulesList.h"
#include "packing/Encryption.h"

namespace {

using namespace RevavaRez;
using TClock = std::chrono::steady_clock;

constexpr int kUnits = 3000;
constexpr int kStackEntries = 100;
constexpr int kRounds = 20;
// Small enough that all units lie inside the test library's image.
constexpr uint32_t kUnitCode = 32;
const char kPassword[] = "bench password";

double Ms(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

brx_test::Bytes Block() {
  const uint16_t v = 5110;
  std::vector<brx_test::TDebugUnit> units;
  units.reserve(kUnits);
  for (int u = 0; u < kUnits; ++u) {
    brx_test::TDebugUnit unit;
    unit.Name = brx_test::NameRecord("Unit" + std::to_string(u), v, kPassword);
    unit.FirstLine = 10;
    unit.CodeStart = static_cast<uint32_t>(u) * kUnitCode;
    unit.CodeSize = kUnitCode;
    // Four procedures of eight lines, one code byte each.
    for (int p = 0; p < 4; ++p) {
      const std::string name = "TClass" + std::to_string(u) + ".Procedure" + std::to_string(p);
      unit.Table = brx_test::Cat({unit.Table, brx_test::ByteProcedureLine(2, 1), brx_test::NameRecord(name, v, kPassword)});
      for (int line = 0; line < 7; ++line) unit.Table = brx_test::Cat({unit.Table, brx_test::ByteLine(1, 1)});
    }
    units.push_back(std::move(unit));
  }
  brx_test::TDataBlock block;
  block.Version = v;
  block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, v);
  block.Password = kPassword;
  block.DebugData = brx_test::DebugData(units, v);
  std::printf("debug data: %d units, %zu bytes\n", kUnits, block.DebugData.size());
  return brx_test::ResourceBlock(block);
}

std::unique_ptr<TVezavuModuleInfo> Record(HMODULE module) {
  auto record = std::make_unique<TVezavuModuleInfo>();
  record->Handle = module;
  record->FileName = ModuleFileNameOf(module);
  record->Options = std::make_unique<TVezavuModuleOptionsEx>(false, record->FileName);
  return record;
}

}  // namespace

int main() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring copy = std::wstring(temp) + L"brx_module_info_bench.dll";
  if (!brx_test::CopyModule(BRX_PASSWORD_MODULE, copy) || !brx_test::PutResource(copy, Block())) {
    std::printf("cannot make the module copy\n");
    return 1;
  }
  HMODULE module = LoadLibraryW(copy.c_str());
  auto set = module ? reinterpret_cast<void(__stdcall*)(const char*)>(
                          reinterpret_cast<void*>(GetProcAddress(module, "TestPasswordSet")))
                    : nullptr;
  if (set == nullptr) {
    std::printf("cannot load the module copy\n");
    return 1;
  }
  set(kPassword);

  // A call stack over the whole module, every entry in another unit.
  std::vector<uintptr_t> stack;
  for (int i = 0; i < kStackEntries; ++i) {
    const uint32_t unit = static_cast<uint32_t>((i * 2971) % kUnits);
    stack.push_back(reinterpret_cast<uintptr_t>(module) + 4096 + unit * kUnitCode + 3 + (i % 28));
  }

  // The first lookup makes the module's record: its block is loaded, the
  // password asked and checked, the body inflated.
  const uint32_t inflatedBefore = BodiesInflated();
  const uint32_t keysBefore = NameKeysMade();
  int resolved = 0;
  std::vector<double> rounds;
  for (int round = 0; round < kRounds; ++round) {
    auto start = TClock::now();
    for (uintptr_t address : stack) {
      TVezavuDebugInfo info;
      GetDebugInfo(address, 0, info, false);
      resolved += info.Kind == dkLineTables ? 1 : 0;
    }
    rounds.push_back(Ms(TClock::now() - start));
  }
  const uint32_t keysMade = NameKeysMade() - keysBefore;
  const uint32_t inflated = BodiesInflated() - inflatedBefore;
  double later = 0;
  for (int i = 1; i < kRounds; ++i) later += rounds[static_cast<size_t>(i)];
  later /= kRounds - 1;

  // The baseline: each entry loads the block again (inflating its body) and
  // has the key made again before it looks up.
  const uint32_t baselineInflatedBefore = BodiesInflated();
  auto b0 = TClock::now();
  for (uintptr_t address : stack) {
    auto fresh = Record(module);
    LoadDataBlock(*fresh, false);
    SetEncryptionKey("");  // someone else's key in between
    TVezavuDebugInfo info;
    FindInLineTables(*fresh, address, info);
  }
  const double baselineMs = Ms(TClock::now() - b0);
  const uint32_t baselineInflated = BodiesInflated() - baselineInflatedBefore;

  std::printf("GetDebugInfo, 100-entry stack, first (making the record): %.3f ms, later (mean of %d): %.3f ms, "
              "%d of %d entries from the line tables\n",
              rounds[0], kRounds - 1, later, resolved, kRounds * kStackEntries);
  std::printf("keys made for the password check and %d stacks with one password: %u; bodies inflated: %u\n",
              kRounds, keysMade, inflated);
  std::printf("baseline, inflating and making the key for each entry: %.2f ms per stack (%u inflations)\n",
              baselineMs, baselineInflated);
  std::printf("ratio baseline / kept: %.1fx\n", later > 0 ? baselineMs / later : 0.0);
  FreeModules();
  FreeLibrary(module);
  DeleteFileW(copy.c_str());
  return 0;
}
