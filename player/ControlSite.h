#pragma once
// The container's side of one hosted ActiveX control: its client site,
// in-place site and frame, control site and the ambient properties. A COM
// object of its own, freed by its last Release; TControlHost makes and
// drives it.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>

#include "ole/ComPtr.h"

// IOleInPlaceSite and IOleInPlaceFrame both derive from IOleWindow but name
// different windows; each answers through its own branch.
class TInPlaceSiteWindow : public IOleInPlaceSite {
 public:
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 protected:
  virtual HWND SiteWindow() const = 0;
};

class TInPlaceFrameWindow : public IOleInPlaceFrame {
 public:
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 protected:
  virtual HWND FrameWindow() const = 0;
};

class TControlSite final : public IOleClientSite,
                           public TInPlaceSiteWindow,
                           public TInPlaceFrameWindow,
                           public IOleControlSite,
                           public IDispatch {
 public:
  // parent receives the control's window; the reference that comes back is
  // the caller's.
  static TControlSite* Create(HWND parent, const RECT& bounds);

  void SetBounds(const RECT& bounds) { FBounds = bounds; }
  const RECT& Bounds() const { return FBounds; }
  bool InPlaceActive() const { return FInPlaceActive; }
  // The object the control made active while it is UI-active, or null.
  IOleInPlaceActiveObject* ActiveObject() const { return FActiveObject.Get(); }
  // Drops the references the control handed over.
  void Detach() { FActiveObject.Reset(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
  HRESULT STDMETHODCALLTYPE ShowObject() override;
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override;
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE OnUIActivate() override;
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                             LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) override;
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT pos) override;

  // IOleInPlaceUIWindow / IOleInPlaceFrame
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT border) override;
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS widths) override;
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) override;
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) override;
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU shared, HOLEMENU ole, HWND active) override;
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU shared) override;
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR text) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg, WORD id) override;

  // IOleControlSite
  HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override;
  HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL lock) override;
  HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** control) override;
  HRESULT STDMETHODCALLTYPE TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg, DWORD modifiers) override;
  HRESULT STDMETHODCALLTYPE OnFocus(BOOL gotFocus) override;
  HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override;

  // IDispatch: the ambient properties.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* dispids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) override;

 private:
  TControlSite(HWND parent, const RECT& bounds) : FParent(parent), FBounds(bounds) {}
  ~TControlSite() = default;

  HWND SiteWindow() const override { return FParent; }
  HWND FrameWindow() const override;

  std::atomic<ULONG> FRefs{1};
  HWND FParent;
  RECT FBounds;
  bool FInPlaceActive = false;
  TComPtr<IOleInPlaceActiveObject> FActiveObject;
};
