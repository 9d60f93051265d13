#pragma once
// IViewObject2 of the control: draws the window's picture into a device
// context of the container (printing, a design view, a snapshot).
#include <windows.h>
#include <ole2.h>

#include "ole/OleControlCore.h"

class TViewObject : public IViewObject2 {
 public:
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* targetDevice,
                                 HDC targetDC, HDC drawDC, LPCRECTL bounds, LPCRECTL windowBounds,
                                 BOOL(STDMETHODCALLTYPE* continueProc)(ULONG_PTR),
                                 ULONG_PTR continueArg) override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo,
                                        DVTARGETDEVICE* targetDevice, HDC targetDC,
                                        LOGPALETTE** colorSet) override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* targetDevice,
                                      LPSIZEL size) override;

 protected:
  virtual TOleControlCore& Core() = 0;
};
