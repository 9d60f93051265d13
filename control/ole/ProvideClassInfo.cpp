#include "ole/ProvideClassInfo.h"

#include "BrindoluxTLB.h"

HRESULT STDMETHODCALLTYPE TProvideClassInfo::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  return ControlTypeInfo(CLSID_BrindoluxCtrl, info);
}

HRESULT STDMETHODCALLTYPE TProvideClassInfo::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = DIID_IBrindoluxEvents;
  return S_OK;
}
