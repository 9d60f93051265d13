#pragma once
// Active copies of the test modules for the web-host tests, and the
// response a CGI or WinCGI program writes before its page.
#include <windows.h>

#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"

namespace brx_web_test {

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
inline std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Copies the test module into the folder with a data block of default
// options, which makes the library in it work.
inline bool ActiveCopy(const std::wstring& module, const std::wstring& to) {
  return brx_test::MakeActiveCopy(brx_test::TestModulePath(module), to);
}

using brx_test::ReadFileText;

inline bool WriteFileText(const std::wstring& file, const std::string& text) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(handle);
  return ok && written == text.size();
}

// The header block before a page of that many bytes, as a client gets it.
inline std::string Headers(size_t pageBytes, bool statusLine) {
  return std::string(statusLine ? "Status: 200 Error\r\n" : "") +
         "Cache-Control: no-cache\r\nExpires: 0\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(pageBytes) + "\r\nContent:\r\n\r\n";
}

// A verb's report: the summary line, then the page it sent.
struct TSendReport {
  std::string Summary, Page;
};
inline TSendReport SplitReport(const std::string& report) {
  const size_t end = report.find('\n');
  if (end == std::string::npos) return {report, std::string()};
  return {report.substr(0, end), report.substr(end + 1)};
}

}  // namespace brx_web_test
