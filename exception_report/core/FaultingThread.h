#pragma once
// Work that must run on the thread whose exception is being reported: the
// user's event handlers see their own thread's state there.
#include <functional>

namespace RevavaRez {

// Runs the procedure on the faulting thread. While no exception is being
// processed that is the calling thread, so it runs at once; what it raises
// is swallowed, as a handler's failure must not end the report.
void RunInFaultingThread(const std::function<void()>& procedure);

}  // namespace RevavaRez
