#pragma once
// An event sink for a control's event dispinterface: each event reaches a
// C++ handler with its dispatch identifier and arguments. Some controls fire
// events from their own worker threads, so the handler must be ready to run
// on any thread. A COM object of its own, freed by its last Release.
#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <functional>

class TEventSink final : public IDispatch {
 public:
  using THandler = std::function<void(DISPID dispid, DISPPARAMS& params)>;

  // The reference that comes back is the caller's; null when out of memory.
  static TEventSink* Create(REFIID events, THandler handler);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* dispids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) override;

 private:
  TEventSink(REFIID events, THandler handler) : FEvents(events), FHandler(std::move(handler)) {}
  ~TEventSink() = default;

  std::atomic<ULONG> FRefs{1};
  IID FEvents;
  THandler FHandler;
};
