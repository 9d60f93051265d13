// The colour reduction and the PNG writer on pixels the tests make, read
// back by a chunk reader of their own that checks CRCs and inflates with
// zlib.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "PngReader.h"
#include "core/Streams.h"
#include "screenshot/ColourTree.h"
#include "screenshot/PngWriter.h"

using namespace RevavaRez;

namespace {

TPngFile Encode(const std::vector<uint8_t>& rows, uint32_t width, uint32_t height, size_t stride, bool bottomUp,
                const TScreenPalette& palette = TScreenPalette{}) {
  TMemoryStream stream;
  WritePng(stream, rows.data(), width, height, stride, bottomUp, palette);
  return ReadPng(stream.Memory(), static_cast<size_t>(stream.Size()));
}

std::vector<std::string> Types(const TPngFile& file) {
  std::vector<std::string> types;
  for (const TPngChunk& chunk : file.Chunks) types.push_back(chunk.Type);
  return types;
}

void ExpectCrcsMatch(const TPngFile& file) {
  for (const TPngChunk& chunk : file.Chunks) EXPECT_EQ(chunk.StoredCrc, chunk.ComputedCrc) << chunk.Type;
}

}  // namespace

// One pixel wide: stride 4 in memory, width 1 in the header, each row the
// filter byte and one index, the top row first although memory holds the
// bottom row first; the stride's padding stays out.
TEST(PngWriter, OnePixelWideRowsTopFirst) {
  const std::vector<uint8_t> rows = {7, 0xEE, 0xEE, 0xEE,   // bottom row
                                     5, 0xEE, 0xEE, 0xEE,   //
                                     3, 0xEE, 0xEE, 0xEE};  // top row
  const TPngFile file = Encode(rows, 1, 3, 4, true);
  ASSERT_TRUE(file.SignatureOk);
  EXPECT_EQ(Types(file), (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
  ExpectCrcsMatch(file);
  const std::vector<uint8_t> header = {0, 0, 0, 1, 0, 0, 0, 3, 8, 3, 0, 0, 0};
  EXPECT_EQ(file.Chunks[0].Data, header);
  ASSERT_TRUE(file.InflateOk);
  EXPECT_EQ(file.Image, (std::vector<uint8_t>{0, 3, 0, 5, 0, 7}));

  const TPngFile topDown = Encode(rows, 1, 3, 4, false);
  EXPECT_EQ(topDown.Image, (std::vector<uint8_t>{0, 7, 0, 5, 0, 3}));
}

TEST(PngWriter, EmptyEndChunkHasTheStandardCrc) {
  const TPngFile file = Encode({0, 0, 0, 0}, 1, 1, 4, true);
  ASSERT_FALSE(file.Chunks.empty());
  const TPngChunk& end = file.Chunks.back();
  EXPECT_EQ(end.Type, "IEND");
  EXPECT_TRUE(end.Data.empty());
  EXPECT_EQ(end.StoredCrc, 0xAE426082u);
  // Continuing a CRC gives the CRC of the whole.
  EXPECT_EQ(Crc32Update(Crc32Update(0, "IE", 2), "ND", 2), 0xAE426082u);
}

// Data that do not compress fill several IDAT chunks, each complete one
// exactly 262,143 bytes, the last one shorter and not empty; together they
// inflate to the rows.
TEST(PngWriter, LargeDataSplitIntoFullChunks) {
  const uint32_t width = 1000, height = 800;
  std::vector<uint8_t> rows(size_t(width) * height);
  std::mt19937 random(29);
  for (uint8_t& index : rows) index = static_cast<uint8_t>(random());
  const TPngFile file = Encode(rows, width, height, width, false);
  ExpectCrcsMatch(file);
  std::vector<size_t> sizes;
  for (const TPngChunk& chunk : file.Chunks)
    if (chunk.Type == "IDAT") sizes.push_back(chunk.Data.size());
  ASSERT_GE(sizes.size(), 3u);
  for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], kPngChunkLimit) << i;
  EXPECT_GT(sizes.back(), 0u);
  EXPECT_LE(sizes.back(), kPngChunkLimit);
  ASSERT_TRUE(file.InflateOk);
  ASSERT_EQ(file.Image.size(), size_t(width + 1) * height);
  for (uint32_t y = 0; y < height; ++y) {
    ASSERT_EQ(file.Image[size_t(y) * (width + 1)], 0) << y;
    ASSERT_TRUE(std::equal(rows.begin() + size_t(y) * width, rows.begin() + size_t(y + 1) * width,
                           file.Image.begin() + size_t(y) * (width + 1) + 1))
        << y;
  }
}

TEST(PngWriter, RefusesAPictureWithoutRows) {
  TMemoryStream stream;
  const uint8_t row[4] = {};
  EXPECT_ANY_THROW(WritePng(stream, row, 0, 1, 4, true, TScreenPalette{}));
  EXPECT_ANY_THROW(WritePng(stream, row, 4, 1, 3, true, TScreenPalette{}));
}

