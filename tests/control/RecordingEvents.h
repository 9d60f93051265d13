#pragma once
// A container's view of the control's events, for driving TBrindoluxCtrl
// without COM: the play states, display modes and user input it fired.
#include <string>
#include <vector>

#include "ControlEvents.h"

class TRecordingEvents : public TControlEvents {
 public:
  std::vector<TStatus> States;
  std::vector<TDisplayMode> Modes;
  std::vector<std::string> Input;  // clicks, mouse and keys, in order

  void OnActivate() override {}
  void OnClick() override { Input.push_back("click"); }
  void OnCreate() override {}
  void OnDblClick() override { Input.push_back("dblclick"); }
  void OnDestroy() override {}
  void OnDeactivate() override {}
  void OnKeyPress(int16_t& Key) override { Input.push_back("key " + std::to_string(Key)); }
  void OnPaint() override {}
  void OnSkip(int32_t) override {}
  void OnPlayStateChanged(TStatus NewState) override { States.push_back(NewState); }
  void OnPositionChanged(int32_t) override {}
  void OnDisplayModeChanged(TDisplayMode NewMode) override { Modes.push_back(NewMode); }
  void OnScript(const std::wstring&) override {}
  void OnIndex(const std::wstring&) override {}
  void OnStreamSample(const FrameRecord*) override {}
  void OnString(const std::wstring&) override {}
  void OnMouseDown(int32_t B, int32_t X, int32_t Y) override { Input.push_back(Mouse("down", B, X, Y)); }
  void OnMouseMove(int32_t X, int32_t Y) override { Input.push_back(Mouse("move", -1, X, Y)); }
  void OnMouseUp(int32_t B, int32_t X, int32_t Y) override { Input.push_back(Mouse("up", B, X, Y)); }

 private:
  static std::string Mouse(const char* What, int32_t B, int32_t X, int32_t Y) {
    return std::string(What) + (B >= 0 ? " " + std::to_string(B) : "") + " " + std::to_string(X) + "," +
           std::to_string(Y);
  }
};
