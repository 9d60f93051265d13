#pragma once
// A container's view of the control's events, for driving TBrindoluxCtrl
// without COM: the play states, display modes and user input it fired, and
// the live source's events, which come on its own thread.
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "ControlEvents.h"
#include "format/KRMFormat.h"

class TRecordingEvents : public TControlEvents {
 public:
  std::vector<TStatus> States;
  std::vector<TDisplayMode> Modes;
  std::vector<std::string> Input;  // clicks, mouse and keys, in order

  struct TLiveEvent {
    std::string Kind;   // sample, index, script, string
    std::wstring Text;  // the text; a sample's time
    DWORD Thread;
  };
  std::vector<TLiveEvent> LiveEvents() {
    std::lock_guard<std::mutex> guard(FLiveLock);
    return FLive;
  }
  size_t LiveCount(const std::string& Kind) {
    std::lock_guard<std::mutex> guard(FLiveLock);
    size_t n = 0;
    for (const TLiveEvent& e : FLive) n += e.Kind == Kind;
    return n;
  }

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
  void OnScript(const std::wstring& Text) override { Live("script", Text); }
  void OnIndex(const std::wstring& Text) override { Live("index", Text); }
  void OnStreamSample(const FrameRecord* Data) override { Live("sample", std::to_wstring(Data->Time)); }
  void OnString(const std::wstring& Text) override { Live("string", Text); }
  void OnMouseDown(int32_t B, int32_t X, int32_t Y) override { Input.push_back(Mouse("down", B, X, Y)); }
  void OnMouseMove(int32_t X, int32_t Y) override { Input.push_back(Mouse("move", -1, X, Y)); }
  void OnMouseUp(int32_t B, int32_t X, int32_t Y) override { Input.push_back(Mouse("up", B, X, Y)); }

 protected:
  void Live(const char* Kind, const std::wstring& Text) {
    std::lock_guard<std::mutex> guard(FLiveLock);
    FLive.push_back({Kind, Text, GetCurrentThreadId()});
  }

 private:
  std::mutex FLiveLock;
  std::vector<TLiveEvent> FLive;

  static std::string Mouse(const char* What, int32_t B, int32_t X, int32_t Y) {
    return std::string(What) + (B >= 0 ? " " + std::to_string(B) : "") + " " + std::to_string(X) + "," +
           std::to_string(Y);
  }
};
