#pragma once
// The control's live adapter: the live TCP source as the control uses it.
// It fills the play context from the stream, reports the stream's opening
// and failures to the control's window, hands every frame record and text
// to the container as events, and keeps the frame buffer from growing
// without bound.
//
// Its hooks run on the source thread, so the four stream events reach the
// container on that thread, unmarshalled: a container may read a sample's
// record only during the call.
#include <cstdint>

#include "ControlEvents.h"
#include "source/KRMTCPClient.h"

class TKRMStream : public TKRMTCPClient {
 public:
  // Past this many buffered bytes the play thread is asked to drop what
  // lies before the newest key frame.
  static constexpr int32_t TrimBytes = 15728640;

  using TKRMTCPClient::TKRMTCPClient;
  ~TKRMStream() override;

  // The control's sink as it stands at the open, possibly null; set before
  // Open. No reference is taken: the sink is the control's own connection
  // point, which outlives the stream.
  void SetEvents(TControlEvents* Events) { FEvents = Events; }

 protected:
  void HandleStop() override;
  void DoOpened(int Width, int Height) override;
  void DoError(int Code) override;
  void DoSample(const FrameRecord* Frame) override;
  void DoIndex(const std::string& Text) override;
  void DoScript(const std::string& Text) override;
  void DoString(const std::string& Text) override;

 private:
  // Null once the source is being stopped: nothing is fired after that.
  TControlEvents* Sink() const { return Aborted() ? nullptr : FEvents; }

  TControlEvents* FEvents = nullptr;
};
