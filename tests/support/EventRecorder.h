#pragma once
// Records the events a control fires into a sink: each with its dispatch
// identifier, its arguments in declaration order and the thread it came on.
// Safe to feed from several threads.
#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

struct TRecordedArg {
  VARTYPE Type = VT_EMPTY;  // without VT_BYREF
  long Long = 0;            // integers and enumerations
  std::wstring Text;        // strings
};

struct TRecordedEvent {
  DISPID Dispid = 0;
  std::vector<TRecordedArg> Args;
  DWORD ThreadId = 0;
};

class TEventRecorder {
 public:
  // For a sink handler. A by-reference 16-bit argument (a key) is replaced
  // by ReplaceKey when that is set.
  void Record(DISPID dispid, DISPPARAMS& params);

  std::vector<TRecordedEvent> Events() const;
  size_t Count(DISPID dispid) const;
  // The first argument of every event with dispid, in order.
  std::vector<long> FirstArgs(DISPID dispid) const;
  void Clear();

  void SetReplaceKey(short key);

 private:
  mutable std::mutex FLock;
  std::vector<TRecordedEvent> FEvents;
  bool FReplace = false;
  short FReplaceKey = 0;
};
