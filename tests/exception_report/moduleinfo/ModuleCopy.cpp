#include "ModuleCopy.h"

#include "core/ExceptionLog.h"

namespace brx_test {

TModuleCopy::TModuleCopy(const TTempFolder& folder, const std::wstring& module, const std::wstring& name,
                         TBlockForm form, const Bytes& block) {
  const std::wstring copy = folder.Path() + L"\\" + name;
  if (!CopyModule(TestModulePath(module), copy)) return;
  if (form == TBlockForm::Resource && !PutResource(copy, block)) return;
  if (form == TBlockForm::Trailer && !AppendToFile(copy, block)) return;
  FHandle = LoadLibraryW(copy.c_str());
}

TModuleCopy::~TModuleCopy() {
  if (FHandle) FreeLibrary(FHandle);
}

std::unique_ptr<RevavaRez::TVezavuModuleInfo> TModuleCopy::Record() const {
  auto record = std::make_unique<RevavaRez::TVezavuModuleInfo>();
  record->Handle = FHandle;
  record->FileName = RevavaRez::ModuleFileNameOf(FHandle);
  record->Options = std::make_unique<RevavaRez::TVezavuModuleOptionsEx>(false, record->FileName);
  return record;
}

}  // namespace brx_test
