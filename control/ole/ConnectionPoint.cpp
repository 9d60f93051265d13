#include "ole/ConnectionPoint.h"

#include <olectl.h>

#include <atomic>
#include <new>

#include "BrindoluxTLB.h"

namespace {

enum : DISPID {
  kOnActivate = 1,
  kOnClick = 2,
  kOnCreate = 3,
  kOnSkip = 4,
  kOnDblClick = 5,
  kOnDestroy = 6,
  kOnDeactivate = 7,
  kOnKeyPress = 11,
  kOnPaint = 16,
  kOnPlayStateChanged = 201,
  kOnPositionChanged = 202,
  kOnDisplayModeChanged = 203,
  kOnScript = 204,
  kOnIndex = 205,
  kOnStreamSample = 206,
  kOnString = 207,
  kOnMouseDown = 208,
  kOnMouseMove = 209,
  kOnMouseUp = 210,
};

// The enumerator of the control's connection points: there is one. A COM
// object of its own, freed by its last Release; it keeps the control alive
// through the connection point it hands out.
class TEnumConnectionPoints final : public IEnumConnectionPoints {
 public:
  TEnumConnectionPoints(IConnectionPoint* point, ULONG position)
      : FPoint(TComPtr<IConnectionPoint>::Share(point)), FPosition(position) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumConnectionPoints)) {
      *object = static_cast<IEnumConnectionPoints*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG refs = --FRefs;
    if (refs == 0) delete this;
    return refs;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
    if (!points || (count > 1 && !fetched)) return E_POINTER;
    ULONG done = 0;
    if (count > 0 && FPosition == 0) {
      points[0] = FPoint.Get();
      points[0]->AddRef();
      FPosition = 1;
      done = 1;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    if (count == 0) return S_OK;
    const bool skipped = FPosition == 0 && count == 1;
    FPosition = 1;
    return skipped ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    FPosition = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** clone) override {
    if (!clone) return E_POINTER;
    *clone = new (std::nothrow) TEnumConnectionPoints(FPoint.Get(), FPosition);
    return *clone ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::atomic<ULONG> FRefs{1};
  TComPtr<IConnectionPoint> FPoint;
  ULONG FPosition;
};

}  // namespace

TConnectionPoint::TConnectionPoint(IUnknown& owner, TConnectionListener& listener)
    : FOwner(owner), FListener(listener) {}

HRESULT STDMETHODCALLTYPE TConnectionPoint::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TConnectionPoint::AddRef() { return FOwner.AddRef(); }

ULONG STDMETHODCALLTYPE TConnectionPoint::Release() { return FOwner.Release(); }

HRESULT STDMETHODCALLTYPE TConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = DIID_IBrindoluxEvents;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
TConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  return FOwner.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container));
}

HRESULT STDMETHODCALLTYPE TConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  TComPtr<IDispatch> dispatch;
  // A sink answers for the event interface; one that only speaks IDispatch
  // gets the same calls.
  if (FAILED(sink->QueryInterface(DIID_IBrindoluxEvents, dispatch.ReceiveVoid())) &&
      FAILED(sink->QueryInterface(IID_IDispatch, dispatch.ReceiveVoid())))
    return CONNECT_E_CANNOTCONNECT;
  bool first;
  try {
    std::lock_guard<std::mutex> lock(FLock);
    first = FSinks.empty();
    FSinks.emplace_back(FNextCookie + 1, std::move(dispatch));
    *cookie = ++FNextCookie;
  } catch (...) {
    // No room for one more sink: the container hears it, it is not thrown
    // into its call.
    return E_OUTOFMEMORY;
  }
  if (first) FListener.SinksChanged(true);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TConnectionPoint::Unadvise(DWORD cookie) {
  TComPtr<IDispatch> removed;
  bool last = false;
  {
    std::lock_guard<std::mutex> lock(FLock);
    for (auto it = FSinks.begin(); it != FSinks.end(); ++it) {
      if (it->first != cookie) continue;
      removed = std::move(it->second);
      FSinks.erase(it);
      last = FSinks.empty();
      break;
    }
  }
  if (!removed) return CONNECT_E_NOCONNECTION;
  if (last) FListener.SinksChanged(false);
  // The sink is released here, outside the lock.
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

void TConnectionPoint::DisconnectAll() {
  std::vector<std::pair<DWORD, TComPtr<IDispatch>>> sinks;
  {
    std::lock_guard<std::mutex> lock(FLock);
    sinks.swap(FSinks);
  }
  if (!sinks.empty()) FListener.SinksChanged(false);
}

bool TConnectionPoint::Connected() const {
  std::lock_guard<std::mutex> lock(FLock);
  return !FSinks.empty();
}

std::vector<TComPtr<IDispatch>> TConnectionPoint::Sinks() const {
  std::vector<TComPtr<IDispatch>> sinks;
  std::lock_guard<std::mutex> lock(FLock);
  sinks.reserve(FSinks.size());
  for (const auto& entry : FSinks) sinks.push_back(entry.second);
  return sinks;
}

void TConnectionPoint::Fire(DISPID dispid, VARIANTARG* args, UINT count) {
  for (const TComPtr<IDispatch>& sink : Sinks()) {
    DISPPARAMS params{args, nullptr, count, 0};
    // What a sink answers, or whether it throws, is its own business.
    sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }
}

void TConnectionPoint::FireText(DISPID dispid, const std::wstring& text) {
  if (!Connected()) return;
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!arg.bstrVal) return;
  Fire(dispid, &arg, 1);
  VariantClear(&arg);
}

