#pragma once
// The verbs of the test EXEs. Each writes its answer into the report file
// named by the last argument and answers the exit code.
//   state REPORT        the gate's state of the EXE
//   load DLL REPORT     loads the library DLL and writes the DLL's state
#include <string>
#include <vector>

namespace brx_test_module {

int RunVerbs(const std::vector<std::wstring>& arguments);

}  // namespace brx_test_module
