#include "KRMStream.h"

#include <cstring>
#include <new>

#include "base/EngineMessages.h"
#include "base/Exception.h"
#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/SystemText.h"
#include "render/PlayThread.h"

TKRMStream::~TKRMStream() {
  // Before this object's part is gone: the loop must never run one of its
  // hooks on a half-destroyed stream.
  Stop();
  EndThread();
}

void TKRMStream::HandleStop() {
  TKRMTCPClient::HandleStop();
  Context()->FramesBuffer->Clear();
}

void TKRMStream::DoOpened(int Width, int Height) {
  TKRMTCPClient::DoOpened(Width, Height);
  if (Width < 0 || Width > 65535 || Height < 0 || Height > 65535) throw Exception("Range check error");
  PlayerContext* context = Context();
  context->Header.Width = static_cast<uint16_t>(Width);
  context->Header.Height = static_cast<uint16_t>(Height);
  PostToWindow(WM_KRM_OPENED, 0, 0);
}

void TKRMStream::DoError(int Code) { PostToWindow(WM_KRM_ERROR, static_cast<WPARAM>(Code), 0); }

void TKRMStream::DoSample(const FrameRecord* Frame) {
  if (TControlEvents* sink = Sink()) sink->OnStreamSample(Frame);
  PlayerContext* context = Context();
  FrameRecord* copy = AllocFrameRecord(Frame->Length);
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, Frame, static_cast<size_t>(FrameBlockSize(Frame)));
  const uint32_t time = copy->Time;
  const bool key = copy->FrameType == FT_KEY;
  try {
    context->FramesBuffer->Add(copy);
  } catch (...) {
    FreeFrameRecord(copy);
    throw;
  }
  if (key) context->IndexTable->Add(time, true, 0);
  if (context->FramesBuffer->TotalBytes() > TrimBytes && context->PlayThread)
    context->PlayThread->TrimBuffer(1);
}

void TKRMStream::DoIndex(const std::string& Text) {
  if (TControlEvents* sink = Sink()) sink->OnIndex(AnsiToWide(Text));
}

void TKRMStream::DoScript(const std::string& Text) {
  if (TControlEvents* sink = Sink()) sink->OnScript(AnsiToWide(Text));
}

void TKRMStream::DoString(const std::string& Text) {
  if (TControlEvents* sink = Sink()) sink->OnString(AnsiToWide(Text));
}
