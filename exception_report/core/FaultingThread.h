#pragma once
// Work that must run on the thread whose exception is being reported: the
// user's event handlers see their own thread's state there.
#include <cstdint>
#include <functional>

namespace RevavaRez {

// Runs the procedure on the faulting thread. It is handed over (the single
// PendingProcedure slot) only while a faulting thread waits for its
// processing and the caller is another thread; the caller then waits until
// it has run. Otherwise it runs at once on the calling thread: no thread
// would ever take it, and a caller that holds the processing lock would
// wait for good. What it raises is swallowed, as a handler's failure must
// not end the report. DuplicateFound is computed again afterwards.
void RunInFaultingThread(const std::function<void()>& procedure);

// The faulting thread's side, for its wait loop: it marks itself waiting
// while its exception is processed on another thread, and runs what is
// handed to it meanwhile. Clearing the mark hands a procedure not yet taken
// back to its caller, which then runs it itself.
void SetFaultingThreadWaiting(bool waiting);
bool FaultingThreadWaits();
// A procedure handed over waits in the slot, not yet taken.
bool ProcedurePending();
// Waits at most waitMilliseconds for a handed-over procedure, runs it and
// empties the slot. Answers whether one ran.
bool RunPendingProcedure(uint32_t waitMilliseconds = 0);

}  // namespace RevavaRez
