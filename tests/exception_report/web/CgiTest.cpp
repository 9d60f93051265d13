// CGI and WinCGI programs: active copies of the console and windowed test
// modules, started as a web server starts them, send the page of a report.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "WebModules.h"

namespace {

using brx_web_test::Headers;
using brx_web_test::Narrow;
using brx_web_test::ReadFileText;
using brx_web_test::WriteFileText;
using brx_web_test::SplitReport;

// A console program started by a CGI server: REQUEST_METHOD set or not,
// its standard output the write end of a pipe with a small buffer.
class TCgiRun {
 public:
  TCgiRun(const std::wstring& exe, const std::wstring& arguments, bool requestMethod) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&FRead, &FWrite, &inherit, 4096)) return;
    SetHandleInformation(FRead, HANDLE_FLAG_INHERIT, 0);
    FReport = exe.substr(0, exe.rfind(L'\\')) + L"\\report.txt";
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments + L" \"" + FReport + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = FWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    if (requestMethod) SetEnvironmentVariableW(L"REQUEST_METHOD", L"GET");
    if (CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                       &startup, &FStarted))
      CloseHandle(FStarted.hThread);
    SetEnvironmentVariableW(L"REQUEST_METHOD", nullptr);
    // Only the child holds the write end now: its end ends the reading.
    CloseHandle(FWrite);
  }
  ~TCgiRun() {
    if (FStarted.hProcess) {
      if (WaitForSingleObject(FStarted.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(FStarted.hProcess, 99);
      CloseHandle(FStarted.hProcess);
    }
    if (FRead) CloseHandle(FRead);
  }
  TCgiRun(const TCgiRun&) = delete;
  TCgiRun& operator=(const TCgiRun&) = delete;

  bool Started() const { return FStarted.hProcess != nullptr; }
  // Reads the output until it holds the text (or until its end, for an
  // empty text).
  std::string ReadUntil(const std::string& text) {
    char buffer[4096];
    DWORD read = 0;
    while ((text.empty() || FOutput.find(text) == std::string::npos) &&
           ReadFile(FRead, buffer, sizeof buffer, &read, nullptr) && read > 0)
      FOutput.append(buffer, read);
    return FOutput;
  }
  void CloseOutput() {
    CloseHandle(FRead);
    FRead = nullptr;
  }
  // The report, once the program ended within the bound.
  std::string Report() {
    if (WaitForSingleObject(FStarted.hProcess, 30000) != WAIT_OBJECT_0) return "(still running)";
    return ReadFileText(FReport);
  }

 private:
  HANDLE FRead = nullptr, FWrite = nullptr;
  PROCESS_INFORMATION FStarted{};
  std::wstring FReport;
  std::string FOutput;
};

TEST(Cgi, TheHeadersAndThePageGoToStandardOutput) {
  for (bool requestMethod : {true, false}) {
    SCOPED_TRACE(requestMethod ? "with REQUEST_METHOD" : "without");
    brx_test::TTempFolder folder(L"web cgi");
    const std::wstring exe = folder.Path() + L"\\cgi.exe";
    ASSERT_TRUE(brx_web_test::ActiveCopy(L"brx_test_module_console.exe", exe));
    TCgiRun run(exe, L"web-send 3000", requestMethod);
    ASSERT_TRUE(run.Started());
    const std::string output = run.ReadUntil(std::string());
    const auto report = SplitReport(run.Report());
    if (!requestMethod) {
      EXPECT_EQ(report.Summary, "console=1 cgi=0 wincgi=0 isapi=0 intraweb=0 web=0 gui=0 sent=0 warning=");
      EXPECT_EQ(output, "");
      continue;
    }
    EXPECT_EQ(report.Summary, "console=1 cgi=1 wincgi=0 isapi=0 intraweb=0 web=1 gui=0 sent=1 warning=");
    ASSERT_GT(report.Page.size(), 3000u);
    EXPECT_EQ(output, Headers(report.Page.size(), true) + report.Page);
  }
}

TEST(Cgi, AClientGoneAfterTheHeadersFailsTheSend) {
  brx_test::TTempFolder folder(L"web cgi closed");
  const std::wstring exe = folder.Path() + L"\\cgi.exe";
  ASSERT_TRUE(brx_web_test::ActiveCopy(L"brx_test_module_console.exe", exe));
  // A page far above the pipe's buffer cannot be written before the test
  // has closed its end.
  TCgiRun run(exe, L"web-send 4000000", true);
  ASSERT_TRUE(run.Started());
  const std::string output = run.ReadUntil("Content:\r\n\r\n");
  EXPECT_EQ(output.rfind("Status: 200 Error\r\n", 0), 0u) << output.substr(0, 200);
  run.CloseOutput();
  EXPECT_EQ(SplitReport(run.Report()).Summary,
            "console=1 cgi=1 wincgi=0 isapi=0 intraweb=0 web=1 gui=0 sent=0 warning=CGI: Cannot write in the ouput "
            "file.");
}

// A WinCGI parameter file of the given size (at least its content), with
// comment lines to fill it.
std::string ParameterFile(const std::string& requestMethod, const std::string& outputFile, size_t size) {
  std::string text = "[CGI]\r\nRequest Method=" + requestMethod + "\r\n[System]\r\nOutput File=" + outputFile + "\r\n";
  while (text.size() + 102 <= size) text += ";" + std::string(99, 'x') + "\r\n";
  if (text.size() + 3 <= size) text += ";" + std::string(size - text.size() - 3, 'x') + "\r\n";
  text += std::string(size > text.size() ? size - text.size() : 0, '\n');
  return text;
}

struct TWinCgiCase {
  const char* What;
  std::string RequestMethod;
  size_t FileSize;
  bool OutputOnCommandLine, OutputExists, Host;
};

TEST(WinCgi, TheHostTest) {
  const TWinCgiCase cases[] = {
      {"a parameter file of 102,400 bytes", "GET", 102400, true, true, true},
      {"one byte more", "GET", 102401, true, true, false},
      {"no request method", "", 200, true, true, false},
      {"the output file named only in the parameter file", "POST", 200, false, true, true},
      {"a missing output file", "GET", 200, true, false, false},
  };
  for (const TWinCgiCase& c : cases) {
    SCOPED_TRACE(c.What);
    brx_test::TTempFolder folder(L"web wincgi");
    const std::wstring exe = folder.Path() + L"\\wincgi.exe";
    ASSERT_TRUE(brx_web_test::ActiveCopy(L"brx_test_module_windowed.exe", exe));
    const std::wstring ini = folder.Path() + L"\\request.ini";
    const std::wstring output = folder.Path() + L"\\response.txt";
    const std::string parameters = ParameterFile(c.RequestMethod, Narrow(output), c.FileSize);
    ASSERT_EQ(parameters.size(), c.FileSize);
    ASSERT_TRUE(WriteFileText(ini, parameters));
    if (c.OutputExists) {
      ASSERT_TRUE(WriteFileText(output, ""));
    }
    const std::wstring third = c.OutputOnCommandLine ? output : std::wstring();
    const brx_test::TModuleRun run = brx_test::RunTestModule(
        exe, L"\"" + ini + L"\" \"" + folder.Path() + L"\\content.txt\" \"" + third + L"\" web-hosts");
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.Report, std::string("console=0 cgi=0 wincgi=") + (c.Host ? "1" : "0") +
                              " isapi=0 intraweb=0 web=" + (c.Host ? "1" : "0") + " gui=" + (c.Host ? "0" : "1"));
  }
}

