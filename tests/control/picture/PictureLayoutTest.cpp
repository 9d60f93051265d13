// Where the picture goes in the frame, and which part of it a dirty
// rectangle of the recording covers.
#include <gtest/gtest.h>

#include "picture/PictureLayout.h"

namespace {

std::string Text(const TPixelRect& r) {
  return "(" + std::to_string(r.Left) + ", " + std::to_string(r.Top) + ")-(" + std::to_string(r.Right) +
         ", " + std::to_string(r.Bottom) + ")";
}

TPictureLayout Fresh() {
  TPictureLayout current;
  current.Zoom = 1;
  return current;
}

}  // namespace

TEST(PictureLayoutTest, FitModeZoomsLargePicturesAndCentresThem) {
  struct TRow {
    int32_t W, H, w, h;
    int32_t Zoom, Left, Top, Width, Height;
  };
  const TRow rows[] = {
      {400, 300, 800, 600, 50, 0, 0, 400, 300},   // a tie: the width decides
      {500, 300, 800, 600, 50, 50, 0, 400, 300},  // by height
      {1000, 800, 800, 600, 100, 100, 100, 800, 600},
      {300, 600, 800, 600, 37, 2, 189, 296, 222},
      // Too large in one direction only.
      {900, 500, 800, 600, 83, 118, 1, 664, 498},
      // Smaller than the picture on both sides: the offsets go negative and
      // truncate toward zero.
      {1, 1, 3, 3, 33, 0, 0, 0, 0},
  };
  for (const TRow& r : rows) {
    SCOPED_TRACE(std::to_string(r.W) + "x" + std::to_string(r.H) + " frame, " + std::to_string(r.w) + "x" +
                 std::to_string(r.h) + " picture");
    const TPictureLayout out = LayoutPicture(r.W, r.H, r.w, r.h, LayoutFit, Fresh());
    ASSERT_TRUE(out.Apply);
    EXPECT_EQ(r.Zoom, out.Zoom);
    EXPECT_EQ(r.Left, out.Left);
    EXPECT_EQ(r.Top, out.Top);
    EXPECT_EQ(r.Width, out.Width);
    EXPECT_EQ(r.Height, out.Height);
    EXPECT_EQ(TScrollBarChange::Hide, out.HorzBar);
    EXPECT_EQ(TScrollBarChange::Hide, out.VertBar);
  }
}

TEST(PictureLayoutTest, OriginalSizeCentresOrScrollsAndKeepsZoom) {
  TPictureLayout current = Fresh();
  current.Zoom = 37;
  // Narrower than the frame, higher than it.
  TPictureLayout out = LayoutPicture(1000, 500, 800, 600, LayoutOriginal, current);
  EXPECT_EQ(100, out.Left);
  EXPECT_EQ(0, out.Top);
  EXPECT_EQ(800, out.Width);
  EXPECT_EQ(600, out.Height);
  EXPECT_EQ(37, out.Zoom);
  EXPECT_EQ(TScrollBarChange::Keep, out.HorzBar);
  EXPECT_EQ(TScrollBarChange::ShowAtZero, out.VertBar);
  EXPECT_TRUE(out.PositionsToZero);
  // Exactly as wide as the frame still needs the bar (w < W fails).
  out = LayoutPicture(800, 700, 800, 600, LayoutOriginal, current);
  EXPECT_EQ(0, out.Left);
  EXPECT_EQ(50, out.Top);
  EXPECT_EQ(TScrollBarChange::ShowAtZero, out.HorzBar);
  EXPECT_EQ(TScrollBarChange::Keep, out.VertBar);
}

TEST(PictureLayoutTest, NothingWithoutPictureSizeAndNoMoveInOtherModes) {
  TPictureLayout current = Fresh();
  current.Left = 7;
  current.Top = 8;
  current.Width = 9;
  current.Height = 10;
  EXPECT_FALSE(LayoutPicture(500, 500, 0, 600, LayoutFit, current).Apply);
  EXPECT_FALSE(LayoutPicture(500, 500, 800, -1, LayoutOriginal, current).Apply);
  const TPictureLayout full = LayoutPicture(500, 500, 800, 600, LayoutFull, current);
  EXPECT_TRUE(full.Apply);  // the bitmap is still renewed at the size it has
  EXPECT_EQ(7, full.Left);
  EXPECT_EQ(8, full.Top);
  EXPECT_EQ(9, full.Width);
  EXPECT_EQ(10, full.Height);
  EXPECT_EQ(1, full.Zoom);
}

TEST(PictureLayoutTest, DirtyRectanglesSnapToTheGridInFitMode) {
  struct TRow {
    TPixelRect In, Out;
  };
  const TRow rows[] = {
      {{130, 40, 250, 160}, {100, 0, 300, 200}},
      {{1000, 700, 1024, 768}, {1000, 700, 1024, 768}},
      {{100, 100, 200, 200}, {100, 100, 300, 300}},
      {{0, 0, 1, 1}, {0, 0, 100, 100}},
  };
  for (const TRow& r : rows) EXPECT_EQ(Text(r.Out), Text(SnapToGrid(r.In, 1024, 768))) << Text(r.In);
}

TEST(PictureLayoutTest, ZoomedRectangleStopsAtThePicture) {
  // 1024 x 768 at 37 %: the picture is 378 x 284.
  EXPECT_EQ(Text({37, 0, 111, 74}), Text(ZoomRect({100, 0, 300, 200}, 37, 378, 284)));
  EXPECT_EQ(Text({370, 259, 378, 284}), Text(ZoomRect({1000, 700, 1024, 768}, 37, 378, 284)));
  EXPECT_EQ(Text({100, 0, 300, 200}), Text(ZoomRect({100, 0, 300, 200}, 100, 1024, 768)));
}

TEST(PictureLayoutTest, MessagesDecodeAndUnite) {
  // Each field is 16 bits unsigned; the upper half of a 64-bit parameter is
  // not part of the rectangle.
  const TPixelRect r = DecodeDirtyRect(0xFFFF00010002ull, (uint64_t{1} << 40) | (0xFFFFull << 16) | 3);
  EXPECT_EQ(Text({1, 2, 65535, 3}), Text(r));
  EXPECT_EQ(Text({10, 5, 40, 60}), Text(UniteRect({10, 20, 30, 40}, {20, 5, 40, 60})));
  EXPECT_EQ(Text({10, 20, 30, 40}), Text(UniteRect({10, 20, 30, 40}, {50, 50, 50, 90})));
  EXPECT_EQ(Text({50, 50, 60, 90}), Text(UniteRect({}, {50, 50, 60, 90})));
}
