#include "ControlHost.h"

namespace {

SIZEL PixelsToHimetric(int width, int height) {
  HDC screen = GetDC(nullptr);
  const int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  const int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return SIZEL{MulDiv(width, 2540, dpiX), MulDiv(height, 2540, dpiY)};
}

}  // namespace

HRESULT TControlHost::Create(REFCLSID clsid, HWND parent, const RECT& bounds, IStream* state) {
  Release();
  if (!parent) return E_INVALIDARG;
  FSite = TComPtr<TControlSite>(TControlSite::Create(parent, bounds));
  if (!FSite) return E_OUTOFMEMORY;
  HRESULT result =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, FObject.ReceiveVoid());
  if (FAILED(result)) {
    Release();
    return result;
  }
  // The site first: a control may ask for ambient properties while it loads.
  result = FObject->SetClientSite(static_cast<IOleClientSite*>(FSite.Get()));
  if (SUCCEEDED(result)) {
    TComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(FObject.As(persist))) result = state ? persist->Load(state) : persist->InitNew();
  }
  if (SUCCEEDED(result)) {
    SIZEL extent = PixelsToHimetric(bounds.right - bounds.left, bounds.bottom - bounds.top);
    FObject->SetExtent(DVASPECT_CONTENT, &extent);
    result = FObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(FSite.Get()), 0,
                             parent, &bounds);
  }
  if (SUCCEEDED(result)) result = FObject.As(FDispatch);
  if (FAILED(result)) Release();
  return result;
}

HRESULT TControlHost::SetBounds(const RECT& bounds) {
  if (!FObject) return E_UNEXPECTED;
  FSite->SetBounds(bounds);
  SIZEL extent = PixelsToHimetric(bounds.right - bounds.left, bounds.bottom - bounds.top);
  FObject->SetExtent(DVASPECT_CONTENT, &extent);
  TComPtr<IOleInPlaceObject> inPlace;
  HRESULT result = FObject.As(inPlace);
  if (FAILED(result)) return result;
  return inPlace->SetObjectRects(&bounds, &bounds);
}

HRESULT TControlHost::ConnectEvents(REFIID events, TEventSink::THandler handler) {
  if (!FObject) return E_UNEXPECTED;
  DisconnectEvents();
  TComPtr<IConnectionPointContainer> container;
  HRESULT result = FObject.As(container);
  if (FAILED(result)) return result;
  TComPtr<IConnectionPoint> point;
  result = container->FindConnectionPoint(events, point.Receive());
  if (FAILED(result)) return result;
  TComPtr<TEventSink> sink(TEventSink::Create(events, std::move(handler)));
  if (!sink) return E_OUTOFMEMORY;
  result = point->Advise(static_cast<IDispatch*>(sink.Get()), &FEventsCookie);
  if (FAILED(result)) return result;
  FEventsPoint = std::move(point);
  return S_OK;
}

void TControlHost::DisconnectEvents() {
  if (!FEventsPoint) return;
  FEventsPoint->Unadvise(FEventsCookie);
  FEventsPoint.Reset();
  FEventsCookie = 0;
}

bool TControlHost::TranslateAccelerator(MSG& msg) {
  IOleInPlaceActiveObject* active = FSite ? FSite->ActiveObject() : nullptr;
  return active && active->TranslateAccelerator(&msg) == S_OK;
}

void TControlHost::Release() {
  DisconnectEvents();
  if (FObject) {
    TComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(FObject.As(inPlace))) inPlace->InPlaceDeactivate();
    FObject->Close(OLECLOSE_NOSAVE);
    FObject->SetClientSite(nullptr);
  }
  FDispatch.Reset();
  FObject.Reset();
  if (FSite) FSite->Detach();
  FSite.Reset();
}

HWND TControlHost::Window() const {
  if (!FObject) return nullptr;
  TComPtr<IOleInPlaceObject> inPlace;
  HWND window = nullptr;
  if (SUCCEEDED(FObject.As(inPlace)) && SUCCEEDED(inPlace->GetWindow(&window))) return window;
  return nullptr;
}
