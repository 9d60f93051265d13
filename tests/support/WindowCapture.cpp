#include "WindowCapture.h"

#include <zlib.h>

#include <cstdio>

#include "TestPaths.h"

namespace {

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

std::vector<uint32_t> CaptureWindow(HWND Window, bool WholeWindow, int& Width, int& Height) {
  Width = Height = 0;
  RECT r{};
  if (!(WholeWindow ? GetWindowRect(Window, &r) : GetClientRect(Window, &r))) return {};
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return {};
  // The window's own picture, children included: a window of this process.
  HDC source = WholeWindow ? GetWindowDC(Window) : GetDC(Window);
  HDC memory = CreateCompatibleDC(source);
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
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
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
  ReleaseDC(Window, source);
  return pixels;
}

bool SaveWindowScreenshot(HWND Window, const std::wstring& FileName) {
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels = CaptureWindow(Window, true, width, height);
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
