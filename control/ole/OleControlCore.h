#pragma once
// What the OLE interfaces of the control share: the container's site, the
// state of in-place and UI activation, the extent and the advise sinks, and
// the steps of activation that several interfaces take.
#include <windows.h>
#include <ole2.h>

#include "ole/ComPtr.h"

// What the object that carries the interfaces supplies to them.
class TOleControlHooks {
 public:
  virtual HWND ControlWindow() const = 0;
  // Puts the control's window into parent; null parks it again.
  virtual void SetControlParent(HWND parent) = 0;
  // The container's site, or null once it is taken away; the control reads
  // the hosting page's address through it.
  virtual void ClientSiteChanged(IOleClientSite* site) = 0;
  // The control became the container's UI-active object, or stopped being
  // it; the control tells its container through its events.
  virtual void UIActivationChanged(bool active) = 0;
  // The object's own IUnknown.
  virtual IUnknown* ControlUnknown() = 0;

 protected:
  ~TOleControlHooks() = default;
};

class TOleControlCore {
 public:
  explicit TOleControlCore(TOleControlHooks& hooks);
  TOleControlCore(const TOleControlCore&) = delete;
  TOleControlCore& operator=(const TOleControlCore&) = delete;

  HWND Window() const { return FHooks.ControlWindow(); }
  IUnknown* Unknown() { return FHooks.ControlUnknown(); }
  // A reference for the length of an OLE call that may fire events: the
  // container may let go of the control inside one.
  TComPtr<IUnknown> KeepAlive() { return TComPtr<IUnknown>::Share(Unknown()); }

  HRESULT SetClientSite(IOleClientSite* site);
  IOleClientSite* ClientSite() const { return FClientSite.Get(); }

  // Activates in place in the window of the container's in-place site and,
  // with uiActivate, takes the focus and becomes the active object.
  HRESULT ActivateInPlace(bool uiActivate);
  HRESULT DeactivateUI();
  HRESULT DeactivateInPlace();
  bool InPlaceActive() const { return FInPlaceActive; }
  bool UIActive() const { return FUIActive; }
  // Moves the window to pos in the container's window, clipped by clip.
  HRESULT SetObjectRects(const RECT* pos, const RECT* clip);

  SIZEL Extent() const { return FExtent; }
  void SetExtent(const SIZEL& extent) { FExtent = extent; }

  IOleAdviseHolder* AdviseHolder();
  void SetViewAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink);
  void GetViewAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) const;
  // Tells the view sink that the picture changed.
  void ViewChanged();

  // Closes: deactivates and tells the advise sinks.
  void Close();
  // Lets go of everything the container gave, without calling it (the
  // control is being destroyed).
  void Detach();

  bool Dirty() const { return FDirty; }
  void SetDirty(bool dirty) { FDirty = dirty; }

 private:
  TOleControlHooks& FHooks;
  TComPtr<IOleClientSite> FClientSite;
  TComPtr<IOleInPlaceSite> FInPlaceSite;
  TComPtr<IOleInPlaceFrame> FFrame;
  TComPtr<IOleInPlaceUIWindow> FUIWindow;
  TComPtr<IOleAdviseHolder> FAdviseHolder;
  TComPtr<IAdviseSink> FViewSink;
  DWORD FViewAspects = 0;
  DWORD FViewFlags = 0;
  SIZEL FExtent;
  bool FInPlaceActive = false;
  bool FUIActive = false;
  bool FDirty = false;
};
