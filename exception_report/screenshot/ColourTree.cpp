#include "screenshot/ColourTree.h"

namespace RevavaRez {

struct TColourTree::TNode {
  bool Leaf = false;
  // 64-bit sums: one leaf of a large single-colour area would wrap 32 bits
  // (255 x 16.8 million) and come out as the wrong colour.
  uint64_t Count = 0;
  uint64_t Red = 0;
  uint64_t Green = 0;
  uint64_t Blue = 0;
  TNode* Next = nullptr;
  TNode* Children[8] = {};
};

TColourTree::TColourTree() { FRoot = NewNode(0); }

TColourTree::~TColourTree() { FreeNode(FRoot); }

void TColourTree::FreeNode(TNode* node) {
  if (!node) return;
  for (TNode* child : node->Children) FreeNode(child);
  delete node;
}

TColourTree::TNode* TColourTree::NewNode(int depth) {
  TNode* node = new TNode;
  if (depth == 8) {
    node->Leaf = true;
    ++FLeafCount;
  } else {
    node->Next = FReducible[depth];
    FReducible[depth] = node;
  }
  return node;
}

void TColourTree::Add(uint8_t red, uint8_t green, uint8_t blue) {
  TNode* node = FRoot;
  for (int depth = 0; !node->Leaf; ++depth) {
    const int shift = 7 - depth;
    const int index = (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
    if (!node->Children[index]) node->Children[index] = NewNode(depth + 1);
    node = node->Children[index];
  }
  ++node->Count;
  node->Red += red;
  node->Green += green;
  node->Blue += blue;
  while (FLeafCount > 256) Reduce();
}

void TColourTree::AddRows(const uint8_t* rows, uint32_t width, uint32_t height, size_t stride) {
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* pixel = rows + static_cast<size_t>(y) * stride;
    for (uint32_t x = 0; x < width; ++x, pixel += 3) Add(pixel[2], pixel[1], pixel[0]);
  }
}

void TColourTree::Reduce() {
  int depth = 7;
  while (depth > 0 && !FReducible[depth]) --depth;
  TNode* node = FReducible[depth];
  if (!node) return;
  FReducible[depth] = node->Next;
  node->Next = nullptr;
  // The deepest reducible node has only leaves below it.
  size_t children = 0;
  for (TNode*& child : node->Children) {
    if (!child) continue;
    node->Count += child->Count;
    node->Red += child->Red;
    node->Green += child->Green;
    node->Blue += child->Blue;
    FreeNode(child);
    child = nullptr;
    ++children;
  }
  node->Leaf = true;
  FLeafCount = FLeafCount + 1 - children;
}

namespace {

template <typename Node>
void CollectLeaves(const Node* node, TScreenPalette& palette, size_t& used) {
  if (!node) return;
  if (node->Leaf) {
    if (used < palette.size() && node->Count > 0)
      palette[used] = {static_cast<uint8_t>(node->Red / node->Count), static_cast<uint8_t>(node->Green / node->Count),
                       static_cast<uint8_t>(node->Blue / node->Count)};
    ++used;
    return;
  }
  for (const Node* child : node->Children) CollectLeaves(child, palette, used);
}

}  // namespace

TScreenPalette TColourTree::Palette() const {
  TScreenPalette palette{};
  size_t used = 0;
  CollectLeaves(FRoot, palette, used);
  return palette;
}

}  // namespace RevavaRez
