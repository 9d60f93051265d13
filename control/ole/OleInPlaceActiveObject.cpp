#include "ole/OleInPlaceActiveObject.h"

HRESULT STDMETHODCALLTYPE TOleInPlaceActiveObject::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = Core().Window();
  return *window ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE TOleInPlaceActiveObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// The control has no accelerators: the container's message loop dispatches
// keys to the focused window as usual.
HRESULT STDMETHODCALLTYPE TOleInPlaceActiveObject::TranslateAccelerator(LPMSG msg) {
  return msg ? S_FALSE : E_POINTER;
}

HRESULT STDMETHODCALLTYPE TOleInPlaceActiveObject::OnFrameWindowActivate(BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE TOleInPlaceActiveObject::OnDocWindowActivate(BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE TOleInPlaceActiveObject::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOleInPlaceActiveObject::EnableModeless(BOOL) { return S_OK; }
