#include "interception/InterceptionState.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace RevavaRez {

TInterceptionState Interception;

namespace {

struct TExcluded {
  std::mutex Lock;
  std::vector<DWORD> Threads;
};

// Never freed: a thread ending at process exit may still ask.
TExcluded& Excluded() {
  static TExcluded* excluded = new TExcluded;
  return *excluded;
}

}  // namespace

void ExcludeThread(DWORD threadID) {
  TExcluded& excluded = Excluded();
  std::lock_guard<std::mutex> lock(excluded.Lock);
  if (std::find(excluded.Threads.begin(), excluded.Threads.end(), threadID) == excluded.Threads.end())
    excluded.Threads.push_back(threadID);
}

void IncludeThread(DWORD threadID) {
  TExcluded& excluded = Excluded();
  std::lock_guard<std::mutex> lock(excluded.Lock);
  excluded.Threads.erase(std::remove(excluded.Threads.begin(), excluded.Threads.end(), threadID),
                         excluded.Threads.end());
}

bool IsThreadExcluded(DWORD threadID) {
  TExcluded& excluded = Excluded();
  std::lock_guard<std::mutex> lock(excluded.Lock);
  return std::find(excluded.Threads.begin(), excluded.Threads.end(), threadID) != excluded.Threads.end();
}

TStackCopy& StackCopy() {
  static TStackCopy* copy = new TStackCopy();
  return *copy;
}

CRITICAL_SECTION& StackCopyLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    return section;
  }();
  return *lock;
}

}  // namespace RevavaRez
