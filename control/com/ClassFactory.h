#pragma once
// The class object of the control and the counts that keep the library
// loaded: every live control, every reference to the class object and every
// IClassFactory::LockServer lock.
#include <windows.h>
#include <unknwn.h>

void ServerAddRef() noexcept;
void ServerRelease() noexcept;
// True while anything of the above is outstanding.
bool ServerInUse() noexcept;

class TClassFactory final : public IClassFactory {
 public:
  // The one class object of the library; it lives as long as the module.
  static TClassFactory& Instance();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  TClassFactory() = default;
};
