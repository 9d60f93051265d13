#pragma once
// IOleControl of the control: it has no mnemonics, and events are not
// frozen by the container (they go out as they happen).
#include <windows.h>
#include <ocidl.h>

class TOleControl : public IOleControl {
 public:
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* msg) override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID dispid) override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;
};
