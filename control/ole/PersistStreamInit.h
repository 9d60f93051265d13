#pragma once
// IPersistStreamInit of the control: the form's own properties in the
// versioned block of FormProperties.h. The control's player members are not
// saved; they start at their defaults with every new control.
#include <windows.h>
#include <ocidl.h>

#include "ole/FormProperties.h"
#include "ole/OleControlCore.h"

class TPersistStreamInit : public IPersistStreamInit {
 public:
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override;
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL clearDirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;

 protected:
  virtual TOleControlCore& Core() = 0;
  // The properties as they stand, and applying loaded ones.
  virtual TFormProperties SaveFormState() = 0;
  virtual void LoadFormState(const TFormProperties& properties) = 0;
};
