#include "ControlSite.h"

#include <new>

HRESULT STDMETHODCALLTYPE TInPlaceSiteWindow::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = SiteWindow();
  return *window ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE TInPlaceFrameWindow::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = FrameWindow();
  return *window ? S_OK : E_FAIL;
}

TControlSite* TControlSite::Create(HWND parent, const RECT& bounds) {
  return new (std::nothrow) TControlSite(parent, bounds);
}

HWND TControlSite::FrameWindow() const {
  const HWND root = GetAncestor(FParent, GA_ROOT);
  return root ? root : FParent;
}

HRESULT STDMETHODCALLTYPE TControlSite::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  void* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
    found = static_cast<IOleClientSite*>(this);
  else if (IsEqualIID(iid, IID_IOleInPlaceSite))
    found = static_cast<IOleInPlaceSite*>(this);
  else if (IsEqualIID(iid, IID_IOleWindow))
    found = static_cast<IOleInPlaceSite*>(this);
  else if (IsEqualIID(iid, IID_IOleInPlaceFrame) || IsEqualIID(iid, IID_IOleInPlaceUIWindow))
    found = static_cast<IOleInPlaceFrame*>(this);
  else if (IsEqualIID(iid, IID_IOleControlSite))
    found = static_cast<IOleControlSite*>(this);
  else if (IsEqualIID(iid, IID_IDispatch))
    found = static_cast<IDispatch*>(this);
  *object = found;
  if (!found) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE TControlSite::AddRef() { return ++FRefs; }

ULONG STDMETHODCALLTYPE TControlSite::Release() {
  const ULONG refs = --FRefs;
  if (refs == 0) delete this;
  return refs;
}

// IOleClientSite: the program keeps the control's state in its own
// resources, so there is nothing to save to and no document around it.
HRESULT STDMETHODCALLTYPE TControlSite::SaveObject() { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TControlSite::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE TControlSite::ShowObject() { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::OnShowWindow(BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::RequestNewObjectLayout() { return E_NOTIMPL; }

// IOleInPlaceSite

HRESULT STDMETHODCALLTYPE TControlSite::CanInPlaceActivate() { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::OnInPlaceActivate() {
  FInPlaceActive = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TControlSite::OnUIActivate() { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::GetWindowContext(IOleInPlaceFrame** frame,
                                                         IOleInPlaceUIWindow** document, LPRECT pos,
                                                         LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (!frame || !document || !pos || !clip || !info) return E_POINTER;
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  // The frame is also the document window.
  *document = nullptr;
  *pos = FBounds;
  *clip = FBounds;
  info->fMDIApp = FALSE;
  info->hwndFrame = FrameWindow();
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TControlSite::Scroll(SIZE) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TControlSite::OnUIDeactivate(BOOL) {
  FActiveObject.Reset();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TControlSite::OnInPlaceDeactivate() {
  FInPlaceActive = false;
  FActiveObject.Reset();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TControlSite::DiscardUndoState() { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::DeactivateAndUndo() { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::OnPosRectChange(LPCRECT pos) {
  if (!pos) return E_POINTER;
  FBounds = *pos;
  return S_OK;
}

// IOleInPlaceFrame: no tool space, menus or status bar to share.

HRESULT STDMETHODCALLTYPE TControlSite::GetBorder(LPRECT) { return INPLACE_E_NOTOOLSPACE; }

HRESULT STDMETHODCALLTYPE TControlSite::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }

HRESULT STDMETHODCALLTYPE TControlSite::SetBorderSpace(LPCBORDERWIDTHS) { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
  FActiveObject = TComPtr<IOleInPlaceActiveObject>::Share(object);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TControlSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TControlSite::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::RemoveMenus(HMENU) { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::SetStatusText(LPCOLESTR) { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::EnableModeless(BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::TranslateAccelerator(LPMSG, WORD) { return S_FALSE; }

// IOleControlSite

HRESULT STDMETHODCALLTYPE TControlSite::OnControlInfoChanged() { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::LockInPlaceActive(BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::GetExtendedControl(IDispatch** control) {
  if (control) *control = nullptr;
  return E_NOTIMPL;
}

// The container's units are pixels of the screen.
HRESULT STDMETHODCALLTYPE TControlSite::TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) {
  if (!himetric || !container) return E_POINTER;
  HDC screen = GetDC(nullptr);
  const int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  const int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  if (flags & XFORMCOORDS_HIMETRICTOCONTAINER) {
    container->x = static_cast<FLOAT>(himetric->x) * dpiX / 2540.0f;
    container->y = static_cast<FLOAT>(himetric->y) * dpiY / 2540.0f;
  } else if (flags & XFORMCOORDS_CONTAINERTOHIMETRIC) {
    himetric->x = static_cast<LONG>(container->x * 2540.0f / dpiX + 0.5f);
    himetric->y = static_cast<LONG>(container->y * 2540.0f / dpiY + 0.5f);
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TControlSite::TranslateAccelerator(MSG*, DWORD) { return S_FALSE; }

HRESULT STDMETHODCALLTYPE TControlSite::OnFocus(BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE TControlSite::ShowPropertyFrame() { return E_NOTIMPL; }

// IDispatch: the ambient properties a control asks its container for.

HRESULT STDMETHODCALLTYPE TControlSite::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TControlSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TControlSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* dispids) {
  for (UINT i = 0; dispids && i < count; ++i) dispids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE TControlSite::Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS*,
                                               VARIANT* result, EXCEPINFO*, UINT*) {
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (!result) return E_POINTER;
  VariantInit(result);
  switch (dispid) {
    case DISPID_AMBIENT_USERMODE:
      result->vt = VT_BOOL;
      result->boolVal = VARIANT_TRUE;
      return S_OK;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
    case DISPID_AMBIENT_DISPLAYASDEFAULT:
      result->vt = VT_BOOL;
      result->boolVal = VARIANT_FALSE;
      return S_OK;
    case DISPID_AMBIENT_LOCALEID:
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(GetUserDefaultLCID());
      return S_OK;
    case DISPID_AMBIENT_BACKCOLOR:
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(0x80000000u | COLOR_BTNFACE);
      return S_OK;
    case DISPID_AMBIENT_FORECOLOR:
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(0x80000000u | COLOR_BTNTEXT);
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}
