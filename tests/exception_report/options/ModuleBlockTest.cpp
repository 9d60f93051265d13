// The module block in the test program itself: what the own options
// publish, what another module's block gives, and the options lookup of an
// inactive library.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "options/CurrentRevavaRezOptions.h"
#include "DataBlockBuilder.h"
#include "core/Hooks.h"
#include "TestModules.h"
#include "base/Exception.h"
#include "options/ModuleBlock.h"
#include "core/Streams.h"
#include "options/VezavuModuleOptionsEx.h"

using namespace RevavaRez;
using brx_test::OwnFileName;
using brx_test::WrittenOptions;

namespace {

// The block of a module of this process as the test reads it: the size word
// and the data after it; empty when there is no block.
struct TBlockView {
  bool Exists = false;
  uint32_t SizeWord = 0;
  brx_test::Bytes Data;
};

TBlockView ReadBlock(DWORD process, HMODULE module) {
  TBlockView view;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, brx_test::ModuleBlockName(process, module).c_str());
  if (mapping == nullptr) return view;
  view.Exists = true;
  if (const auto* bytes = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
    std::memcpy(&view.SizeWord, bytes, 4);
    MEMORY_BASIC_INFORMATION region{};
    VirtualQuery(bytes, &region, sizeof region);
    if (view.SizeWord >= 4 && view.SizeWord <= region.RegionSize)
      view.Data.assign(bytes + 4, bytes + view.SizeWord);
    UnmapViewOfFile(bytes);
  }
  CloseHandle(mapping);
  return view;
}

// A block that the test makes for another module, as its library would.
class TMadeBlock {
 public:
  TMadeBlock(HMODULE module, const brx_test::Bytes& data) {
    const auto size = static_cast<DWORD>(data.size() + 4);
    FMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size,
                                  brx_test::ModuleBlockName(GetCurrentProcessId(), module).c_str());
    if (FMapping == nullptr) return;
    if (auto* bytes = static_cast<uint8_t*>(MapViewOfFile(FMapping, FILE_MAP_WRITE, 0, 0, 0))) {
      std::memcpy(bytes, &size, 4);
      std::memcpy(bytes + 4, data.data(), data.size());
      UnmapViewOfFile(bytes);
    }
  }
  ~TMadeBlock() {
    if (FMapping) CloseHandle(FMapping);
  }
  bool Made() const { return FMapping != nullptr; }

 private:
  HANDLE FMapping = nullptr;
};

TEST(Publishing, ASetterPublishesTheOptionsIntoTheOwnBlock) {
  const HMODULE self = GetModuleHandleA(nullptr);
  {
    TVezavuModuleOptionsEx options(true, OwnFileName());
    options.SetMailServer("smtp.example.org");
    options.FilterClassNames().Add("EFiltered");
    const TBlockView block = ReadBlock(GetCurrentProcessId(), self);
    ASSERT_TRUE(block.Exists);
    brx_test::Bytes expected{1};
    const brx_test::Bytes stream = WrittenOptions(options);
    expected.insert(expected.end(), stream.begin(), stream.end());
    EXPECT_EQ(block.SizeWord, expected.size() + 4);
    EXPECT_EQ(block.Data, expected);

    // A shorter stream after a change is published as it is.
    options.FilterClassNames().Clear();
    const TBlockView shorter = ReadBlock(GetCurrentProcessId(), self);
    EXPECT_EQ(shorter.SizeWord, WrittenOptions(options).size() + 5);
  }
  CloseSharedBlock(ModuleBlock());
  EXPECT_FALSE(ReadBlock(GetCurrentProcessId(), self).Exists);
}

TEST(Publishing, NeverWritesPastABlockThatAReaderHoldsSmaller) {
  const HMODULE self = GetModuleHandleA(nullptr);
  TVezavuModuleOptionsEx options(true, OwnFileName());
  options.SetMailServer("");
  // A reader holds the block of today's size open.
  HANDLE reader = OpenFileMappingA(FILE_MAP_READ, FALSE,
                                   brx_test::ModuleBlockName(GetCurrentProcessId(), self).c_str());
  ASSERT_NE(reader, nullptr);
  const brx_test::Bytes before = ReadBlock(GetCurrentProcessId(), self).Data;
  // The options grow by a whole page and more.
  options.SetMailBody(std::string(8192, 'x'));
  const TBlockView block = ReadBlock(GetCurrentProcessId(), self);
  EXPECT_EQ(block.Data, before);
  CloseHandle(reader);
  options.SetMailBody(std::string(8192, 'y'));
  EXPECT_EQ(ReadBlock(GetCurrentProcessId(), self).SizeWord, WrittenOptions(options).size() + 5);
  CloseSharedBlock(ModuleBlock());
}

