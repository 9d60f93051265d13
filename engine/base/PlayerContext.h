#pragma once
// The play context: what the control shares with the engine's threads. The
// control owns it (a field of itself) and hands the threads a pointer. No lock
// guards the record itself; the three buffers lock themselves.
#include <windows.h>

#include "format/KRMFormat.h"

class TFramesBuffer;
class TKeyFramesBuffer;
class TIndexTable;
class TReadThread;
class TPlayThread;

struct PlayerContext {
  // Copy of the recording header. The file source fills it on open; live and
  // multicast sources set only width and height; the control zeroes it on close.
  KRMFileHeader Header;
  TFramesBuffer* FramesBuffer;
  TKeyFramesBuffer* KeyFramesBuffer;
  TIndexTable* IndexTable;
  // Set by the control right after creating the source, before Open.
  TReadThread* ReadThread;
  // Set by the control when it creates the play thread on WM_KRM_OPENED.
  TPlayThread* PlayThread;
  // The control's window: target of every window message.
  HWND Window;
};
