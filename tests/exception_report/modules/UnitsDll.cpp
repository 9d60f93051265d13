// A library whose static objects tell where its initialisation and
// destruction stood when they ran. It patches its constructor list from
// its own start, right after the library's start-up object.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "interception/InterceptionState.h"
#include "options/UnitTable.h"

using RevavaRez::Interception;

namespace {

int InitializationInConstructor = -1;
int FinalizationInConstructor = -1;

// Runs after the start-up object (priority 101) and before every
// default-priority constructor.
__attribute__((constructor(102))) void PatchAtStart() {
  Interception.InInitialization = 1;
  Interception.InFinalization = 0;
  RevavaRez::PatchUnitInitTable();
}

// Its destructor writes to the file named by BRX_UNIT_REPORT, since the
// library is gone when the test reads it.
struct TWitness {
  TWitness() {
    InitializationInConstructor = Interception.InInitialization;
    FinalizationInConstructor = Interception.InFinalization;
  }
  ~TWitness() {
    char file[MAX_PATH] = {};
    if (GetEnvironmentVariableA("BRX_UNIT_REPORT", file, sizeof file) == 0) return;
    if (FILE* report = std::fopen(file, "wb")) {
      std::fprintf(report, "init=%d fin=%d", int(Interception.InInitialization), int(Interception.InFinalization));
      std::fclose(report);
    }
  }
};

TWitness Witness;

}  // namespace

extern "C" __declspec(dllexport) void __stdcall TestModuleUnitState(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  std::snprintf(buffer, size, "constructor init=%d fin=%d, loaded init=%d fin=%d", InitializationInConstructor,
                FinalizationInConstructor, int(Interception.InInitialization), int(Interception.InFinalization));
}
