#include "ole/OleInPlaceObject.h"

HRESULT STDMETHODCALLTYPE TOleInPlaceObject::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = Core().Window();
  return *window ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE TOleInPlaceObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TOleInPlaceObject::InPlaceDeactivate() {
  const TComPtr<IUnknown> keep = Core().KeepAlive();
  return Core().DeactivateInPlace();
}

HRESULT STDMETHODCALLTYPE TOleInPlaceObject::UIDeactivate() {
  const TComPtr<IUnknown> keep = Core().KeepAlive();
  return Core().DeactivateUI();
}

HRESULT STDMETHODCALLTYPE TOleInPlaceObject::SetObjectRects(LPCRECT pos, LPCRECT clip) {
  return Core().SetObjectRects(pos, clip);
}

HRESULT STDMETHODCALLTYPE TOleInPlaceObject::ReactivateAndUndo() { return INPLACE_E_NOTUNDOABLE; }
