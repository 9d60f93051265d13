#pragma once
// Holds a critical section for a scope, however the scope is left.
#include <windows.h>

namespace RevavaRez {

class TSectionScope {
 public:
  explicit TSectionScope(CRITICAL_SECTION& section) : FSection(section) { EnterCriticalSection(&FSection); }
  ~TSectionScope() { LeaveCriticalSection(&FSection); }
  TSectionScope(const TSectionScope&) = delete;
  TSectionScope& operator=(const TSectionScope&) = delete;

 private:
  CRITICAL_SECTION& FSection;
};

}  // namespace RevavaRez
