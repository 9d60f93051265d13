#include "ole/OleControl.h"

HRESULT STDMETHODCALLTYPE TOleControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  if (info->cb < sizeof(CONTROLINFO)) return E_INVALIDARG;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOleControl::OnMnemonic(MSG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TOleControl::OnAmbientPropertyChange(DISPID) { return S_OK; }

HRESULT STDMETHODCALLTYPE TOleControl::FreezeEvents(BOOL) { return S_OK; }
