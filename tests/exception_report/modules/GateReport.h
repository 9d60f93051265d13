#pragma once
// What a test module tells about the library inside it: the gate's state
// and this module's "MODULE" block, as one line of text the tests parse:
// "active=1 defer=0 hooks=1 options=1 block=5,0" (or "block=none").
#include <string>

namespace brx_test_module {

std::string GateStateLine();

}  // namespace brx_test_module
