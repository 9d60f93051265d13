#include "WindowShot.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>

void SavePng(const std::string& path, int width, int height, const std::vector<COLORREF>& pixels) {
  std::vector<uint8_t> raw;
  raw.reserve(size_t(height) * (width * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < width; ++x) {
      const COLORREF c = pixels[size_t(y) * width + x];
      raw.push_back(GetRValue(c));
      raw.push_back(GetGValue(c));
      raw.push_back(GetBValue(c));
    }
  }
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 9);
  packed.resize(packedSize);
  std::ofstream out(path, std::ios::binary);
  auto be32 = [&](uint32_t v) {
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.write(b, 4);
  };
  auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
    be32(uint32_t(data.size()));
    out.write(type, 4);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    crc = crc32(crc, data.data(), uInt(data.size()));
    be32(uint32_t(crc));
  };
  out.write("\x89PNG\r\n\x1a\n", 8);
  std::vector<uint8_t> header = {uint8_t(width >> 24),
                                 uint8_t(width >> 16),
                                 uint8_t(width >> 8),
                                 uint8_t(width),
                                 uint8_t(height >> 24),
                                 uint8_t(height >> 16),
                                 uint8_t(height >> 8),
                                 uint8_t(height),
                                 8,
                                 2,
                                 0,
                                 0,
                                 0};
  chunk("IHDR", header);
  chunk("IDAT", packed);
  chunk("IEND", {});
}

std::string ArtifactsFolder() {
  const char* build = std::getenv("BRX_BUILD_DIR");
  std::string folder = build ? std::string(build) : std::string(".");
  // The build passes a host path; Wine sees the host's root as Z:.
  if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
  for (char& c : folder)
    if (c == '/') c = '\\';
  folder += "\\artifacts";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\";
}


namespace {

// What the device context shows from (x, y), width by height.
std::vector<COLORREF> Capture(HDC source, int x, int y, int width, int height) {
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<COLORREF> pixels(size_t(width) * height);
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF);
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  return pixels;
}

}  // namespace

std::vector<COLORREF> CaptureWindow(HWND window, const std::string& name, int& width, int& height) {
  RECT client{};
  GetClientRect(window, &client);
  width = client.right;
  height = client.bottom;
  HDC dc = GetDC(window);
  std::vector<COLORREF> pixels = Capture(dc, 0, 0, width, height);
  ReleaseDC(window, dc);
  SavePng(ArtifactsFolder() + name + ".png", width, height, pixels);
  return pixels;
}

std::vector<COLORREF> CaptureWholeWindow(HWND window, const std::string& name, int& width, int& height) {
  RECT outer{};
  GetWindowRect(window, &outer);
  width = outer.right - outer.left;
  height = outer.bottom - outer.top;
  // The screen, not the window's own device context: what the frame shows
  // is what counts, whoever painted it.
  HDC screen = GetDC(nullptr);
  std::vector<COLORREF> pixels = Capture(screen, outer.left, outer.top, width, height);
  ReleaseDC(nullptr, screen);
  SavePng(ArtifactsFolder() + name + ".png", width, height, pixels);
  return pixels;
}
