#include "ole/OleObject.h"

#include "BrindoluxTLB.h"
#include "com/Server.h"

HRESULT STDMETHODCALLTYPE TOleObject::SetClientSite(IOleClientSite* site) {
  const TComPtr<IUnknown> keep = Core().KeepAlive();
  return Core().SetClientSite(site);
}

HRESULT STDMETHODCALLTYPE TOleObject::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = Core().ClientSite();
  if (*site) (*site)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOleObject::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT STDMETHODCALLTYPE TOleObject::Close(DWORD saveOption) {
  const TComPtr<IUnknown> keep = Core().KeepAlive();
  if (saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE) SaveIfDirty();
  Core().Close();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOleObject::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TOleObject::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TOleObject::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TOleObject::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TOleObject::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND,
                                             LPCRECT pos) {
  TOleControlCore& core = Core();
  const TComPtr<IUnknown> keep = core.KeepAlive();
  // A container may hand its site only with the verb.
  if (!core.ClientSite() && activeSite) core.SetClientSite(activeSite);
  HRESULT result;
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
      result = core.ActivateInPlace(true);
      break;
    case OLEIVERB_INPLACEACTIVATE:
      result = core.ActivateInPlace(false);
      break;
    case OLEIVERB_HIDE:
      core.DeactivateUI();
      ShowWindow(core.Window(), SW_HIDE);
      return S_OK;
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
      return E_NOTIMPL;
    default:
      if (verb < 0) return E_NOTIMPL;
      // Unknown verbs of our own range do the primary verb.
      result = core.ActivateInPlace(true);
      if (SUCCEEDED(result)) return OLEOBJ_S_INVALIDVERB;
      return result;
  }
  if (SUCCEEDED(result) && pos && core.InPlaceActive()) core.SetObjectRects(pos, pos);
  return result;
}

HRESULT STDMETHODCALLTYPE TOleObject::EnumVerbs(IEnumOLEVERB** verbs) {
  return OleRegEnumVerbs(CLSID_BrindoluxCtrl, verbs);
}

HRESULT STDMETHODCALLTYPE TOleObject::Update() { return S_OK; }

HRESULT STDMETHODCALLTYPE TOleObject::IsUpToDate() { return S_OK; }

HRESULT STDMETHODCALLTYPE TOleObject::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_BrindoluxCtrl;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOleObject::GetUserType(DWORD form, LPOLESTR* userType) {
  return OleRegGetUserType(CLSID_BrindoluxCtrl, form, userType);
}

HRESULT STDMETHODCALLTYPE TOleObject::SetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
  Core().SetExtent(*size);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOleObject::GetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = Core().Extent();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOleObject::Advise(IAdviseSink* sink, DWORD* connection) {
  IOleAdviseHolder* holder = Core().AdviseHolder();
  if (!holder) return E_OUTOFMEMORY;
  return holder->Advise(sink, connection);
}

HRESULT STDMETHODCALLTYPE TOleObject::Unadvise(DWORD connection) {
  IOleAdviseHolder* holder = Core().AdviseHolder();
  if (!holder) return OLE_E_NOCONNECTION;
  return holder->Unadvise(connection);
}

HRESULT STDMETHODCALLTYPE TOleObject::EnumAdvise(IEnumSTATDATA** advise) {
  IOleAdviseHolder* holder = Core().AdviseHolder();
  if (!holder) return E_OUTOFMEMORY;
  return holder->EnumAdvise(advise);
}

HRESULT STDMETHODCALLTYPE TOleObject::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  // The same flags the registration writes under MiscStatus.
  *status = kBrindoluxMiscStatus;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOleObject::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }
