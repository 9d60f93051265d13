// Loading a module's data block: every form and version, and blocks that
// lie about their sizes, are cut short or inflate without end.
#include <gtest/gtest.h>

#include <cstring>

#include "ModuleCopy.h"
#include "core/SharedBlock.h"
#include "moduleinfo/DataBlock.h"
#include "moduleinfo/DataBlockFormat.h"
#include "options/ModuleBlock.h"

using brx_test::Bytes;
using brx_test::TBlockFault;
using brx_test::TBlockForm;
using namespace RevavaRez;

namespace {

constexpr double kCompiled = 45000.5;
const wchar_t kPlainModule[] = L"brx_test_password_none.dll";

Bytes OneUnitDebugData(int version) {
  brx_test::TDebugUnit unit;
  unit.Name = brx_test::NameRecord("Main", version, "pw");
  unit.FirstLine = 10;
  unit.CodeStart = 0x100;
  unit.CodeSize = 0x40;
  unit.Table = brx_test::Cat({brx_test::ByteProcedureLine(1, 1), brx_test::NameRecord("Run", version, "pw"),
                              brx_test::ByteLine(2, 8)});
  return brx_test::DebugData({unit}, version);
}

brx_test::TDataBlock Block(int version, TBlockFault fault = TBlockFault::None) {
  brx_test::TDataBlock block;
  block.Version = static_cast<uint16_t>(version);
  block.Compiled = kCompiled;
  brx_test::TOptionsImage options;
  options.AppendReports = 1;
  block.Options = brx_test::OptionsStream(options, version);
  block.DebugData = OneUnitDebugData(version);
  block.Password = "pw";
  block.Symbols = {{1, 0x10, 4}, {2, 0x20, 8}};
  block.Fault = fault;
  return block;
}

// Debug data whose own counts and sizes lie, in an otherwise sound block.
enum class TDebugLie { None, UnitCount, TableSize, NameLength };

Bytes LyingDebugData(TDebugLie lie) {
  Bytes data = OneUnitDebugData(5110);
  switch (lie) {
    case TDebugLie::None:
      break;
    case TDebugLie::UnitCount:
      data[0] = 2;  // one unit more than there are
      break;
    case TDebugLie::TableSize:
      data[4 + 5 + 12] += 1;  // after U, "Main" and three values
      break;
    case TDebugLie::NameLength:
      data[4] = 0x7F;
      break;
  }
  return data;
}

struct TCase {
  const char* What;
  TBlockForm Form;
  int Version;
  TBlockFault Fault;
  TDebugLie Lie;
  // What the record ends with.
  bool Present;     // version and date from the block
  bool Options;     // the block's mail server
  bool DebugData;   // the block's debug data
};

}  // namespace

TEST(DataBlock, LoadsEveryFormAndRefusesBrokenBlocks) {
  using F = TBlockFault;
  using L = TDebugLie;
  const TCase cases[] = {
      {"plain body below 450", TBlockForm::Resource, 440, F::None, L::None, true, true, true},
      {"plain body without the skipped part", TBlockForm::Resource, 400, F::None, L::None, true, true, true},
      {"compressed body from 450", TBlockForm::Resource, 470, F::None, L::None, true, true, true},
      {"symbols, options and password check", TBlockForm::Resource, 5110, F::None, L::None, true, true, true},
      {"qualified names allowed", TBlockForm::Resource, 502, F::None, L::None, true, true, true},
      {"trailer", TBlockForm::Trailer, 5110, F::None, L::None, true, true, true},
      {"old trailer", TBlockForm::Trailer, 440, F::None, L::None, true, true, true},
      {"version 5111", TBlockForm::Resource, 5111, F::None, L::None, false, false, false},
      {"trailer of version 5111", TBlockForm::Trailer, 5111, F::None, L::None, false, false, false},
      {"S lies", TBlockForm::Resource, 5110, F::SymbolSizeLies, L::None, false, false, false},
      {"C lies", TBlockForm::Resource, 5110, F::OptionsSizeLies, L::None, false, false, false},
      {"D lies", TBlockForm::Resource, 5110, F::DebugSizeLies, L::None, false, false, false},
      {"D lies below 450", TBlockForm::Resource, 440, F::DebugSizeLies, L::None, false, false, false},
      {"D lies below 500", TBlockForm::Resource, 470, F::DebugSizeLies, L::None, false, false, false},
      {"D lies in a trailer", TBlockForm::Trailer, 5110, F::DebugSizeLies, L::None, false, false, false},
      {"B lies", TBlockForm::Trailer, 5110, F::TrailerSizeLies, L::None, false, false, false},
      {"U lies", TBlockForm::Resource, 5110, F::None, L::UnitCount, false, false, false},
      {"a line table's size lies", TBlockForm::Resource, 5110, F::None, L::TableSize, false, false, false},
      {"a name's length lies", TBlockForm::Resource, 5110, F::None, L::NameLength, false, false, false},
      {"plain body cut short", TBlockForm::Resource, 440, F::Truncated, L::None, false, false, false},
      {"trailer cut short", TBlockForm::Trailer, 5110, F::Truncated, L::None, false, false, false},
      // A compressed stream cut short or inflating past the bound is a
      // failed inflation: the block stays, without what the stream held.
      {"compressed body cut short", TBlockForm::Resource, 5110, F::Truncated, L::None, true, true, false},
      {"inflation bomb as body", TBlockForm::Resource, 5110, F::InflationBomb, L::None, true, true, false},
      {"inflation bomb below 500", TBlockForm::Resource, 470, F::InflationBomb, L::None, true, false, false},
  };
  brx_test::TTempFolder folder(L"data blocks");
  int index = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    brx_test::TDataBlock block = Block(c.Version, c.Fault);
    if (c.Lie != TDebugLie::None) block.DebugData = LyingDebugData(c.Lie);
    const Bytes bytes = c.Form == TBlockForm::Resource ? brx_test::ResourceBlock(block) : brx_test::TrailerBlock(block);
    brx_test::TModuleCopy copy(folder, kPlainModule, L"block" + std::to_wstring(index++) + L".dll", c.Form, bytes);
    ASSERT_NE(copy.Handle(), nullptr);
    auto record = copy.Record();
    LoadDataBlock(*record, false);
    EXPECT_EQ(record->BlockVersion, c.Present ? c.Version : kDataBlockVersion);
    EXPECT_EQ(record->Compiled, c.Present ? kCompiled : 0);
    EXPECT_EQ(record->Options->AppendReports(), c.Options);
    ASSERT_EQ(record->DebugData != nullptr, c.DebugData);
    if (c.DebugData) {
      ASSERT_EQ(record->DebugData->Size(), static_cast<int64_t>(block.DebugData.size()));
      EXPECT_EQ(std::memcmp(record->DebugData->Memory(), block.DebugData.data(), block.DebugData.size()), 0);
    }
  }
}

