#pragma once
// A list of pointers guarded by one critical section: the frame buffer, the
// key-frame cache and the index table are built on it. Whoever holds the list
// between LockList and UnlockList may read and change it freely; every other
// thread waits.
#include <windows.h>

#include <algorithm>
#include <vector>

// RAII owner of a Win32 critical section.
class TCriticalSection {
 public:
  TCriticalSection() { InitializeCriticalSection(&FSection); }
  ~TCriticalSection() { DeleteCriticalSection(&FSection); }
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter() { EnterCriticalSection(&FSection); }
  void Leave() { LeaveCriticalSection(&FSection); }

  // Holds the section for one scope.
  class TScope {
   public:
    explicit TScope(TCriticalSection& section) : FSection(section) { FSection.Enter(); }
    ~TScope() { FSection.Leave(); }
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;

   private:
    TCriticalSection& FSection;
  };

 private:
  CRITICAL_SECTION FSection;
};

template <typename T>
class TThreadList {
 public:
  using TList = std::vector<T*>;

  TThreadList() = default;
  virtual ~TThreadList() = default;
  TThreadList(const TThreadList&) = delete;
  TThreadList& operator=(const TThreadList&) = delete;

  TList& LockList() {
    FLock.Enter();
    return FList;
  }
  void UnlockList() { FLock.Leave(); }

  // Appends under the lock; a pointer already in the list is not added again.
  void Add(T* item) {
    TLocked locked(*this);
    if (std::find(FList.begin(), FList.end(), item) == FList.end()) FList.push_back(item);
  }

  // Holds the list locked for one scope, so that the lock is left on every
  // path out of it, exceptions included.
  class TLocked {
   public:
    explicit TLocked(TThreadList& owner) : FOwner(owner), List(owner.LockList()) {}
    ~TLocked() { FOwner.UnlockList(); }
    TLocked(const TLocked&) = delete;
    TLocked& operator=(const TLocked&) = delete;

   private:
    TThreadList& FOwner;

   public:
    TList& List;
  };

 protected:
  TCriticalSection FLock;
  TList FList;
};
