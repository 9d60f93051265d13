// The screenshot's colour reduction and PNG encoding of a 1920 x 1080
// photo-like picture against zlib's deflate at level 9 alone on the same
// filtered rows, in the same run. The whole encoding should take at most
// twice zlib's time.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/Streams.h"
#include "screenshot/ColourTree.h"
#include "screenshot/PngWriter.h"

namespace {

using namespace RevavaRez;
using TClock = std::chrono::steady_clock;

constexpr uint32_t kWidth = 1920, kHeight = 1080;

// Smooth light and colour with grain, as a photograph has: blue, green, red
// rows, top first.
std::vector<uint8_t> PhotoPixels(size_t& stride) {
  stride = (kWidth * 3 + 3) & ~size_t(3);
  std::vector<uint8_t> pixels(stride * kHeight);
  uint32_t seed = 20261211;
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = static_cast<int>(seed >> 28) - 8;
      const double fx = x / double(kWidth), fy = y / double(kHeight);
      const double light = 0.5 + 0.5 * std::sin(fx * 5.0 + std::cos(fy * 4.0) * 2.0);
      auto channel = [&](double value) {
        return static_cast<uint8_t>(std::clamp(static_cast<int>(value * 255.0) + grain, 0, 255));
      };
      uint8_t* at = &pixels[y * stride + x * 3];
      at[0] = channel(0.2 + 0.6 * fy * light);
      at[1] = channel(0.3 + 0.5 * light * (1.0 - fx * 0.5));
      at[2] = channel(0.1 + 0.8 * light * fx);
    }
  return pixels;
}

// The nearest entry for each pixel, as the graphics system would choose it,
// through a cache of 15-bit colours.
std::vector<uint8_t> Indices(const std::vector<uint8_t>& pixels, size_t stride, const TScreenPalette& palette) {
  std::vector<int> cache(32 * 32 * 32, -1);
  std::vector<uint8_t> rows(size_t(kWidth) * kHeight);
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      const uint8_t* p = &pixels[y * stride + x * 3];
      const int key = ((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3);
      if (cache[key] < 0) {
        int best = 0, bestDistance = 1 << 30;
        for (int i = 0; i < 256; ++i) {
          const int dr = palette[i].Red - p[2], dg = palette[i].Green - p[1], db = palette[i].Blue - p[0];
          const int distance = dr * dr + dg * dg + db * db;
          if (distance < bestDistance) best = i, bestDistance = distance;
        }
        cache[key] = best;
      }
      rows[size_t(y) * kWidth + x] = static_cast<uint8_t>(cache[key]);
    }
  return rows;
}

double Milliseconds(TClock::time_point start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

}  // namespace

int main() {
  size_t stride = 0;
  const std::vector<uint8_t> pixels = PhotoPixels(stride);
  TScreenPalette palette;
  {
    TColourTree tree;
    tree.AddRows(pixels.data(), kWidth, kHeight, stride);
    palette = tree.Palette();
  }
  const std::vector<uint8_t> indices = Indices(pixels, stride, palette);
  std::vector<uint8_t> filtered;
  filtered.reserve(size_t(kWidth + 1) * kHeight);
  for (uint32_t y = 0; y < kHeight; ++y) {
    filtered.push_back(0);
    filtered.insert(filtered.end(), indices.begin() + size_t(y) * kWidth, indices.begin() + size_t(y + 1) * kWidth);
  }

  const int rounds = 3;
  double ours = 1e30, zlibAlone = 1e30;
  size_t pngSize = 0, zlibSize = 0;
  for (int round = 0; round < rounds; ++round) {
    TClock::time_point start = TClock::now();
    TColourTree tree;
    tree.AddRows(pixels.data(), kWidth, kHeight, stride);
    const TScreenPalette reduced = tree.Palette();
    TMemoryStream png;
    WritePng(png, indices.data(), kWidth, kHeight, kWidth, false, reduced);
    ours = std::min(ours, Milliseconds(start));
    pngSize = static_cast<size_t>(png.Size());

    start = TClock::now();
    std::vector<Bytef> packed(compressBound(static_cast<uLong>(filtered.size())));
    uLongf packedSize = static_cast<uLongf>(packed.size());
    if (compress2(packed.data(), &packedSize, filtered.data(), static_cast<uLong>(filtered.size()), 9) != Z_OK) {
      std::printf("zlib failed\n");
      return 1;
    }
    zlibAlone = std::min(zlibAlone, Milliseconds(start));
    zlibSize = packedSize;
  }
  const double megapixels = kWidth * double(kHeight) / 1e6;
  std::printf("screenshot %ux%u, %zu colours used, best of %d\n", kWidth, kHeight,
              static_cast<size_t>(std::count_if(palette.begin(), palette.end(),
                                                [](const TPaletteEntry& e) { return !(e == TPaletteEntry{}); })),
              rounds);
  std::printf("  octree + PNG encoding : %8.2f ms/MP  (%zu bytes)\n", ours / megapixels, pngSize);
  std::printf("  zlib level 9 alone    : %8.2f ms/MP  (%zu bytes)\n", zlibAlone / megapixels, zlibSize);
  std::printf("  ratio                 : %8.2f  (target at most 2.00)\n", ours / zlibAlone);
  return 0;
}