TEST(Publishing, AnotherModulesBlockIsReadWhenItSaysOptionsFollow) {
  brx_test::TTempFolder folder(L"publishing");
  const std::wstring dll = folder.Path() + L"\\module.dll";
  ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_dll.dll"), dll));
  HMODULE module = LoadLibraryW(dll.c_str());
  ASSERT_NE(module, nullptr);

  TVezavuModuleOptions published(false, "");
  published.SetMailServer("published.example.org");
  published.SetCrashCount(77);
  brx_test::Bytes withOptions{1};
  const brx_test::Bytes stream = WrittenOptions(published);
  withOptions.insert(withOptions.end(), stream.begin(), stream.end());
  brx_test::Bytes flagZero = withOptions;
  flagZero[0] = 0;

  struct TCase {
    const char* What;
    const brx_test::Bytes* Block;
    bool Loaded;
  };
  const brx_test::Bytes cutShort(withOptions.begin(), withOptions.begin() + 40);
  const TCase cases[] = {
      {"flag 1", &withOptions, true},
      {"flag 0", &flagZero, false},
      {"no block", nullptr, false},
      {"options cut short", &cutShort, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    std::unique_ptr<TMadeBlock> block;
    if (c.Block) {
      block = std::make_unique<TMadeBlock>(module, *c.Block);
      ASSERT_TRUE(block->Made());
    }
    TVezavuModuleOptionsEx options(false, "");
    EXPECT_EQ(LoadPublishedOptions(module, options), c.Loaded);
    if (c.Loaded) {
      EXPECT_EQ(options.MailServer(), "published.example.org");
      EXPECT_EQ(options.CrashCount(), 77);
    } else if (c.Block != &cutShort) {
      EXPECT_EQ(options.MailServer(), "");
      EXPECT_EQ(options.CrashCount(), 10);
    }
  }
  // The own module's block is never read as another's.
  TVezavuModuleOptionsEx options(false, "");
  EXPECT_FALSE(LoadPublishedOptions(GetModuleHandleA(nullptr), options));
  FreeLibrary(module);
}

TEST(Publishing, TwoCopiesOfTheLibraryAgreeOnTheBlock) {
  // The library in an active DLL publishes; the test program's copy reads.
  brx_test::TTempFolder folder(L"publishing active");
  const std::wstring dll = folder.Path() + L"\\module.dll";
  ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_dll.dll"), dll));
  brx_test::TDataBlock data;
  data.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, data.Version);
  ASSERT_TRUE(brx_test::AppendToFile(dll, brx_test::TrailerBlock(data)));
  HMODULE module = LoadLibraryW(dll.c_str());
  ASSERT_NE(module, nullptr);
  using TPublish = BOOL(__stdcall*)(const char*);
  auto publish = reinterpret_cast<TPublish>(
      reinterpret_cast<void*>(GetProcAddress(module, "TestModulePublishMailServer")));
  ASSERT_NE(publish, nullptr);

  TVezavuModuleOptionsEx options(false, "");
  EXPECT_FALSE(LoadPublishedOptions(module, options));  // flag byte 0 at start
  ASSERT_TRUE(publish("smtp.published.example.org"));
  EXPECT_TRUE(LoadPublishedOptions(module, options));
  EXPECT_EQ(options.MailServer(), "smtp.published.example.org");
  FreeLibrary(module);
}

TEST(CurrentRevavaRezOptions, RaisesTheAssertionInAnInactiveLibrary) {
  try {
    CurrentRevavaRezOptions();
    FAIL() << "no assertion";
  } catch (const EAssertionFailed& failure) {
    const std::string message = failure.what();
    EXPECT_EQ(message.rfind(
                  "\r\nCannot use 'CurrentRevavaRezOptions' function without activate RevavaRez.\r\n"
                  "To activate RevavaRez use the new IDE \"Project/RevavaRez Options...\" menu. (ExceptionLog, line ",
                  0),
              0u)
        << message;
  }
  // The test that the options' setters make does not raise.
  TVezavuModuleOptionsEx options(false, "");
  EXPECT_FALSE(IsCurrentRevavaRezOptions(&options));
  EXPECT_NO_THROW(options.SetFreezeWatch(true));
  EXPECT_TRUE(options.FreezeWatch());
}

// The options of this module's record follow the freeze watchdog; any
// other options object does not.
TVezavuModuleOptionsEx* RecordOptions = nullptr;
int Started = 0, Stopped = 0;

TEST(CurrentRevavaRezOptions, ItsSettersStartAndStopTheFreezeWatchdog) {
  const TLibraryHooks savedHooks = LibraryHooks;
  auto* const savedLookup = ModuleRecordOptions;
  LibraryHooks.StartFreezeWatch = [] { ++Started; };
  LibraryHooks.StopFreezeWatch = [] { ++Stopped; };
  ModuleRecordOptions = []() noexcept { return RecordOptions; };

  TVezavuModuleOptionsEx current(false, ""), other(false, "");
  RecordOptions = &current;
  EXPECT_EQ(CurrentRevavaRezOptions(), &current);
  other.SetFreezeWatch(true);
  EXPECT_EQ(Started + Stopped, 0);
  current.SetFreezeWatch(true);  // reporting is on by default
  EXPECT_EQ(Started, 1);
  current.SetFreezeWatch(true);  // no change, no call
  EXPECT_EQ(Started, 1);
  current.SetReportingOn(false);
  EXPECT_EQ(Stopped, 1);
  current.SetReportingOn(true);
  EXPECT_EQ(Started, 2);
  current.SetFreezeWatch(false);
  EXPECT_EQ(Stopped, 2);

  ModuleRecordOptions = savedLookup;
  LibraryHooks = savedHooks;
}

}  // namespace
