#include "interception/ThreadExceptionState.h"

#include <cstring>

namespace RevavaRez {

namespace {
thread_local TThreadExceptionState State;
}  // namespace

TThreadExceptionState& ThreadExceptionState() { return State; }

void ClearThreadExceptionState() {
  TThreadExceptionState& state = State;
  const uint8_t inReport = state.InReport, inDispatch = state.InDispatch;
  const uint8_t holds = state.WatchdogHolds, watchdog = state.OnWatchdogThread;
  std::memset(static_cast<void*>(&state), 0, sizeof state);
  state.InReport = inReport;
  state.InDispatch = inDispatch;
  state.WatchdogHolds = holds;
  state.OnWatchdogThread = watchdog;
}

uintptr_t LastRaiseAddressOf(const void* object) {
  const TThreadExceptionState& state = State;
  if (object == nullptr) return 0;
  if (state.HasLastRaise && state.LastRaiseObject == object) return state.LastRaiseAddress;
  if (state.LanguageObject == object) return state.LanguageAddress;
  return 0;
}

}  // namespace RevavaRez
