#pragma once
// What the control tells its container. The COM side implements it over the
// connection point of IBrindoluxEvents; the control calls it only while a
// sink is attached (TBrindoluxCtrl::AttachEventSink), so an implementation
// may assume a connected container.
//
// OnScript, OnIndex, OnStreamSample and OnString come from the live source's
// own thread, without marshalling; every other event comes on the container's
// user-interface thread inside the call, message or timer that causes it.
#include <cstdint>
#include <string>

#include "BrindoluxTLB.h"  // TStatus, TDisplayMode

struct FrameRecord;

class TControlEvents {
 public:
  virtual ~TControlEvents() = default;

  virtual void OnActivate() = 0;
  virtual void OnClick() = 0;
  virtual void OnCreate() = 0;
  virtual void OnDblClick() = 0;
  virtual void OnDestroy() = 0;
  virtual void OnDeactivate() = 0;
  // The key character; what the container leaves in Key replaces it.
  virtual void OnKeyPress(int16_t& Key) = 0;
  virtual void OnPaint() = 0;
  virtual void OnSkip(int32_t Seconds) = 0;
  virtual void OnPlayStateChanged(TStatus NewState) = 0;
  virtual void OnPositionChanged(int32_t NewPosition) = 0;
  virtual void OnDisplayModeChanged(TDisplayMode NewMode) = 0;
  virtual void OnScript(const std::wstring& Script) = 0;
  virtual void OnIndex(const std::wstring& Index) = 0;
  // The record lives only during the call. The type library declares the
  // argument as a 32-bit integer: the COM side passes the address in it.
  virtual void OnStreamSample(const FrameRecord* Data) = 0;
  virtual void OnString(const std::wstring& Str) = 0;
  // Button: 0 left, 1 right, 2 middle; X and Y in pixels of the window that
  // received the mouse event.
  virtual void OnMouseDown(int32_t Button, int32_t X, int32_t Y) = 0;
  virtual void OnMouseMove(int32_t X, int32_t Y) = 0;
  virtual void OnMouseUp(int32_t Button, int32_t X, int32_t Y) = 0;
};