TEST(DataBlock, AModuleWithoutABlockKeepsTheLibrarysVersion) {
  brx_test::TTempFolder folder(L"no block");
  brx_test::TModuleCopy copy(folder, kPlainModule, L"none.dll", TBlockForm::None, {});
  ASSERT_NE(copy.Handle(), nullptr);
  auto record = copy.Record();
  record->BlockVersion = 1;
  record->Compiled = 1;
  LoadDataBlock(*record, false);
  EXPECT_EQ(record->BlockVersion, kDataBlockVersion);
  EXPECT_EQ(record->Compiled, 0);
  EXPECT_EQ(record->DebugData, nullptr);
}

TEST(DataBlock, WhileEnumeratingOnlyTheOptionsAreRead) {
  brx_test::TTempFolder folder(L"enumerating");
  for (int version : {440, 470, 5110}) {
    SCOPED_TRACE(version);
    brx_test::TModuleCopy copy(folder, kPlainModule, L"enum" + std::to_wstring(version) + L".dll",
                               TBlockForm::Resource, brx_test::ResourceBlock(Block(version)));
    ASSERT_NE(copy.Handle(), nullptr);
    auto record = copy.Record();
    LoadDataBlock(*record, true);
    EXPECT_EQ(record->BlockVersion, version);
    EXPECT_TRUE(record->Options->AppendReports());
    EXPECT_EQ(record->DebugData, nullptr);
    EXPECT_TRUE(record->NamesReadable);
  }
}

TEST(DataBlock, TheModulesPublishedOptionsWinOverItsBlock) {
  brx_test::TTempFolder folder(L"published");
  brx_test::TModuleCopy copy(folder, kPlainModule, L"published.dll", TBlockForm::Resource,
                             brx_test::ResourceBlock(Block(5110)));
  ASSERT_NE(copy.Handle(), nullptr);
  TVezavuModuleOptions published(false, "");
  published.SetMailServer("published.example.org");
  const Bytes stream = brx_test::WrittenOptions(published);
  struct TFlagCase {
    uint8_t Flag;
    bool Published;
  };
  for (const TFlagCase& c : {TFlagCase{1, true}, TFlagCase{0, false}}) {
    SCOPED_TRACE(static_cast<int>(c.Flag));
    TSharedBlock shared;
    ASSERT_TRUE(OpenSharedBlock(copy.Handle(), kModuleBlockLabel, static_cast<uint32_t>(stream.size() + 1), shared));
    shared.Data[0] = c.Flag;
    std::memcpy(shared.Data + 1, stream.data(), stream.size());
    auto record = copy.Record();
    LoadDataBlock(*record, false);
    CloseSharedBlock(shared);
    // The block appends reports; the published options do not.
    EXPECT_EQ(record->Options->AppendReports(), !c.Published);
    EXPECT_EQ(record->Options->MailServer(), c.Published ? "published.example.org" : "");
    EXPECT_NE(record->DebugData, nullptr);  // the block itself still counts
  }
}

TEST(DataBlockFormat, SymbolDirectoryAndInflationBound) {
  const Bytes block = brx_test::ResourceBlock(Block(5110));
  uint32_t offset = 0;
  EXPECT_TRUE(FindSymbolOffset(block.data(), block.size(), 2, offset));
  EXPECT_EQ(offset, 0x20u);
  EXPECT_FALSE(FindSymbolOffset(block.data(), block.size(), 3, offset));
  // A directory that claims more than the block holds is no directory.
  const Bytes lying = brx_test::ResourceBlock(Block(5110, TBlockFault::SymbolSizeLies));
  EXPECT_FALSE(FindSymbolOffset(lying.data(), lying.size(), 1, offset));
  // Before 500 there is none.
  const Bytes old = brx_test::ResourceBlock(Block(470));
  EXPECT_FALSE(FindSymbolOffset(old.data(), old.size(), 1, offset));

  // A stream inflates under a bound of its size and fails under one less.
  const Bytes small = brx_test::ResourceBlock(Block(470));
  std::vector<uint8_t> out;
  ASSERT_TRUE(InflateBounded(small.data() + 14, small.size() - 14, out));
  const size_t whole = out.size();
  EXPECT_TRUE(InflateBounded(small.data() + 14, small.size() - 14, out, whole));
  EXPECT_FALSE(InflateBounded(small.data() + 14, small.size() - 14, out, whole - 1));
  EXPECT_TRUE(out.empty());
}
