#include "PlayerTestSupport.h"

#include <zlib.h>

#include <cstdio>
#include <vector>

#include "KrmWriter.h"
#include "base/SystemText.h"

const wchar_t* const ProgramKey = L"Software\\Zephyrcastor Brindolux";

std::wstring WindowsPath(const std::string& BuildPath) {
  std::wstring path = AnsiToWide(BuildPath);
  for (auto& c : path)
    if (c == L'/') c = L'\\';
  return !path.empty() && path[0] == L'\\' ? L"Z:" + path : path;
}

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

namespace {

std::wstring ArtifactsFolder() {
  const char* build = std::getenv("BRX_BUILD_DIR");
  std::wstring folder = WindowsPath(build ? build : ".") + L"\\artifacts";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32(out, uint32_t(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32(out, uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}

}  // namespace

namespace {

// The pixels of Area of the device context Source.
std::vector<uint32_t> CaptureDC(HDC Source, const RECT& Area, int& Width, int& Height) {
  Width = Height = 0;
  const int width = Area.right - Area.left, height = Area.bottom - Area.top;
  if (!Source || width <= 0 || height <= 0) return {};
  HDC memory = CreateCompatibleDC(Source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<uint32_t> pixels;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, Source, Area.left, Area.top, SRCCOPY);
    GdiFlush();
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    pixels.assign(p, p + size_t(width) * height);
    for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    Width = width;
    Height = height;
  }
  DeleteDC(memory);
  return pixels;
}

bool SavePicture(const std::vector<uint32_t>& pixels, int width, int height, const std::wstring& FileName) {
  if (pixels.empty()) return false;
  std::vector<uint8_t> raw;
  raw.reserve(size_t(width * 3 + 1) * height);
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = pixels[size_t(y) * width + x];
      raw.push_back(uint8_t(pixel >> 16));
      raw.push_back(uint8_t(pixel >> 8));
      raw.push_back(uint8_t(pixel));
    }
  }
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 9) != Z_OK) return false;
  packed.resize(packedSize);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  std::vector<uint8_t> header;
  Put32(header, uint32_t(width));
  Put32(header, uint32_t(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", {});
  const std::wstring path = ArtifactsFolder() + L"\\" + FileName;
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  const bool ok = fwrite(png.data(), 1, png.size(), file) == png.size();
  fclose(file);
  return ok;
}

}  // namespace

std::vector<uint32_t> CaptureWindow(HWND Window, bool WholeWindow, int& Width, int& Height) {
  Width = Height = 0;
  RECT r{};
  if (!(WholeWindow ? GetWindowRect(Window, &r) : GetClientRect(Window, &r))) return {};
  OffsetRect(&r, -r.left, -r.top);
  // The window's own picture, children included: a window of this process.
  HDC source = WholeWindow ? GetWindowDC(Window) : GetDC(Window);
  std::vector<uint32_t> pixels = CaptureDC(source, r, Width, Height);
  if (source) ReleaseDC(Window, source);
  return pixels;
}

std::vector<uint32_t> CaptureScreen(const RECT& Area, int& Width, int& Height) {
  HDC screen = GetDC(nullptr);
  std::vector<uint32_t> pixels = CaptureDC(screen, Area, Width, Height);
  if (screen) ReleaseDC(nullptr, screen);
  return pixels;
}

bool SaveWindowScreenshot(HWND Window, const std::wstring& FileName) {
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels = CaptureWindow(Window, true, width, height);
  return SavePicture(pixels, width, height, FileName);
}

bool SaveScreenScreenshot(const std::wstring& FileName) {
  const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels = CaptureScreen(screen, width, height);
  return SavePicture(pixels, width, height, FileName);
}
