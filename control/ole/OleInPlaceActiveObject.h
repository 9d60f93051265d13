#pragma once
// IOleInPlaceActiveObject of the control, handed to the container's frame
// while the control is UI-active.
#include <windows.h>
#include <ole2.h>

#include "ole/OleControlCore.h"

class TOleInPlaceActiveObject : public IOleInPlaceActiveObject {
 public:
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

 protected:
  virtual TOleControlCore& Core() = 0;
};
