#include "com/ClassFactory.h"

#include <atomic>

#include "com/BrindoluxObject.h"

namespace {

std::atomic<long> GServerCount{0};

}  // namespace

void ServerAddRef() noexcept { ++GServerCount; }

void ServerRelease() noexcept { --GServerCount; }

bool ServerInUse() noexcept { return GServerCount.load() > 0; }

TClassFactory& TClassFactory::Instance() {
  static TClassFactory factory;
  return factory;
}

HRESULT STDMETHODCALLTYPE TClassFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

// A container that holds the class object needs the code behind it.
ULONG STDMETHODCALLTYPE TClassFactory::AddRef() {
  ServerAddRef();
  return 2;
}

ULONG STDMETHODCALLTYPE TClassFactory::Release() {
  ServerRelease();
  return 1;
}

HRESULT STDMETHODCALLTYPE TClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return TBrindoluxObject::Create(iid, object);
}

HRESULT STDMETHODCALLTYPE TClassFactory::LockServer(BOOL lock) {
  if (lock)
    ServerAddRef();
  else
    ServerRelease();
  return S_OK;
}
