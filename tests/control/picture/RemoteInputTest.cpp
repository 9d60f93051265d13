// The request texts of remote input, byte for byte, and the position a click
// carries when the full-screen picture is scaled down.
#include <gtest/gtest.h>

#include "picture/RemoteInput.h"

TEST(RemoteInputTest, RequestTexts) {
  struct TRow {
    std::string Text;
    std::string Expected;
  };
  const std::string mouse = "REQUEST\r\nCommand=MOUSE_EVENT\r\ndwFlags=";
  const std::string at = "\r\ndx=100\r\ndy=50\r\ndwData=0";
  const TRow rows[] = {
      {KeyRequest(65, false), "REQUEST\r\nCommand=KEYBD_EVENT\r\nbVk=65\r\nbScan=0\r\ndwFlags=0"},
      {KeyRequest(65, true), "REQUEST\r\nCommand=KEYBD_EVENT\r\nbVk=65\r\nbScan=0\r\ndwFlags=2"},
      {KeyRequest(118, false), "REQUEST\r\nCommand=KEYBD_EVENT\r\nbVk=118\r\nbScan=0\r\ndwFlags=0"},
      {KeyRequest(118, true), "REQUEST\r\nCommand=KEYBD_EVENT\r\nbVk=118\r\nbScan=0\r\ndwFlags=2"},
      {MouseRequest(RemoteLeftDown, 100, 50), mouse + "2" + at},
      {MouseRequest(RemoteLeftUp, 100, 50), mouse + "4" + at},
      {MouseRequest(RemoteRightDown, 100, 50), mouse + "8" + at},
      {MouseRequest(RemoteRightUp, 100, 50), mouse + "16" + at},
      {MouseRequest(RemoteMiddleDown, 100, 50), mouse + "32" + at},
      {MouseRequest(RemoteMiddleUp, 100, 50), mouse + "64" + at},
      {MouseRequest(RemoteMove, 100, 50), mouse + "32769" + at},
      // Positions left of or above the picture are negative, as the window
      // reports them.
      {MouseRequest(RemoteMove, -3, -7), mouse + "32769\r\ndx=-3\r\ndy=-7\r\ndwData=0"},
  };
  for (const TRow& row : rows) EXPECT_EQ(row.Text, row.Expected);
  EXPECT_EQ(KeyRequest(65, false).size(), 56u);
  EXPECT_EQ(MouseRequest(RemoteLeftDown, 100, 50).size(), 64u);
}

TEST(RemoteInputTest, PositionsAreRecordingPixelsBelowFullSize) {
  struct TRow {
    int32_t X, Y, Zoom, PicW, PicH, RecW, RecH;
    int32_t DX, DY;
  };
  const TRow rows[] = {
      {640, 480, 80, 1280, 960, 1600, 1200, 800, 600},  // 80 %
      {1279, 959, 80, 1280, 960, 1600, 1200, 1598, 1198},
      {100, 50, 100, 640, 480, 640, 480, 100, 50},  // 1:1 stays
      {100, 50, 66, 1267, 712, 1920, 1080, 151, 75},
  };
  for (const TRow& row : rows) {
    const TRemotePoint p = RemotePosition(row.X, row.Y, row.Zoom, row.PicW, row.PicH, row.RecW, row.RecH);
    EXPECT_EQ(p.X, row.DX) << row.X << "," << row.Y << " at " << row.Zoom;
    EXPECT_EQ(p.Y, row.DY) << row.X << "," << row.Y << " at " << row.Zoom;
  }
}
