#pragma once
// The verbs of the test EXEs. Each writes its answer into the report file
// named by the last argument and answers the exit code.
//   state REPORT        the gate's state of the EXE
//   load DLL REPORT     loads the library DLL and writes the DLL's state
#include <string>
#include <vector>

namespace brx_test_module {

int RunVerbs(const std::vector<std::wstring>& arguments);
// Replaces the file with the text; false when it could not.
bool WriteReport(const std::wstring& file, const std::string& text);

// Points the processing's dialog seam at the recorder; the screenshot, the
// request for steps and the send do nothing.
void RecordProcessingDialogs(bool (*showDialog)());

// The verb groups of the exception-processing tests, each in a file of its
// own; each answers kNotMyVerb for a verb it does not know.
constexpr int kNotMyVerb = -1;
int RunProcessingVerbs(const std::vector<std::wstring>& arguments);
int RunLogVerbs(const std::vector<std::wstring>& arguments);
int RunEventVerbs(const std::vector<std::wstring>& arguments);
int RunWebVerbs(const std::vector<std::wstring>& arguments);
// The thread tracking's verbs (ThreadVerbs.cpp).
int RunThreadVerbs(const std::vector<std::wstring>& arguments);
int RunInterceptionVerbs(const std::vector<std::wstring>& arguments);
// The web hooks' verbs (UnitVerbs.cpp).
int RunUnitVerbs(const std::vector<std::wstring>& arguments);
// The framework hooks' stand-ins (FrameworkRoutines.cpp).
int RunFrameworkVerbs(const std::vector<std::wstring>& arguments);
// The freeze watchdog's verbs (FreezeVerbs.cpp).
int RunFreezeVerbs(const std::vector<std::wstring>& arguments);

}  // namespace brx_test_module
