#pragma once
// IOleInPlaceObject of the control: placing and deactivating its window in
// the container's window.
#include <windows.h>
#include <ole2.h>

#include "ole/OleControlCore.h"

class TOleInPlaceObject : public IOleInPlaceObject {
 public:
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;

 protected:
  virtual TOleControlCore& Core() = 0;
};
