#pragma once
// The control's one connection point, for IBrindoluxEvents, and the
// container interface that finds it. The connection point is the control's
// TControlEvents: each event goes to every connected sink through
// IDispatch::Invoke with the event's dispatch identifier.
//
// The live source fires some events on its own thread, without marshalling;
// the sink list is therefore guarded, and a sink is called outside the lock
// with a reference of the caller's own, so that a sink may disconnect
// itself, or the container another one, while events are under way.
#include <windows.h>
#include <ocidl.h>

#include <mutex>
#include <utility>
#include <vector>

#include "ControlEvents.h"
#include "ole/ComPtr.h"

class TConnectionListener {
 public:
  // The first sink connected (true) or the last one went (false).
  virtual void SinksChanged(bool connected) = 0;

 protected:
  ~TConnectionListener() = default;
};

class TConnectionPoint final : public IConnectionPoint, public TControlEvents {
 public:
  // Lives inside owner and shares its reference count.
  TConnectionPoint(IUnknown& owner, TConnectionListener& listener);
  TConnectionPoint(const TConnectionPoint&) = delete;
  TConnectionPoint& operator=(const TConnectionPoint&) = delete;

  // Drops every sink (the control is going away).
  void DisconnectAll();
  bool Connected() const;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

  // TControlEvents
  void OnActivate() override;
  void OnClick() override;
  void OnCreate() override;
  void OnDblClick() override;
  void OnDestroy() override;
  void OnDeactivate() override;
  void OnKeyPress(int16_t& Key) override;
  void OnPaint() override;
  void OnSkip(int32_t Seconds) override;
  void OnPlayStateChanged(TStatus NewState) override;
  void OnPositionChanged(int32_t NewPosition) override;
  void OnDisplayModeChanged(TDisplayMode NewMode) override;
  void OnScript(const std::wstring& Script) override;
  void OnIndex(const std::wstring& Index) override;
  void OnStreamSample(const FrameRecord* Data) override;
  void OnString(const std::wstring& Str) override;
  void OnMouseDown(int32_t Button, int32_t X, int32_t Y) override;
  void OnMouseMove(int32_t X, int32_t Y) override;
  void OnMouseUp(int32_t Button, int32_t X, int32_t Y) override;

 private:
  // Calls every sink with args in dispatch order (the last argument first).
  void Fire(DISPID dispid, VARIANTARG* args, UINT count);
  void FireText(DISPID dispid, const std::wstring& text);
  void FireLongs(DISPID dispid, std::initializer_list<LONG> values);
  std::vector<TComPtr<IDispatch>> Sinks() const;

  IUnknown& FOwner;
  TConnectionListener& FListener;
  mutable std::mutex FLock;
  std::vector<std::pair<DWORD, TComPtr<IDispatch>>> FSinks;
  DWORD FNextCookie = 0;
};

class TConnectionPointContainer : public IConnectionPointContainer {
 public:
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

 protected:
  virtual TConnectionPoint& EventsConnectionPoint() = 0;
};