// Up to 256 distinct colours are kept exactly, the rest of the table is
// black, and PLTE always carries 256 entries.
TEST(ColourTree, FewColoursKeptExactly) {
  for (int count : {1, 2, 200, 256}) {
    SCOPED_TRACE(count);
    std::vector<TPaletteEntry> colours;
    std::mt19937 random(count);
    std::set<std::tuple<int, int, int>> seen;
    while (static_cast<int>(colours.size()) < count) {
      const uint32_t value = random();
      const TPaletteEntry entry{uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16)};
      if (entry == TPaletteEntry{} || !seen.insert({entry.Red, entry.Green, entry.Blue}).second) continue;
      colours.push_back(entry);
    }
    // Every colour on several pixels of a 24-bit picture (blue, green, red).
    const uint32_t width = 7;
    const uint32_t height = static_cast<uint32_t>(count) * 3;
    const size_t stride = (width * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> pixels(stride * height, 0xCC);
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) {
        const TPaletteEntry& c = colours[(y * width + x) % colours.size()];
        uint8_t* at = &pixels[y * stride + x * 3];
        at[0] = c.Blue, at[1] = c.Green, at[2] = c.Red;
      }
    TColourTree tree;
    tree.AddRows(pixels.data(), width, height, stride);
    const TScreenPalette palette = tree.Palette();
    std::vector<TPaletteEntry> used(palette.begin(), palette.begin() + count);
    for (const TPaletteEntry& colour : colours)
      EXPECT_NE(std::find(used.begin(), used.end(), colour), used.end())
          << int(colour.Red) << "," << int(colour.Green) << "," << int(colour.Blue);
    for (size_t i = count; i < palette.size(); ++i) EXPECT_EQ(palette[i], TPaletteEntry{}) << i;

    const std::vector<uint8_t> indices(4, 0);
    const TPngFile file = Encode(indices, 1, 1, 4, true, palette);
    ASSERT_EQ(file.Palette.size(), 768u);
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(file.Palette[3 * i], palette[i].Red);
      EXPECT_EQ(file.Palette[3 * i + 1], palette[i].Green);
      EXPECT_EQ(file.Palette[3 * i + 2], palette[i].Blue);
    }
  }
}

// Many colours are reduced after every pixel: never more than 256 leaves
// remain, and a reduced leaf is the average of what it took.
TEST(ColourTree, ManyColoursReducedToAverages) {
  TColourTree tree;
  for (int red = 0; red < 256; red += 4)
    for (int green = 0; green < 256; green += 4) tree.Add(uint8_t(red), uint8_t(green), 200);
  EXPECT_LE(tree.LeafCount(), 256u);
  EXPECT_GT(tree.LeafCount(), 1u);
  const TScreenPalette palette = tree.Palette();
  for (size_t i = 0; i < tree.LeafCount(); ++i) EXPECT_EQ(palette[i].Blue, 200) << i;

  // Two colours that share their last node before the leaves merge into
  // their average once a 257th leaf appears; the others stay exact.
  TColourTree merge;
  merge.Add(10, 20, 30);
  merge.Add(11, 21, 31);
  std::vector<TPaletteEntry> others;
  for (int k = 0; k < 128; ++k) others.push_back({uint8_t(2 * k), 100, 100});
  for (int k = 0; k < 127; ++k) others.push_back({uint8_t(2 * k), 200, 200});
  for (const TPaletteEntry& c : others) merge.Add(c.Red, c.Green, c.Blue);
  EXPECT_EQ(merge.LeafCount(), 256u);
  const TScreenPalette merged = merge.Palette();
  EXPECT_NE(std::find(merged.begin(), merged.end(), TPaletteEntry{10, 20, 30}), merged.end());
  EXPECT_EQ(std::find(merged.begin(), merged.end(), TPaletteEntry{11, 21, 31}), merged.end());
  for (const TPaletteEntry& c : others) EXPECT_NE(std::find(merged.begin(), merged.end(), c), merged.end());
}

// 4,200 x 4,200 white pixels in one leaf: the colour sums pass 32 bits, and
// the palette entry still comes out white.
TEST(ColourTree, LargeWhitePictureStaysWhite) {
  const uint32_t side = 4200;
  const size_t stride = side * 3;
  const std::vector<uint8_t> row(stride, 0xFF);
  TColourTree tree;
  for (uint32_t y = 0; y < side; ++y) tree.AddRows(row.data(), side, 1, stride);
  ASSERT_EQ(tree.LeafCount(), 1u);
  const TScreenPalette palette = tree.Palette();
  EXPECT_EQ(palette[0], (TPaletteEntry{255, 255, 255}));

  const std::vector<uint8_t> indices(size_t(side) * side, 0);
  const TPngFile file = Encode(indices, side, side, side, true, palette);
  ASSERT_TRUE(file.InflateOk);
  ASSERT_EQ(file.Palette.size(), 768u);
  EXPECT_EQ(std::vector<uint8_t>(file.Palette.begin(), file.Palette.begin() + 3), (std::vector<uint8_t>{255, 255, 255}));
  EXPECT_EQ(file.Image.size(), size_t(side + 1) * side);
}
