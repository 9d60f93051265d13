#include "TestModules.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "FolderTree.h"
#include "core/Streams.h"
#include "options/VezavuModuleOptions.h"

namespace brx_test {

namespace {

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

// Reports run to tens of kilobytes; 16 MB is far beyond any.
std::string ReadAll(const std::wstring& file) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "";
  std::string text;
  char chunk[65536];
  DWORD read = 0;
  while (text.size() < (16u << 20) && ReadFile(handle, chunk, sizeof chunk, &read, nullptr) && read > 0)
    text.append(chunk, read);
  CloseHandle(handle);
  return text;
}

}  // namespace

TTempFolder::TTempFolder(const std::wstring& label) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  static int made = 0;
  FNarrowPath = std::string(temp) + "brx " + std::string(label.begin(), label.end()) + " " +
                std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
  FPath.assign(FNarrowPath.begin(), FNarrowPath.end());
  CreateDirectoryA(FNarrowPath.c_str(), nullptr);
}

// The programs under test may leave folders of their own (a daily log).
TTempFolder::~TTempFolder() { RemoveTree(FNarrowPath); }

std::string OwnFileName() {
  char name[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, name, MAX_PATH);
  return name;
}

std::vector<uint8_t> WrittenOptions(const RevavaRez::TVezavuModuleOptions& options) {
  RevavaRez::TMemoryStream stream;
  options.WriteToStream(stream);
  return std::vector<uint8_t>(stream.Memory(), stream.Memory() + stream.Size());
}

std::wstring TestModulePath(const std::wstring& fileName) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return FolderOf(self) + L"\\" + fileName;
}

std::string ModuleBlockName(DWORD process, HMODULE module) {
  char name[64];
  std::snprintf(name, sizeof name, "%08lX%0*llXMODULE", process, static_cast<int>(sizeof(void*) * 2),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(module)));
  return name;
}

std::string BlockState(DWORD process, HMODULE module) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, ModuleBlockName(process, module).c_str());
  if (mapping == nullptr) return "block=none";
  std::string state = "block=unreadable";
  if (const auto* view = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
    uint32_t size = 0;
    std::memcpy(&size, view, 4);
    state = "block=" + std::to_string(size) + "," + (size > 4 ? std::to_string(view[4]) : std::string("-"));
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return state;
}

TStartedModule::TStartedModule(const std::wstring& exe, const std::wstring& arguments)
    : FReport(FolderOf(exe) + L"\\report.txt"), FStarted(GetTickCount()) {
  DeleteFileW(FReport.c_str());
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments + L" \"" + FReport + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &started)) {
    FStartError = GetLastError();
    return;
  }
  CloseHandle(started.hThread);
  FProcess = started.hProcess;
  FProcessId = started.dwProcessId;
}

TStartedModule::~TStartedModule() {
  if (FProcess) {
    TerminateProcess(FProcess, 99);
    CloseHandle(FProcess);
  }
}

TModuleRun TStartedModule::Finish() {
  TModuleRun run;
  run.StartError = FStartError;
  if (!FProcess) return run;
  const DWORD spent = GetTickCount() - FStarted;
  const DWORD left = spent < 30000 ? 30000 - spent : 0;
  if (WaitForSingleObject(FProcess, left) == WAIT_OBJECT_0) {
    run.Ended = true;
    GetExitCodeProcess(FProcess, &run.ExitCode);
  } else {
    TerminateProcess(FProcess, 99);
  }
  CloseHandle(FProcess);
  FProcess = nullptr;
  run.Report = ReadAll(FReport);
  return run;
}

bool MakeActiveCopy(const std::wstring& from, const std::wstring& to, const TOptionsImage& image) {
  TDataBlock block;
  block.Options = OptionsStream(image, block.Version);
  return CopyModule(from, to) && AppendToFile(to, TrailerBlock(block));
}

std::wstring ActiveCopy(const TTempFolder& folder, const std::wstring& module, const TOptionsImage& image) {
  const std::wstring to = folder.Path() + L"\\" + module;
  return MakeActiveCopy(TestModulePath(module), to, image) ? to : std::wstring();
}

std::string ReadFileText(const std::wstring& file) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "(missing)";
  std::string text;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(handle, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
  CloseHandle(handle);
  return text;
}

TModuleRun RunTestModule(const std::wstring& exe, const std::wstring& arguments) {
  return TStartedModule(exe, arguments).Finish();
}

}  // namespace brx_test
