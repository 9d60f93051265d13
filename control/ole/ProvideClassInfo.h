#pragma once
// IProvideClassInfo2 of the control: its coclass from the embedded type
// library and the event interface containers connect to.
#include <windows.h>
#include <ocidl.h>

class TProvideClassInfo : public IProvideClassInfo2 {
 public:
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

 protected:
  // The type information for guid from the control's type library.
  virtual HRESULT ControlTypeInfo(REFGUID guid, ITypeInfo** info) = 0;
};
