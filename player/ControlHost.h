#pragma once
// Hosts one ActiveX control in a window of the program: creates it by class
// identifier through COM, gives it its saved state (or a new one), activates
// it in place at a rectangle of the parent window, connects an event sink,
// and at the end takes it down again in the order containers use.
//
// All calls on the thread that initialised COM as a single-threaded
// apartment and owns the parent window.
#include <windows.h>
#include <ocidl.h>

#include "ControlSite.h"
#include "EventSink.h"
#include "ole/ComPtr.h"

class TControlHost {
 public:
  TControlHost() = default;
  ~TControlHost() { Release(); }
  TControlHost(const TControlHost&) = delete;
  TControlHost& operator=(const TControlHost&) = delete;

  // bounds are in client pixels of parent; state, when given, is the stream
  // the control saved earlier (IPersistStreamInit), read from its position.
  HRESULT Create(REFCLSID clsid, HWND parent, const RECT& bounds, IStream* state = nullptr);
  // Moves and sizes the control.
  HRESULT SetBounds(const RECT& bounds);
  // Connects a sink for the control's event interface events; one sink at
  // a time (a second call replaces the first).
  HRESULT ConnectEvents(REFIID events, TEventSink::THandler handler);
  void DisconnectEvents();
  // Lets the control see a key message first while it is UI-active.
  bool TranslateAccelerator(MSG& msg);
  // Disconnects, deactivates, closes and releases the control; safe to call
  // more than once.
  void Release();

  bool Created() const { return static_cast<bool>(FObject); }
  IOleObject* Object() const { return FObject.Get(); }
  IDispatch* Dispatch() const { return FDispatch.Get(); }
  template <class T>
  HRESULT Query(TComPtr<T>& result) const {
    return FObject.As(result);
  }
  // The control's own window once it is in place, else null.
  HWND Window() const;

 private:
  TComPtr<TControlSite> FSite;
  TComPtr<IOleObject> FObject;
  TComPtr<IDispatch> FDispatch;
  TComPtr<IConnectionPoint> FEventsPoint;
  DWORD FEventsCookie = 0;
};
