// File, folder, registry and environment helpers: every failure gives an
// empty text, 0 or false.
#include <vector>

#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "options/VezavuModuleOptions.h"

namespace RevavaRez {

TDateTime FileDateOf(const std::string& name) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(name.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  FILETIME local;
  WORD date, time;
  if (!FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return EncodeDateTime(1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63,
                        (time & 31) * 2);
}

std::string ExpandLongPath(const std::string& path) {
  if (Pos("~", path) == 0) return path;
  char full[MAX_PATH + 1];
  char* filePart = nullptr;
  DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, &filePart);
  if (length == 0 || length >= MAX_PATH) return path;
  std::string rest(full, length);
  // The drive part ("C:\" or "\\server\share\") stays as it is.
  size_t start;
  if (rest.compare(0, 2, "\\\\") == 0) {
    start = rest.find('\\', 2);
    start = start == std::string::npos ? rest.size() : rest.find('\\', start + 1);
    start = start == std::string::npos ? rest.size() : start + 1;
  } else {
    start = rest.size() >= 3 && rest[1] == ':' ? 3 : 0;
  }
  std::string result = rest.substr(0, start);
  while (start < rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    std::string component = rest.substr(start, end - start);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((result + component).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return result + rest.substr(start);
    FindClose(search);
    result += found.cFileName;
    if (end < rest.size()) result += '\\';
    start = end + 1;
  }
  return result;
}

std::string ReadRegistryText(HKEY root, const std::string& key, const std::string& valueName) {
  std::string path = key.compare(0, 1, "\\") == 0 ? key.substr(1) : key;
  HKEY opened;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return std::string();
  std::string text;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(opened, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      size > 0 && size <= 0x100000) {
    std::vector<char> buffer(size);
    if (RegQueryValueExA(opened, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) == ERROR_SUCCESS) {
      text.assign(buffer.data(), size <= buffer.size() ? size : buffer.size());
      // Only a terminating zero is dropped: a value stored without one keeps
      // its last character.
      if (!text.empty() && text.back() == '\0') text.pop_back();
    }
  }
  RegCloseKey(opened);
  return text;
}

bool CanWriteFile(const std::string& name) {
  bool existed = GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
  HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  if (!existed) DeleteFileA(name.c_str());
  return true;
}

bool CanReadFile(const std::string& name) {
  HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::string EnvironmentText(const std::string& name) {
  char buffer[1024];
  DWORD length = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
  // A longer value answers its needed size and leaves the buffer as it was.
  if (length == 0 || length >= sizeof buffer) return std::string();
  return std::string(buffer, length);
}

std::string ProfileFolder() {
  std::string folder = EnvironmentText("UserProfile");
  return folder.empty() ? "\\" : folder;
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {
bool EnsureFolder(const std::string& folder) {
  return FolderExists(folder) || CreateDirectoryA(folder.c_str(), nullptr) || FolderExists(folder);
}
}  // namespace

bool FindUsableFile(std::string& name, bool moduleFolder, bool readOnly) {
  auto usable = [readOnly](const std::string& candidate) {
    return readOnly ? CanReadFile(candidate) : CanWriteFile(candidate);
  };
  if (usable(name)) return true;
  std::string folder = ProfileFolder() + "\\RevavaRez";
  if (!EnsureFolder(folder)) return false;
  if (moduleFolder) {
    folder += "\\" + ChangeFileExt(ExtractFileName(ModuleFileNameOf(nullptr)), "");
    if (!EnsureFolder(folder)) return false;
  }
  std::string candidate = folder + "\\" + ExtractFileName(name);
  if (!usable(candidate)) return false;
  name = candidate;
  return true;
}

std::string LogFilePath(const std::string& logLocation, const std::string& moduleFileName, uint8_t logFlags,
                        const std::string& name) {
  return LogFilePathFor(logLocation, moduleFileName, logFlags, SafeComputerName(), name);
}

std::string LogFileIn(const TVezavuModuleOptions& options, const std::string& name) {
  return LogFileIn(options.LogLocation(), name);
}

std::string LogFilePath(const TVezavuModuleOptions& options, const std::string& name) {
  return LogFilePath(options.LogLocation(), options.ModuleFileName(), options.LogFlags(), name);
}

}  // namespace RevavaRez
