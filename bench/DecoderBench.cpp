// Decode throughput of the library's UnZipBuffer export against zlib,
// liblzo2 and libjpeg called directly on the same payloads, in the same run.
// Both sides decode into one block made before timing starts.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
#include <lzo/lzo1x.h>
#include <zlib.h>

#include "KrmWriter.h"

namespace {

using UnZipBufferFn = int(__stdcall*)(const void*, uint32_t, int16_t, uint32_t, void*);
using BoolFn = bool(__stdcall*)();

// A screen as recordings show it: a desktop gradient, windows with title
// bars and lines of text, and a photo-like area with smooth shading and
// grain.
TestPicture ScreenPicture(int width, int height) {
  TestPicture p(width, height);
  uint32_t seed = 12345;
  auto rnd = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 24;
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p.SetPixel(x, y, uint8_t(120 + y * 60 / height), uint8_t(80 + x * 40 / width), 40);
  auto fill = [&](int x0, int y0, int w, int h, uint8_t b, uint8_t g, uint8_t r) {
    for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
      for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x) p.SetPixel(x, y, b, g, r);
  };
  const int windows[][4] = {{width / 20, height / 12, width / 2, height * 2 / 3},
                            {width * 2 / 5, height / 5, width / 2, height / 2}};
  for (const auto& w : windows) {
    fill(w[0], w[1], w[2], w[3], 240, 240, 240);
    fill(w[0], w[1], w[2], 22, 160, 90, 30);
    // Lines of "text": glyph-sized clusters of dark strokes.
    for (int line = w[1] + 34; line + 12 < w[1] + w[3]; line += 16)
      for (int x = w[0] + 8; x + 7 < w[0] + w[2] - 8; x += 8) {
        if (rnd() < 40) continue;  // a space
        for (int gy = 0; gy < 11; ++gy)
          for (int gx = 0; gx < 6; ++gx)
            if (rnd() < 90 && line + gy < height && x + gx < width) p.SetPixel(x + gx, line + gy, 20, 20, 20);
      }
  }
  // The photo: overlapping waves with grain.
  const int px = width * 3 / 5, py = height * 3 / 5, pw = width / 3, ph = height / 3;
  for (int y = py; y < std::min(height, py + ph); ++y)
    for (int x = px; x < std::min(width, px + pw); ++x) {
      double v = std::sin(x * 0.021) * std::cos(y * 0.017) + std::sin((x + y) * 0.008);
      int grain = int(rnd() % 16) - 8;
      p.SetPixel(x, y, uint8_t(std::clamp(int(110 + 60 * v) + grain, 0, 255)),
                 uint8_t(std::clamp(int(130 + 50 * std::sin(y * 0.03)) + grain, 0, 255)),
                 uint8_t(std::clamp(int(150 - 70 * v) + grain, 0, 255)));
    }
  return p;
}

// libjpeg called directly, with the decoder's parameters, into the same
// bottom-to-top row layout.
struct TJump {
  jpeg_error_mgr Manager;
  jmp_buf Jump;
};
void JumpOut(j_common_ptr cinfo) { longjmp(reinterpret_cast<TJump*>(cinfo->err)->Jump, 1); }

