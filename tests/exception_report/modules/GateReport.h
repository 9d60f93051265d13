#pragma once
// What a test module tells about the library inside it: the gate's state
// and this module's "MODULE" block, as one line of text the tests parse:
// "active=1 defer=0 hooks=1 options=1 block=5,0" (or "block=none").
#include <string>

namespace brx_test_module {

std::string GateStateLine();
// The module's thread list as activation left it: "records=1 id=1 handle=1
// top=1" when its one record is the main thread's with a working handle of
// the list's own and the main thread's stack top; "no list" without one.
std::string ThreadsStateLine();

}  // namespace brx_test_module
