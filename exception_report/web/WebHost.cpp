#include "web/WebHost.h"

#include <windows.h>

#include "core/VArev.h"
#include "core/VArevText.h"
#include "moduleinfo/PEImage.h"
#include "web/IntraWeb.h"

namespace RevavaRez {

namespace {

// A WinCGI server's parameter file is small; a bigger one is no such file.
constexpr int64_t kMaxParameterFileBytes = 102400;

// The command line's parameter at index (0 is the program), split as the
// program's own run-time splits it: blanks and control characters separate,
// double quotes group and are dropped.
std::string CommandLineParameter(size_t index) {
  const char* line = GetCommandLineA();
  if (!line) return std::string();
  size_t current = 0;
  const char* p = line;
  for (;;) {
    while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
    if (*p == '\0') return std::string();
    std::string parameter;
    bool quoted = false;
    while (*p != '\0' && (quoted || static_cast<unsigned char>(*p) > ' ')) {
      if (*p == '"')
        quoted = !quoted;
      else
        parameter += *p;
      ++p;
    }
    if (current++ == index) return parameter;
  }
}

std::string FullPath(const std::string& name) {
  char buffer[MAX_PATH + 1];
  const DWORD length = GetFullPathNameA(name.c_str(), sizeof buffer, buffer, nullptr);
  return length == 0 || length >= sizeof buffer ? name : std::string(buffer, length);
}

bool FileExists(const std::string& name) {
  const DWORD attributes = GetFileAttributesA(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string IniText(const std::string& file, const char* section, const char* key) {
  char buffer[2048];
  const DWORD length = GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, file.c_str());
  return std::string(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
}

// The WinCGI parameter file of this process, or empty: an existing file,
// named without wildcards, readable while others have it open, small, with
// a request method.
std::string WinCGIParameterFile() {
  if (IsConsoleProgram()) return std::string();
  std::string name = CommandLineParameter(1);
  if (name.empty() || name.find_first_of("*?") != std::string::npos || !FileExists(name)) return std::string();
  HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  LARGE_INTEGER size{};
  const bool small = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxParameterFileBytes;
  CloseHandle(file);
  if (!small) return std::string();
  // The profile functions would look for a bare name in the Windows folder.
  name = FullPath(name);
  return IniText(name, "CGI", "Request Method").empty() ? std::string() : name;
}

}  // namespace

bool IsConsoleProgram() {
  TPEHeaders headers;
  return ReadPEHeaders(GetModuleHandleA(nullptr), headers) && headers.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

bool IsCGIHost() {
  // The variable may be set and empty: only its absence counts.
  char value[1];
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetEnvironmentVariableA("REQUEST_METHOD", value, sizeof value);
  const bool exists = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  return IsConsoleProgram() && exists;
}

// Only running out of memory can fail here; that goes to the caller, whose
// own work could not go on either.
std::string WinCGIOutputFile() {
  const std::string parameters = WinCGIParameterFile();
  if (parameters.empty()) return std::string();
  std::string output = CommandLineParameter(3);
  if (output.empty()) output = IniText(parameters, "System", "Output File");
  return output;
}

bool IsWinCGIHost() {
  const std::string output = WinCGIOutputFile();
  return !output.empty() && FileExists(output);
}

bool IsISAPIHost() {
  HMODULE own = ThisModule();
  TPEHeaders headers;
  const bool library = ReadPEHeaders(own, headers) ? IsDLLModule(own) : own != GetModuleHandleA(nullptr);
  return library && GetProcAddress(own, "HttpExtensionProc") != nullptr;
}

bool IsIntraWebHost() { return IntraWebHost().ShowMessage != nullptr; }

bool IsWebHost() { return IsCGIHost() || IsWinCGIHost() || IsISAPIHost() || IsIntraWebHost(); }

bool IsGUIAllowed() { return !IsWebHost() && !IsConsoleProgram(); }

}  // namespace RevavaRez
