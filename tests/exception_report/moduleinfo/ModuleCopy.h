#pragma once
// A copy of a test module with a data block put into it, loaded into the
// test process for as long as the object lives, and the module record the
// module list would start from.
#include <windows.h>

#include <memory>
#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"
#include "moduleinfo/ModuleInfo.h"

namespace brx_test {

enum class TBlockForm { None, Resource, Trailer };

class TModuleCopy {
 public:
  // Copies the module built beside the test program into the folder under
  // the name, with the block in the form, and loads it.
  TModuleCopy(const TTempFolder& folder, const std::wstring& module, const std::wstring& name, TBlockForm form,
              const Bytes& block);
  ~TModuleCopy();
  TModuleCopy(const TModuleCopy&) = delete;
  TModuleCopy& operator=(const TModuleCopy&) = delete;

  HMODULE Handle() const { return FHandle; }
  // Handle, file name, a fresh options object and names readable, as the
  // module list makes them before it loads the block.
  std::unique_ptr<RevavaRez::TVezavuModuleInfo> Record() const;
  template <typename T>
  T Export(const char* name) const {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(FHandle, name)));
  }

 private:
  HMODULE FHandle = nullptr;
};

}  // namespace brx_test
