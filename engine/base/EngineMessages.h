#pragma once
// The engine's messages. All of them are posted, never sent.
//
// Thread commands go to a thread's own message queue (no window): the control
// commands the source and play threads, a source answers the play thread, a
// multicast source commands its receive threads. Window messages go from the
// engine's threads to the control's window (PlayerContext::Window).
//
// Two numbers mean different things to different receivers:
//   1028 is WM_KRM_SEEK both to a source thread (read from the key frame at or
//        before the time) and to the play thread (seek the playback);
//   1035 is WM_KRM_RECV_STOP to a multicast receive thread and WM_KRM_REPAINT
//        to the play thread.
// A receiver only ever sees the meaning meant for it.
//
// Heap blocks: WM_KRM_SEND carries a block made with std::malloc; the message
// owns it in flight and its receiver frees it with std::free, also when it
// discards the message unhandled.
#include <windows.h>

// Thread commands.
constexpr UINT WM_KRM_OPEN = 1025;        // source: wParam 0, lParam 0
constexpr UINT WM_KRM_READ = 1027;        // source: wParam = target time in ms (signed), -1 = read on
constexpr UINT WM_KRM_SEEK = 1028;        // source or play thread: wParam = time in ms
constexpr UINT WM_KRM_FRAMEREADY = 1029;  // play thread: wParam = index in FramesBuffer
constexpr UINT WM_KRM_STOP = 1030;        // source or play thread; the receiver then signals its event
constexpr UINT WM_KRM_PLAY = 1031;        // play thread
constexpr UINT WM_KRM_PAUSE = 1032;       // play thread (the sender waits on its event)
constexpr UINT WM_KRM_FAST = 1033;        // play thread: double the speed, at most 32
constexpr UINT WM_KRM_RECV_START = 1034;  // multicast receive thread (the sender waits)
constexpr UINT WM_KRM_RECV_STOP = 1035;   // multicast receive thread (the sender waits)
constexpr UINT WM_KRM_REPAINT = 1035;     // play thread: post a whole-picture dirty rectangle
constexpr UINT WM_KRM_SEND = 1040;        // source: wParam = malloc'd text block, lParam = its length
constexpr UINT WM_KRM_TRIM = 1042;        // play thread: wParam ignored

// Window messages to the control.
constexpr UINT WM_KRM_OPENED = 1026;     // the picture size is in PlayerContext::Header
constexpr UINT WM_KRM_ERROR = 1036;      // wParam = error code 1..15
constexpr UINT WM_KRM_MARKER = 1037;     // a marker record was reached
constexpr UINT WM_KRM_DIRTYRECT = 1038;  // wParam = left << 16 | top, lParam = right << 16 | bottom
constexpr UINT WM_KRM_POSITION = 1039;   // wParam = new position in ms; the control ignores it
constexpr UINT WM_KRM_END = 1043;        // the recording's duration was reached

// The band of numbers a stop command clears from a source thread's queue.
constexpr UINT WM_KRM_FIRST = 0x400;
constexpr UINT WM_KRM_LAST = 0x414;
