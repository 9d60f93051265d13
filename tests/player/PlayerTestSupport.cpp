#include "PlayerTestSupport.h"

#include <cstdio>
#include <vector>

#include "KrmWriter.h"
#include "base/SystemText.h"

const wchar_t* const ProgramKey = L"Software\\Zephyrcastor Brindolux";

std::wstring TestFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"brx player " + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::wstring WriteRecording(const std::wstring& Name, uint32_t DurationMs, uint32_t KeyInterval) {
  KrmWriter writer(64, 48);
  for (uint32_t time = 0; time < DurationMs; time += KeyInterval) {
    TestPicture picture(64, 48, uint8_t(time / KeyInterval * 40), 128, 200);
    writer.AddKeyFrame(time, CT_RAW, BmpFileImage(picture));
  }
  writer.SetDuration(DurationMs);
  const std::wstring path = TestFolder() + L"\\" + Name;
  writer.SaveToFile(WideToAnsi(path));
  return path;
}

bool RegisterControl() {
  HMODULE module = LoadLibraryW(WindowsPath(BRX_OCX_PATH).c_str());
  if (!module) return false;
  using TRegister = HRESULT(STDAPICALLTYPE*)();
  auto registerServer =
      reinterpret_cast<TRegister>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
  const bool ok = registerServer && SUCCEEDED(registerServer());
  FreeLibrary(module);
  return ok;
}

std::wstring MakeDemoRecording() {
  const std::wstring demo = TestFolder() + L"\\demo.krm";
  const std::wstring tool = WindowsPath(BRX_DEMO_TOOL);
  std::wstring commandLine = L"\"" + tool + L"\" \"" + demo + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION made{};
  if (!CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &made))
    return L"";
  DWORD code = 1;
  if (WaitForSingleObject(made.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(made.hProcess, &code);
  CloseHandle(made.hThread);
  CloseHandle(made.hProcess);
  return code == 0 ? demo : L"";
}

std::wstring StoredRecentFile(int Index) {
  const std::wstring key = std::wstring(ProgramKey) + L"\\MRU Items";
  const std::wstring name = L"F" + std::to_wstring(Index);
  wchar_t value[1024] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return L"";
  return value;
}

void DeleteStoredRecentFiles() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, ProgramKey); }
