// Image header reads and the module kind test, on real modules of this
// build and on small images laid out here in both header forms, next to an
// inaccessible page so that a read past the headers would fault.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "TestModules.h"
#include "moduleinfo/ModuleKind.h"
#include "moduleinfo/ModuleInfo.h"
#include "moduleinfo/PEImage.h"

using namespace RevavaRez;

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// One readable page followed by one that is not.
class TGuardedPage {
 public:
  TGuardedPage() {
    FBase = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old;
    if (FBase != nullptr) VirtualProtect(FBase + kPage, kPage, PAGE_NOACCESS, &old);
  }
  ~TGuardedPage() {
    if (FBase != nullptr) VirtualFree(FBase, 0, MEM_RELEASE);
  }
  TGuardedPage(const TGuardedPage&) = delete;
  TGuardedPage& operator=(const TGuardedPage&) = delete;
  uint8_t* Base() const { return FBase; }
  static constexpr size_t kPage = 4096;

 private:
  uint8_t* FBase;
};

template <typename T>
void Put(uint8_t* image, size_t offset, T value) {
  std::memcpy(image + offset, &value, sizeof value);
}

constexpr uint32_t kNtOffset = 0x80;
constexpr uint32_t kCodeBase = 0x1000;
constexpr uint32_t kCodeSize = 0x200;
constexpr uint32_t kDataBase = 0x2000;
constexpr uint32_t kExportRVA = 0x2040;

// The headers of a two-section image: code, then read-only data that holds
// the export directory.
void LayOutImage(uint8_t* image, uint16_t magic, uint16_t characteristics) {
  const bool plus = magic == 0x20B;
  const uint16_t optionalSize = plus ? 240 : 224;
  Put<uint16_t>(image, 0, 0x5A4D);
  Put<uint32_t>(image, 60, kNtOffset);
  Put<uint32_t>(image, kNtOffset, 0x00004550);
  const size_t file = kNtOffset + 4;
  Put<uint16_t>(image, file, plus ? 0x8664 : 0x14C);
  Put<uint16_t>(image, file + 2, 2);
  Put<uint16_t>(image, file + 16, optionalSize);
  Put<uint16_t>(image, file + 18, characteristics);
  const size_t optional = file + 20;
  Put<uint16_t>(image, optional, magic);
  Put<uint32_t>(image, optional + 4, kCodeSize);
  Put<uint32_t>(image, optional + 20, kCodeBase);
  // A value where the other form keeps data directory 0, so that reading
  // the wrong place shows.
  Put<uint32_t>(image, optional + (plus ? 96 : 112), 0xBAD0BAD0);
  Put<uint32_t>(image, optional + (plus ? 112 : 96), kExportRVA);
  Put<uint32_t>(image, optional + (plus ? 116 : 100), 0x40);
  const size_t sections = optional + optionalSize;
  std::memcpy(image + sections, ".text\0\0\0", 8);
  Put<uint32_t>(image, sections + 8, kCodeSize);
  Put<uint32_t>(image, sections + 12, kCodeBase);
  Put<uint32_t>(image, sections + 36, 0x60000020);
  std::memcpy(image + sections + 40, ".rdata\0\0", 8);
  Put<uint32_t>(image, sections + 48, 0x100);
  Put<uint32_t>(image, sections + 52, kDataBase);
  Put<uint32_t>(image, sections + 76, 0x40000040);
}

TEST(PEImage, ReadsBothHeaderForms) {
  for (uint16_t magic : {uint16_t(0x10B), uint16_t(0x20B)}) {
    SCOPED_TRACE(magic);
    TGuardedPage page;
    ASSERT_NE(page.Base(), nullptr);
    LayOutImage(page.Base(), magic, IMAGE_FILE_EXECUTABLE_IMAGE);
    TPEHeaders headers;
    ASSERT_TRUE(ReadPEHeaders(page.Base(), headers));
    EXPECT_EQ(headers.Magic, magic);
    EXPECT_EQ(headers.ExportRVA, kExportRVA);
    EXPECT_EQ(headers.ExportSize, 0x40u);
    EXPECT_EQ(headers.NumberOfSections, 2);
    EXPECT_FALSE(IsDLLModule(page.Base()));
    uintptr_t start = 0, end = 0;
    ASSERT_TRUE(CodeRange(page.Base(), start, end));
    EXPECT_EQ(start, reinterpret_cast<uintptr_t>(page.Base()) + kCodeBase);
    EXPECT_EQ(end, start + kCodeSize);
    TSectionHeader section;
    ASSERT_TRUE(ReadSection(headers, 1, section));
    EXPECT_EQ(std::string(section.Name), ".rdata");
    EXPECT_EQ(section.VirtualAddress, kDataBase);
    EXPECT_FALSE(ReadSection(headers, 2, section));

    const uintptr_t base = reinterpret_cast<uintptr_t>(page.Base());
    EXPECT_TRUE(IsInExecutableSection(page.Base(), base + kCodeBase));
    EXPECT_TRUE(IsInExecutableSection(page.Base(), base + kCodeBase + kCodeSize - 1));
    EXPECT_FALSE(IsInExecutableSection(page.Base(), base + kCodeBase + kCodeSize));
    EXPECT_FALSE(IsInExecutableSection(page.Base(), base + kExportRVA));
    EXPECT_FALSE(IsInExecutableSection(page.Base(), base + 0x10));
    EXPECT_FALSE(IsInExecutableSection(page.Base(), base - 1));
  }
}

