// Modules, the computer, the debugger, handles, threads and restarts.
#include <vector>

#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "core/VArevText.h"

namespace RevavaRez {

namespace {

template <typename F>
F ProcAs(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

std::string& StartDirectoryText() {
  static std::string directory;
  return directory;
}

}  // namespace

uintptr_t CallTargetOf(uintptr_t site) {
  const void* code = reinterpret_cast<const void*>(site);
  if (!IsReadable(code, 5)) return 0;
  const uint8_t* bytes = static_cast<const uint8_t*>(code);
  int32_t displacement =
      static_cast<int32_t>(bytes[1] | bytes[2] << 8 | bytes[3] << 16 | static_cast<uint32_t>(bytes[4]) << 24);
  return ResolveImportJump(site + 5 + static_cast<uintptr_t>(static_cast<intptr_t>(displacement)));
}

std::string ModuleFileNameOf(HMODULE module) {
  char name[261];
  DWORD length = GetModuleFileNameA(module, name, 260);
  if (length == 0 || length >= 260) return std::string();
  std::string path(name, length);
  // "\??\C:\dir\file" and the like: keep the drive letter and what follows.
  size_t question = Pos("?", path);
  if (question > 0) {
    size_t colon = PosFrom(":", path, question);
    if (colon > 1) path = Copy(path, colon - 1, path.size());
  }
  return ExpandLongPath(path);
}

HMODULE ModuleHandleOfFile(const std::string& fileName) {
  return fileName.empty() ? nullptr : GetModuleHandleA(fileName.c_str());
}

std::string TempFolder() {
  char folder[MAX_PATH + 1];
  DWORD length = GetTempPathA(MAX_PATH, folder);
  return length == 0 || length > MAX_PATH ? std::string() : std::string(folder, length);
}

std::string ComputerName() {
  char name[16];
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

std::string SafeComputerName() { return SafeFileNamePart(ComputerName()); }

std::string WindowsVersionName() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return WindowsVersionText(0, 0, 0, std::string());
  return WindowsVersionText(static_cast<int>(info.dwPlatformId), static_cast<int>(info.dwMajorVersion),
                            static_cast<int>(info.dwMinorVersion), info.szCSDVersion);
}

std::string MailDate(TDateTime date) { return MailDateText(date, TimeZoneHours()); }

bool IsDebuggerAttached() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return false;
  auto present = ProcAs<BOOL(WINAPI*)()>(GetProcAddress(kernel, "IsDebuggerPresent"));
  if (present) return present() != FALSE;
  // Without the export, a debugger shows by a redirected GetProcAddress.
  FARPROC own = GetProcAddress(kernel, "GetProcAddress");
  return reinterpret_cast<uintptr_t>(own) < reinterpret_cast<uintptr_t>(kernel);
}

bool HandleIsValid(HANDLE handle, DWORD platformId) {
  DWORD flags;
  if (platformId == VER_PLATFORM_WIN32_NT && GetHandleInformation(handle, &flags)) return true;
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return false;
  CloseHandle(copy);
  return true;
}

bool ThreadIsRunning(HANDLE thread) {
  DWORD code;
  return HandleIsValid(thread) && GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

void RememberStartDirectory() {
  char folder[MAX_PATH + 1];
  DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
  try {
    StartDirectoryText().assign(folder, length <= MAX_PATH ? length : 0);
  } catch (...) {
  }
}

std::string StartDirectory() { return StartDirectoryText(); }

void RestartOrTerminate(bool restart) {
  if (restart) {
    try {
      std::string line = GetCommandLineA();
      std::vector<char> command(line.begin(), line.end());
      command.push_back('\0');
      STARTUPINFOA startup = {};
      startup.cb = sizeof startup;
      GetStartupInfoA(&startup);
      std::string folder = StartDirectory();
      PROCESS_INFORMATION process;
      if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE,
                         CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr,
                         folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
      }
    } catch (...) {
    }
  }
  TerminateProcess(GetCurrentProcess(), 1);
  ExitProcess(1);
}

}  // namespace RevavaRez