int DirectJpeg(const Bytes& jpeg, uint8_t* out, uint32_t capacity) {
  jpeg_decompress_struct cinfo;
  TJump err;
  cinfo.err = jpeg_std_error(&err.Manager);
  err.Manager.error_exit = JumpOut;
  if (setjmp(err.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.do_block_smoothing = TRUE;
  cinfo.dct_method = JDCT_IFAST;
  cinfo.dither_mode = JDITHER_ORDERED;
  cinfo.two_pass_quantize = FALSE;
  cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  const size_t row = (size_t(cinfo.output_width) * 3 + 3) & ~size_t(3);
  const size_t size = 54 + row * cinfo.output_height;
  if (size > capacity) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  uint8_t* dest = out + 54 + row * (cinfo.output_height - 1);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW r = dest;
    jpeg_read_scanlines(&cinfo, &r, 1);
    dest -= row;
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return int(size);
}

int DirectZlib(const Bytes& data, uint8_t* out, uint32_t capacity) {
  uLongf length = capacity;
  return uncompress(out, &length, data.data(), uLong(data.size())) == Z_OK ? int(length) : 0;
}

int DirectLzo(const Bytes& data, uint8_t* out, uint32_t capacity) {
  lzo_uint length = capacity;
  return lzo1x_decompress_safe(data.data(), data.size(), out, &length, nullptr) == LZO_E_OK ? int(length) : 0;
}

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

// Best of several rounds of at least 0.3 s each, in MB/s of decoded bytes.
template <typename Decode>
double Throughput(Decode decode, int expected) {
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    int calls = 0;
    const double start = Seconds();
    double elapsed = 0;
    do {
      if (decode() != expected) return -1;
      ++calls;
      elapsed = Seconds() - start;
    } while (elapsed < 0.3);
    best = std::max(best, double(expected) * calls / elapsed / 1e6);
  }
  return best;
}

std::string OcxPath() {
  std::string path = BRX_OCX_PATH;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path[0] == '\\' ? "Z:" + path : path;
}

}  // namespace

int main() {
  HMODULE ocx = LoadLibraryA(OcxPath().c_str());
  if (ocx == nullptr) {
    std::printf("cannot load %s\n", OcxPath().c_str());
    return 1;
  }
  auto unzip =
      reinterpret_cast<UnZipBufferFn>(reinterpret_cast<void (*)()>(GetProcAddress(ocx, "UnZipBuffer")));
  auto init = reinterpret_cast<BoolFn>(reinterpret_cast<void (*)()>(GetProcAddress(ocx, "InitDecoder")));
  if (unzip == nullptr || init == nullptr || !init() || lzo_init() != LZO_E_OK) {
    std::printf("decoder interface not usable\n");
    return 1;
  }

  const uint32_t capacity = 10485760;
  std::vector<uint8_t> out(capacity);
  bool allMet = true;
  std::printf("%-10s %-5s %10s %12s %12s %7s\n", "picture", "type", "payload", "export MB/s", "direct MB/s",
              "ratio");
  for (const auto& size : {std::pair<int, int>{1024, 768}, std::pair<int, int>{1920, 1080}}) {
    const TestPicture picture = ScreenPicture(size.first, size.second);
    const Bytes bmp = BmpFileImage(picture);
    const struct {
      const char* Name;
      int16_t Type;
      Bytes Payload;
      int (*Direct)(const Bytes&, uint8_t*, uint32_t);
    } kinds[] = {{"JPEG", CT_JPEG, JpegCompressUpsideDown(picture, 75), DirectJpeg},
                 {"zlib", CT_ZLIB, ZlibCompress(bmp), DirectZlib},
                 {"LZO1X", CT_LZO, Lzo1x1Compress(bmp), DirectLzo}};
    for (const auto& kind : kinds) {
      const int expected = kind.Direct(kind.Payload, out.data(), capacity);
      // Alternate the two sides so that drift in the machine's load hits both.
      double viaExport = 0, direct = 0;
      for (int pass = 0; pass < 2; ++pass) {
        viaExport = std::max(viaExport, Throughput(
                                            [&] {
                                              return unzip(kind.Payload.data(), uint32_t(kind.Payload.size()),
                                                           kind.Type, capacity, out.data());
                                            },
                                            expected));
        direct = std::max(
            direct, Throughput([&] { return kind.Direct(kind.Payload, out.data(), capacity); }, expected));
      }
      const double ratio = direct > 0 ? viaExport / direct : 0;
      if (viaExport <= 0 || ratio < 0.95) allMet = false;
      char label[32];
      std::snprintf(label, sizeof(label), "%dx%d", size.first, size.second);
      std::printf("%-10s %-5s %10zu %12.1f %12.1f %7.3f\n", label, kind.Name, kind.Payload.size(), viaExport,
                  direct, ratio);
    }
  }
  std::printf("target ratio >= 0.95 for every type: %s\n", allMet ? "met" : "NOT met");
  return 0;
}
