#pragma once
// The texts by which the full-screen window hands the viewer's keyboard and
// mouse to a live server, which replays them on the presenter's machine.
// Free of the platform: lines joined by CR LF, none after the last.
#include <cstdint>
#include <string>

// The mouse-event flags the server replays, as Windows numbers them.
enum : int32_t {
  RemoteLeftDown = 2,
  RemoteLeftUp = 4,
  RemoteRightDown = 8,
  RemoteRightUp = 16,
  RemoteMiddleDown = 32,
  RemoteMiddleUp = 64,
  // Move, absolute.
  RemoteMove = 32769,
};

// A key pressed (dwFlags 0) or released (dwFlags 2); Key is the virtual-key
// code as the window received it.
std::string KeyRequest(int32_t Key, bool Released);
std::string MouseRequest(int32_t Flags, int32_t X, int32_t Y);

struct TRemotePoint {
  int32_t X = 0, Y = 0;
};

// Where a point of the shown picture lies in the recording. At 100 % the
// picture is the recording and the point stays; below, it is scaled back by
// the picture's size, so a click lands on the presenter's screen where the
// viewer saw it.
TRemotePoint RemotePosition(int32_t X, int32_t Y, int32_t Zoom, int32_t PictureWidth, int32_t PictureHeight,
                            int32_t RecordingWidth, int32_t RecordingHeight);
