#pragma once
// The call-stack entries of a report.
#include <cstddef>
#include <memory>

#include "moduleinfo/ModuleInfo.h"

namespace RevavaRez {

// A walk reads at most this many bytes above its start, so no stack copy
// needs more.
constexpr size_t kStackWalkLimit = 102400;

struct TVezavuStackEntry : TVezavuDebugInfo {
  // A kind-1 entry made without debug information holds a small module
  // record of its own (handle and file name), which Module points at.
  std::unique_ptr<TVezavuModuleInfo> OwnedModule;
};

class TVezavuStackList : public TVezavuRecordList<TVezavuStackEntry> {};

}  // namespace RevavaRez
