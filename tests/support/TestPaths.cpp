#include "TestPaths.h"

#include <windows.h>

#include <cstdlib>

#include "base/SystemText.h"

std::wstring WindowsPath(const std::string& BuildPath) {
  std::wstring path = AnsiToWide(BuildPath);
  for (auto& c : path)
    if (c == L'/') c = L'\\';
  return !path.empty() && path[0] == L'\\' ? L"Z:" + path : path;
}

std::wstring ArtifactsFolder() {
  const char* build = std::getenv("BRX_BUILD_DIR");
  std::wstring folder = WindowsPath(build ? build : ".") + L"\\artifacts";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}
