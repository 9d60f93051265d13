#include "EventSink.h"

#include <new>

TEventSink* TEventSink::Create(REFIID events, THandler handler) {
  try {
    return new TEventSink(events, std::move(handler));
  } catch (...) {
    return nullptr;
  }
}

HRESULT STDMETHODCALLTYPE TEventSink::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, FEvents)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TEventSink::AddRef() { return ++FRefs; }

ULONG STDMETHODCALLTYPE TEventSink::Release() {
  const ULONG refs = --FRefs;
  if (refs == 0) delete this;
  return refs;
}

HRESULT STDMETHODCALLTYPE TEventSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* dispids) {
  for (UINT i = 0; dispids && i < count; ++i) dispids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE TEventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params,
                                             VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  try {
    if (FHandler) FHandler(dispid, params ? *params : none);
  } catch (...) {
    // A handler's failure stays on the container's side.
    return E_FAIL;
  }
  return S_OK;
}