void TConnectionPoint::FireLongs(DISPID dispid, std::initializer_list<LONG> values) {
  VARIANTARG args[3];
  const UINT count = static_cast<UINT>(values.size());
  UINT i = count;
  for (LONG value : values) {
    // Dispatch order: the last argument comes first.
    --i;
    VariantInit(&args[i]);
    args[i].vt = VT_I4;
    args[i].lVal = value;
  }
  Fire(dispid, count ? args : nullptr, count);
}

void TConnectionPoint::OnActivate() { Fire(kOnActivate, nullptr, 0); }
void TConnectionPoint::OnClick() { Fire(kOnClick, nullptr, 0); }
void TConnectionPoint::OnCreate() { Fire(kOnCreate, nullptr, 0); }
void TConnectionPoint::OnDblClick() { Fire(kOnDblClick, nullptr, 0); }
void TConnectionPoint::OnDestroy() { Fire(kOnDestroy, nullptr, 0); }
void TConnectionPoint::OnDeactivate() { Fire(kOnDeactivate, nullptr, 0); }

void TConnectionPoint::OnKeyPress(int16_t& Key) {
  // Each sink sees the key the one before it left.
  SHORT key = Key;
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_I2 | VT_BYREF;
  arg.piVal = &key;
  Fire(kOnKeyPress, &arg, 1);
  Key = key;
}

void TConnectionPoint::OnPaint() { Fire(kOnPaint, nullptr, 0); }
void TConnectionPoint::OnSkip(int32_t Seconds) { FireLongs(kOnSkip, {Seconds}); }
void TConnectionPoint::OnPlayStateChanged(TStatus NewState) { FireLongs(kOnPlayStateChanged, {NewState}); }
void TConnectionPoint::OnPositionChanged(int32_t NewPosition) {
  FireLongs(kOnPositionChanged, {NewPosition});
}
void TConnectionPoint::OnDisplayModeChanged(TDisplayMode NewMode) {
  FireLongs(kOnDisplayModeChanged, {NewMode});
}
void TConnectionPoint::OnScript(const std::wstring& Script) { FireText(kOnScript, Script); }
void TConnectionPoint::OnIndex(const std::wstring& Index) { FireText(kOnIndex, Index); }

void TConnectionPoint::OnStreamSample(const FrameRecord* Data) {
  // The type library gives the record's address 32 bits: that is all of it
  // in the 32-bit control; a 64-bit build can hand on only the low half.
  FireLongs(kOnStreamSample, {static_cast<LONG>(reinterpret_cast<intptr_t>(Data))});
}

void TConnectionPoint::OnString(const std::wstring& Str) { FireText(kOnString, Str); }
void TConnectionPoint::OnMouseDown(int32_t Button, int32_t X, int32_t Y) {
  FireLongs(kOnMouseDown, {Button, X, Y});
}
void TConnectionPoint::OnMouseMove(int32_t X, int32_t Y) { FireLongs(kOnMouseMove, {X, Y}); }
void TConnectionPoint::OnMouseUp(int32_t Button, int32_t X, int32_t Y) {
  FireLongs(kOnMouseUp, {Button, X, Y});
}

HRESULT STDMETHODCALLTYPE TConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (!points) return E_POINTER;
  *points = new (std::nothrow) TEnumConnectionPoints(&EventsConnectionPoint(), 0);
  return *points ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE TConnectionPointContainer::FindConnectionPoint(REFIID iid,
                                                                         IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (!IsEqualIID(iid, DIID_IBrindoluxEvents)) return CONNECT_E_NOCONNECTION;
  *point = &EventsConnectionPoint();
  (*point)->AddRef();
  return S_OK;
}
