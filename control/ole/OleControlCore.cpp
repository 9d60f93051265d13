#include "ole/OleControlCore.h"

namespace {

// A new control is 320 by 240 pixels at 96 pixels per inch, in 0.01 mm.
constexpr LONG kDefaultWidthHimetric = 320 * 2540 / 96;
constexpr LONG kDefaultHeightHimetric = 240 * 2540 / 96;

}  // namespace

TOleControlCore::TOleControlCore(TOleControlHooks& hooks)
    : FHooks(hooks), FExtent{kDefaultWidthHimetric, kDefaultHeightHimetric} {}

HRESULT TOleControlCore::SetClientSite(IOleClientSite* site) {
  if (site == FClientSite.Get()) return S_OK;
  // A container that takes its site away first drops the activation that
  // came from it.
  if (FInPlaceActive) DeactivateInPlace();
  FClientSite = TComPtr<IOleClientSite>::Share(site);
  FHooks.ClientSiteChanged(site);
  return S_OK;
}

HRESULT TOleControlCore::ActivateInPlace(bool uiActivate) {
  if (!FClientSite) return E_UNEXPECTED;
  if (!FInPlaceActive) {
    TComPtr<IOleInPlaceSite> site;
    if (FAILED(FClientSite.As(site))) return E_NOINTERFACE;
    if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
    HRESULT result = site->OnInPlaceActivate();
    if (FAILED(result)) return result;
    HWND parent = nullptr;
    result = site->GetWindow(&parent);
    if (FAILED(result) || !parent) {
      site->OnInPlaceDeactivate();
      return FAILED(result) ? result : E_FAIL;
    }
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    TComPtr<IOleInPlaceFrame> frame;
    TComPtr<IOleInPlaceUIWindow> uiWindow;
    result = site->GetWindowContext(frame.Receive(), uiWindow.Receive(), &pos, &clip, &frameInfo);
    if (FAILED(result)) {
      site->OnInPlaceDeactivate();
      return result;
    }
    FInPlaceSite = std::move(site);
    FFrame = std::move(frame);
    FUIWindow = std::move(uiWindow);
    FInPlaceActive = true;
    FHooks.SetControlParent(parent);
    SetObjectRects(&pos, &clip);
    ShowWindow(Window(), SW_SHOWNA);
  }
  if (uiActivate && !FUIActive) {
    FUIActive = true;
    FInPlaceSite->OnUIActivate();
    TComPtr<IOleInPlaceActiveObject> active;
    Unknown()->QueryInterface(IID_IOleInPlaceActiveObject, active.ReceiveVoid());
    if (FFrame) {
      FFrame->SetActiveObject(active.Get(), nullptr);
      FFrame->SetBorderSpace(nullptr);
    }
    if (FUIWindow) {
      FUIWindow->SetActiveObject(active.Get(), nullptr);
      FUIWindow->SetBorderSpace(nullptr);
    }
    SetFocus(Window());
    FHooks.UIActivationChanged(true);
  }
  return S_OK;
}

HRESULT TOleControlCore::DeactivateUI() {
  if (!FUIActive) return S_OK;
  FUIActive = false;
  if (FUIWindow) FUIWindow->SetActiveObject(nullptr, nullptr);
  if (FFrame) FFrame->SetActiveObject(nullptr, nullptr);
  if (FInPlaceSite) FInPlaceSite->OnUIDeactivate(FALSE);
  FHooks.UIActivationChanged(false);
  return S_OK;
}

HRESULT TOleControlCore::DeactivateInPlace() {
  if (!FInPlaceActive) return S_OK;
  DeactivateUI();
  FInPlaceActive = false;
  // The engine may still post to the window: it lives on, parked.
  ShowWindow(Window(), SW_HIDE);
  SetWindowRgn(Window(), nullptr, FALSE);
  FHooks.SetControlParent(nullptr);
  TComPtr<IOleInPlaceSite> site = std::move(FInPlaceSite);
  FFrame.Reset();
  FUIWindow.Reset();
  if (site) site->OnInPlaceDeactivate();
  return S_OK;
}

HRESULT TOleControlCore::SetObjectRects(const RECT* pos, const RECT* clip) {
  if (!pos) return E_POINTER;
  const HWND window = Window();
  const int width = pos->right - pos->left;
  const int height = pos->bottom - pos->top;
  SetWindowPos(window, nullptr, pos->left, pos->top, width > 0 ? width : 0, height > 0 ? height : 0,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // Only the part inside the clipping rectangle may show.
  RECT visible{};
  if (clip && IntersectRect(&visible, pos, clip) && !EqualRect(&visible, pos)) {
    OffsetRect(&visible, -pos->left, -pos->top);
    SetWindowRgn(window, CreateRectRgnIndirect(&visible), TRUE);  // the window owns the region
  } else {
    SetWindowRgn(window, nullptr, TRUE);
  }
  return S_OK;
}

IOleAdviseHolder* TOleControlCore::AdviseHolder() {
  if (!FAdviseHolder) CreateOleAdviseHolder(FAdviseHolder.Receive());
  return FAdviseHolder.Get();
}

void TOleControlCore::SetViewAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  FViewAspects = aspects;
  FViewFlags = flags;
  FViewSink = TComPtr<IAdviseSink>::Share(sink);
}

void TOleControlCore::GetViewAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) const {
  if (aspects) *aspects = FViewAspects;
  if (flags) *flags = FViewFlags;
  if (sink) {
    *sink = FViewSink.Get();
    if (*sink) (*sink)->AddRef();
  }
}

void TOleControlCore::ViewChanged() {
  if (!FViewSink) return;
  TComPtr<IAdviseSink> sink = FViewSink;
  if (FViewFlags & ADVF_ONLYONCE) FViewSink.Reset();
  sink->OnViewChange(DVASPECT_CONTENT, -1);
}

void TOleControlCore::Close() {
  DeactivateInPlace();
  if (FAdviseHolder) FAdviseHolder->SendOnClose();
}

void TOleControlCore::Detach() {
  FInPlaceActive = false;
  FUIActive = false;
  FInPlaceSite.Reset();
  FFrame.Reset();
  FUIWindow.Reset();
  FViewSink.Reset();
  FAdviseHolder.Reset();
  FClientSite.Reset();
}
