#pragma once
// The colour reduction of a screenshot: an octree over 24-bit pixels that
// never holds more than 257 leaves and gives at most 256 palette entries.
// Byte-level, without the graphics system, so tests and benchmarks feed it
// pixels directly.
#include <array>
#include <cstddef>
#include <cstdint>

namespace RevavaRez {

struct TPaletteEntry {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  bool operator==(const TPaletteEntry& other) const {
    return Red == other.Red && Green == other.Green && Blue == other.Blue;
  }
};

using TScreenPalette = std::array<TPaletteEntry, 256>;

class TColourTree {
 public:
  TColourTree();
  ~TColourTree();
  TColourTree(const TColourTree&) = delete;
  TColourTree& operator=(const TColourTree&) = delete;

  void Add(uint8_t red, uint8_t green, uint8_t blue);
  // Rows of 24-bit pixels in the device-independent order blue, green, red,
  // each row stride bytes apart, from the first row in memory onwards.
  void AddRows(const uint8_t* rows, uint32_t width, uint32_t height, size_t stride);
  // One entry per leaf, depth first with the children in index order; the
  // rest black.
  TScreenPalette Palette() const;
  size_t LeafCount() const { return FLeafCount; }

 private:
  struct TNode;
  TNode* NewNode(int depth);
  void Reduce();
  static void FreeNode(TNode* node);

  TNode* FRoot = nullptr;
  size_t FLeafCount = 0;
  std::array<TNode*, 8> FReducible{};
};

}  // namespace RevavaRez
