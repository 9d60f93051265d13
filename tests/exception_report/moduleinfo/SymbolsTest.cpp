// Symbols by identifier in an active test module: the directory of its own
// block maps identifiers to its routines, and only to code inside it.
#include <gtest/gtest.h>

#include "ModuleCopy.h"

using brx_test::TBlockForm;

namespace {

const wchar_t kModule[] = L"brx_test_module_dll.dll";

// Where the module's own routine and constant lie, as offsets from its
// handle + 4096, read from the module as built.
bool ExportOffsets(uint32_t& routine, uint32_t& constant) {
  HMODULE module = LoadLibraryW(brx_test::TestModulePath(kModule).c_str());
  if (module == nullptr) return false;
  const auto base = reinterpret_cast<uintptr_t>(module);
  const auto target = reinterpret_cast<uintptr_t>(GetProcAddress(module, "TestModuleSymbolTarget"));
  const auto data = reinterpret_cast<uintptr_t>(GetProcAddress(module, "TestModuleSymbolData"));
  FreeLibrary(module);
  if (target == 0 || data == 0) return false;
  routine = static_cast<uint32_t>(target - base - 4096);
  constant = static_cast<uint32_t>(data - base - 4096);
  return true;
}

}  // namespace

TEST(Symbols, TheDirectoryMapsOnlyToTheModulesOwnCode) {
  uint32_t routine = 0, constant = 0;
  ASSERT_TRUE(ExportOffsets(routine, constant));
  brx_test::TDataBlock block;
  block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, block.Version);
  // Identifiers that no framework routine uses.
  block.Symbols = {{40, routine, 32}, {41, constant, 16}, {42, 0x7FFFF000, 16}};
  brx_test::TTempFolder folder(L"symbols");
  brx_test::TModuleCopy copy(folder, kModule, L"symbols.dll", TBlockForm::Resource, brx_test::ResourceBlock(block));
  ASSERT_NE(copy.Handle(), nullptr);
  auto find = copy.Export<uintptr_t (*)(int)>("TestModuleFindSymbol");
  auto hookSymbol = copy.Export<int (*)(int, char*, int)>("TestModuleHookSymbol");
  auto target = copy.Export<int (*)(int)>("TestModuleSymbolTarget");
  ASSERT_TRUE(find && hookSymbol && target);
  char error[256] = "";
  auto hook = [&](int identifier) { return hookSymbol(identifier, error, sizeof error); };

  EXPECT_EQ(find(40), reinterpret_cast<uintptr_t>(target));
  EXPECT_EQ(find(41), 0u) << "a constant is not code";
  EXPECT_EQ(find(42), 0u) << "outside the image";
  EXPECT_EQ(find(43), 0u) << "no entry";
  EXPECT_EQ(hook(41), 0);
  EXPECT_EQ(hook(42), 0);

  int (*volatile call)(int) = target;
  EXPECT_EQ(call(2), 7);
  ASSERT_EQ(hook(40), 1) << error;
  EXPECT_EQ(call(2), 1007) << "the replacement runs and reaches the original";
  copy.Export<void (*)()>("TestModuleHooksDone")();
  EXPECT_EQ(call(2), 7);
}
