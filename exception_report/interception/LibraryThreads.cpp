#include "interception/LibraryThreads.h"

#include <new>

namespace RevavaRez {

namespace {

struct TLibraryThreadStart {
  DWORD (*Body)(void*);
  void* Parameter;
};

DWORD WINAPI LibraryThread(void* start) {
  const TLibraryThreadStart copy = *static_cast<TLibraryThreadStart*>(start);
  delete static_cast<TLibraryThreadStart*>(start);
  try {
    return copy.Body(copy.Parameter);
  } catch (...) {
    return 1;
  }
}

}  // namespace

HANDLE StartLibraryThread(DWORD (*body)(void*), void* parameter, bool suspended, DWORD* threadID) {
  auto* start = new (std::nothrow) TLibraryThreadStart{body, parameter};
  if (start == nullptr) return nullptr;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, LibraryThread, start, suspended ? CREATE_SUSPENDED : 0, &id);
  if (thread == nullptr) {
    delete start;
    return nullptr;
  }
  if (threadID) *threadID = id;
  return thread;
}

LPTHREAD_START_ROUTINE LibraryThreadProcedure() { return LibraryThread; }

}  // namespace RevavaRez