// Images that are none, or whose headers run into the inaccessible page:
// answered without a fault.
TEST(PEImage, RefusesBrokenImages) {
  struct TBroken {
    const char* Label;
    void (*Spoil)(uint8_t* image);
  };
  const TBroken cases[] = {
      {"zeros", [](uint8_t* image) { std::memset(image, 0, 0x200); }},
      {"no MZ", [](uint8_t* image) { Put<uint16_t>(image, 0, 0x5A4E); }},
      {"no PE signature", [](uint8_t* image) { Put<uint32_t>(image, kNtOffset, 0x00004551); }},
      {"unknown optional magic", [](uint8_t* image) { Put<uint16_t>(image, kNtOffset + 24, 0x107); }},
      {"signature across the page end", [](uint8_t* image) { Put<uint32_t>(image, 60, TGuardedPage::kPage - 2); }},
      {"header offset far away", [](uint8_t* image) { Put<uint32_t>(image, 60, 0x7FFFFFF0); }},
  };
  for (const TBroken& c : cases) {
    SCOPED_TRACE(c.Label);
    TGuardedPage page;
    ASSERT_NE(page.Base(), nullptr);
    LayOutImage(page.Base(), 0x10B, IMAGE_FILE_DLL | IMAGE_FILE_EXECUTABLE_IMAGE);
    c.Spoil(page.Base());
    TPEHeaders headers;
    EXPECT_FALSE(ReadPEHeaders(page.Base(), headers));
    EXPECT_FALSE(IsDLLModule(page.Base()));
    uintptr_t start = 0, end = 0;
    EXPECT_FALSE(CodeRange(page.Base(), start, end));
    EXPECT_EQ(ModuleKindOf(page.Base(), Narrow(brx_test::TestModulePath(L"PackageDll.dll"))), mkUnknown);
  }
  // Sections past the readable page are not read.
  TGuardedPage page;
  LayOutImage(page.Base(), 0x10B, IMAGE_FILE_EXECUTABLE_IMAGE);
  Put<uint16_t>(page.Base(), kNtOffset + 4 + 2, 200);
  TPEHeaders headers;
  ASSERT_TRUE(ReadPEHeaders(page.Base(), headers));
  TSectionHeader section;
  EXPECT_FALSE(ReadSection(headers, 199, section));
  EXPECT_FALSE(IsInExecutableSection(page.Base(), reinterpret_cast<uintptr_t>(page.Base()) + 0x50000));
}

TEST(ModuleKind, TellsProgramsPackagesAndLibraries) {
  HMODULE exports = LoadLibraryW(brx_test::TestModulePath(L"ExportSizes.dll").c_str());
  HMODULE package = LoadLibraryW(brx_test::TestModulePath(L"PackageDll.dll").c_str());
  ASSERT_NE(exports, nullptr);
  ASSERT_NE(package, nullptr);
  EXPECT_EQ(ModuleKindOf(GetModuleHandleW(nullptr)), mkProgram);
  EXPECT_TRUE(IsDLLModule(exports));
  EXPECT_FALSE(IsDLLModule(GetModuleHandleW(nullptr)));
  // It carries "PACKAGEINFO" alone.
  EXPECT_EQ(ModuleKindOf(exports), mkLibrary);
  EXPECT_EQ(ModuleKindOf(package), mkPackage);

  // The DLL flag comes from the image, the resources from the file.
  TGuardedPage page;
  LayOutImage(page.Base(), 0x10B, IMAGE_FILE_DLL | IMAGE_FILE_EXECUTABLE_IMAGE);
  const std::string packageFile = Narrow(brx_test::TestModulePath(L"PackageDll.dll"));
  EXPECT_TRUE(IsDLLModule(page.Base()));
  EXPECT_EQ(ModuleKindOf(page.Base(), packageFile), mkPackage);
  EXPECT_EQ(ModuleKindOf(page.Base(), Narrow(brx_test::TestModulePath(L"ExportSizes.dll"))), mkLibrary);
  EXPECT_EQ(ModuleKindOf(page.Base(), Narrow(brx_test::TestModulePath(L"Missing.dll"))), mkLibrary);
  Put<uint16_t>(page.Base(), kNtOffset + 4 + 18, IMAGE_FILE_EXECUTABLE_IMAGE);
  EXPECT_EQ(ModuleKindOf(page.Base(), packageFile), mkProgram);
  FreeLibrary(package);
  FreeLibrary(exports);
}

}  // namespace
