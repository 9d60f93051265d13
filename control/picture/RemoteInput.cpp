#include "picture/RemoteInput.h"

std::string KeyRequest(int32_t Key, bool Released) {
  return "REQUEST\r\nCommand=KEYBD_EVENT\r\nbVk=" + std::to_string(Key) + "\r\nbScan=0\r\ndwFlags=" +
         (Released ? "2" : "0");
}

std::string MouseRequest(int32_t Flags, int32_t X, int32_t Y) {
  return "REQUEST\r\nCommand=MOUSE_EVENT\r\ndwFlags=" + std::to_string(Flags) + "\r\ndx=" + std::to_string(X) +
         "\r\ndy=" + std::to_string(Y) + "\r\ndwData=0";
}

TRemotePoint RemotePosition(int32_t X, int32_t Y, int32_t Zoom, int32_t PictureWidth, int32_t PictureHeight,
                            int32_t RecordingWidth, int32_t RecordingHeight) {
  if (Zoom >= 100 || PictureWidth <= 0 || PictureHeight <= 0) return {X, Y};
  // 64 bits: a position times a recording size may pass the 32-bit range.
  return {static_cast<int32_t>(int64_t{X} * RecordingWidth / PictureWidth),
          static_cast<int32_t>(int64_t{Y} * RecordingHeight / PictureHeight)};
}
