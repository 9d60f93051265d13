// Shared blocks carry one module's options to the others. Anyone may create
// a mapping of the same name, so a block is believed only as far as its size
// word fits.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "core/SharedBlock.h"
#include "core/VArev.h"

using namespace RevavaRez;

namespace {

HMODULE FakeModule(uintptr_t value) { return reinterpret_cast<HMODULE>(value); }

bool MappingExists(const std::string& name) {
  HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
  if (h) CloseHandle(h);
  return h != nullptr;
}

TEST(SharedBlock, NameIsProcessModuleAndLabel) {
  std::string name = SharedBlockName(0x12AB, FakeModule(0x400000), "MODULE");
  EXPECT_EQ(name, sizeof(void*) == 8 ? "000012AB0000000000400000MODULE" : "000012AB00400000MODULE");
}

TEST(SharedBlock, OpenOnlyLeavesNoMappingBehind) {
  TSharedBlock block;
  EXPECT_FALSE(OpenSharedBlock(FakeModule(0x7A10000), "MODULE", 0, block));
  EXPECT_EQ(block.Handle, nullptr);
  EXPECT_FALSE(MappingExists(SharedBlockName(GetCurrentProcessId(), FakeModule(0x7A10000), "MODULE")));
}

TEST(SharedBlock, CreatedBlockIsReopenedAtItsOwnSize) {
  HMODULE module = FakeModule(0x7A20000);
  TSharedBlock made;
  ASSERT_TRUE(OpenSharedBlock(module, "MODULE", 5, made));
  EXPECT_EQ(*static_cast<uint32_t*>(made.View), 9u);
  EXPECT_EQ(made.DataSize, 5u);
  std::memcpy(made.Data,
              "\x01"
              "abcd",
              5);

  // Another user asks for more or for nothing: it gets the block as made.
  TSharedBlock seen, opened;
  ASSERT_TRUE(OpenSharedBlock(module, "MODULE", 100, seen));
  EXPECT_EQ(seen.DataSize, 5u);
  EXPECT_EQ(std::memcmp(seen.Data,
                        "\x01"
                        "abcd",
                        5),
            0);
  ASSERT_TRUE(OpenSharedBlock(module, "MODULE", 0, opened));
  EXPECT_EQ(opened.DataSize, 5u);
  CloseSharedBlock(seen);
  CloseSharedBlock(opened);
  EXPECT_EQ(seen.Handle, nullptr);
  EXPECT_EQ(seen.Data, nullptr);
  CloseSharedBlock(seen);  // an empty block does nothing

  CloseSharedBlock(made);
  EXPECT_FALSE(MappingExists(SharedBlockName(GetCurrentProcessId(), module, "MODULE")));
}

TEST(SharedBlock, SquattedMappingWithALyingSizeWordGivesNoBlock) {
  HMODULE module = FakeModule(0x7A30000);
  std::string name = SharedBlockName(GetCurrentProcessId(), module, "MODULE");
  for (uint32_t word : {0x7FFFFFF0u, 3u, 0u}) {
    HANDLE squat = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, name.c_str());
    ASSERT_NE(squat, nullptr);
    void* view = MapViewOfFile(squat, FILE_MAP_WRITE, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    std::memcpy(view, &word, 4);
    TSharedBlock block;
    EXPECT_FALSE(OpenSharedBlock(module, "MODULE", 0, block)) << word;
    EXPECT_FALSE(OpenSharedBlock(module, "MODULE", 8, block)) << word;
    EXPECT_EQ(block.Data, nullptr);
    UnmapViewOfFile(view);
    CloseHandle(squat);
  }
}

}  // namespace
