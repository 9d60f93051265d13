// Verbs of the web hooks in a test EXE, put in place as the start-up will:
//   cgi-write REPORT   hooks "WriteFile", points standard output at a file
//                      as a CGI server's pipe, writes a page there and
//                      other bytes to another file; the answer is
//                      "page=" and the last HTML page kept.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestModuleDriver.h"
#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "hooking/HookEngine.h"
#include "report/ReportFiles.h"
#include "web/WebHooks.h"

using namespace RevavaRez;

namespace brx_test_module {

namespace {

const char kCgiPage[] = "Content-Type: text/html\r\n\r\n<p>cgi page</p>";

HANDLE CreateOutput(const std::wstring& file) {
  return CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
}

int CgiWrite(const std::wstring& reportFile) {
  EHookInit();
  InstallWriteFileHook({"", ModuleFileNameOf(ThisModule()), "", "msvcrt.dll"});
  HANDLE output = CreateOutput(reportFile + L".out");
  HANDLE other = CreateOutput(reportFile + L".other");
  if (output == INVALID_HANDLE_VALUE || other == INVALID_HANDLE_VALUE) return 3;
  // The run-time's descriptor 1 and the process's standard output become
  // the same file, as in a program a server started with a pipe.
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(output), _O_BINARY);
  if (descriptor < 0 || _dup2(descriptor, 1) != 0) return 3;
  SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(1)));
  std::fputs(kCgiPage, stdout);
  std::fflush(stdout);
  DWORD written = 0;
  WriteFile(other, "other bytes", 11, &written, nullptr);
  CloseHandle(other);
  return WriteReport(reportFile, "page=" + LastHtmlPage) ? 0 : 3;
}

}  // namespace

int RunUnitVerbs(const std::vector<std::wstring>& arguments) {
  if (arguments.size() == 2 && arguments[0] == L"cgi-write") return CgiWrite(arguments[1]);
  return kNotMyVerb;
}

}  // namespace brx_test_module