TEST(WinCgi, TheOutputFileHoldsExactlyTheResponse) {
  brx_test::TTempFolder folder(L"web wincgi send");
  const std::wstring exe = folder.Path() + L"\\wincgi.exe";
  ASSERT_TRUE(brx_web_test::ActiveCopy(L"brx_test_module_windowed.exe", exe));
  const std::wstring ini = folder.Path() + L"\\request.ini";
  const std::wstring output = folder.Path() + L"\\response.txt";
  ASSERT_TRUE(WriteFileText(ini, ParameterFile("GET", Narrow(output), 0)));
  // What the program wrote there before, longer than the response.
  ASSERT_TRUE(WriteFileText(output, std::string(200000, 'x')));
  const brx_test::TModuleRun run =
      brx_test::RunTestModule(exe, L"\"" + ini + L"\" \"" + folder.Path() + L"\\content.txt\" \"\" web-send");
  ASSERT_TRUE(run.Ended);
  const auto report = SplitReport(run.Report);
  EXPECT_EQ(report.Summary, "console=0 cgi=0 wincgi=1 isapi=0 intraweb=0 web=1 gui=0 sent=1 warning=");
  ASSERT_FALSE(report.Page.empty());
  // Compared whole, not printed: the stale bytes would fill the log.
  const std::string response = ReadFileText(output);
  EXPECT_EQ(response.size(), Headers(report.Page.size(), true).size() + report.Page.size());
  EXPECT_TRUE(response == Headers(report.Page.size(), true) + report.Page);
}

}  // namespace
