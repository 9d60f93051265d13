#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "render/BackBuffer.h"
#include "render/BitmapImage.h"
#include "base/Exception.h"
#include "KrmWriter.h"

namespace {

void PutU16(Bytes& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void PutU32(Bytes& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// A BMP file image of any bit count, bottom-up. Palette entries are 0x00RRGGBB;
// pixel answers a palette index (bit counts up to 8) or nothing (zero rows).
Bytes PaletteBmp(int width, int height, int bits, const std::vector<uint32_t>& palette,
                 const std::function<int(int, int)>& pixel = nullptr, uint32_t compression = 0,
                 uint32_t maskBytes = 0) {
  const uint32_t stride = uint32_t(BmpRowBytes(width, bits));
  const uint32_t offBits = 54 + 4 * uint32_t(palette.size()) + maskBytes;
  Bytes out;
  out.push_back('B');
  out.push_back('M');
  PutU32(out, offBits + stride * height);
  PutU32(out, 0);
  PutU32(out, offBits);
  PutU32(out, 40);
  PutU32(out, uint32_t(width));
  PutU32(out, uint32_t(height));
  PutU16(out, 1);
  PutU16(out, uint32_t(bits));
  PutU32(out, compression);
  PutU32(out, stride * height);
  PutU32(out, 0);
  PutU32(out, 0);
  PutU32(out, uint32_t(palette.size()));
  PutU32(out, 0);
  for (uint32_t c : palette) PutU32(out, c);
  out.insert(out.end(), maskBytes, 0xFF);
  for (int row = height - 1; row >= 0; --row) {
    Bytes line(stride, 0);
    if (pixel && bits <= 8)
      for (int x = 0; x < width; ++x) {
        const int bit = x * bits;
        line[bit / 8] |= uint8_t(pixel(x, row) << (8 - bits - bit % 8));
      }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

// Header fields of a BMP file image, to break one at a time.
void SetU16(Bytes& image, size_t offset, uint16_t v) { std::memcpy(&image[offset], &v, 2); }
void SetU32(Bytes& image, size_t offset, uint32_t v) { std::memcpy(&image[offset], &v, 4); }

FrameRecord Record(int16_t type, uint16_t x, uint16_t y, uint16_t cursorX = 0, uint16_t cursorY = 0,
                   uint32_t length = 1) {
  FrameRecord r = {};
  r.FrameType = type;
  r.X = x;
  r.Y = y;
  r.CursorX = cursorX;
  r.CursorY = cursorY;
  r.Length = length;
  return r;
}

struct Bgr {
  uint8_t B, G, R;
  bool operator==(const Bgr& o) const { return B == o.B && G == o.G && R == o.R; }
};
std::ostream& operator<<(std::ostream& os, const Bgr& c) {
  return os << "(b" << int(c.B) << " g" << int(c.G) << " r" << int(c.R) << ")";
}
const Bgr kBlack{0, 0, 0}, kWhite{255, 255, 255}, kGreen{0, 200, 0}, kBlue{200, 0, 0};

std::string Str(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}
std::string Str(LONG l, LONG t, LONG r, LONG b) { return Str(RECT{l, t, r, b}); }

// The default cursor's tip is its top-left pixel, drawn black; (1, 5) lies
// in the white fill; the bottom-right corner is transparent.
constexpr int kCursorSize = 44;

class BackBufferTest : public ::testing::Test {
 protected:
  void Draw(const FrameRecord& r, const Bytes& image) {
    FBuffer.Lock();
    try {
      FBuffer.DrawFrame(r, image.empty() ? nullptr : image.data(), uint32_t(image.size()));
    } catch (...) {
      FBuffer.Unlock();
      throw;
    }
    FBuffer.Unlock();
  }
  Bgr Pixel(int x, int y) {
    GdiFlush();
    const uint8_t* p = FBuffer.Bits() + size_t(y) * FBuffer.RowBytes() + size_t(x) * 3;
    return {p[0], p[1], p[2]};
  }
  RECT TakeDirty() {
    RECT r;
    FBuffer.GetDirtyRect(r, true);
    return r;
  }
  void Key(const TestPicture& picture, uint16_t cursorX = 0, uint16_t cursorY = 0) {
    Draw(Record(FT_KEY, 0, 0, cursorX, cursorY), BmpFileImage(picture));
  }

  TBackBuffer FBuffer;
};

TEST(BitmapImageCheck, RulesPerUse) {
  const Bytes rgb = BmpFileImage(TestPicture::Gradient(5, 3));
  const Bytes bits4 = PaletteBmp(44, 44, 4, std::vector<uint32_t>(16));
  const Bytes bits8 = PaletteBmp(3, 2, 8, std::vector<uint32_t>(256));
  const Bytes wide1 = PaletteBmp(65535, 1, 1, {0, 0xFFFFFF});
  const Bytes masks16 = PaletteBmp(4, 2, 16, {}, nullptr, 3, 12);
  const auto with = [](Bytes image, const std::function<void(Bytes&)>& change) {
    change(image);
    return image;
  };
  struct Case {
    const char* name;
    Bytes image;
    bool patch, firstKey, cursor;
  };
  const Case cases[] = {
      {"24-bit bottom-up", rgb, true, true, true},
      {"24-bit top-down", BmpFileImage(TestPicture::Gradient(5, 3), 24, true), true, true, true},
      {"32-bit", BmpFileImage(TestPicture::Gradient(2, 2), 32), true, true, true},
      {"16-bit with masks", masks16, true, true, true},
      {"4-bit is a cursor only", bits4, false, false, true},
      {"8-bit cannot set up the picture", bits8, true, false, true},
      {"1-bit 65,535 wide", wide1, true, false, true},
      {"65,536 wide", with(wide1, [](Bytes& b) { SetU32(b, 18, 65536); }), false, false, false},
      {"no BM", with(rgb, [](Bytes& b) { b[0] = 'M'; }), false, false, false},
      {"offset inside headers", with(rgb, [](Bytes& b) { SetU32(b, 10, 53); }), false, false, false},
      {"offset past end", with(rgb, [&](Bytes& b) { SetU32(b, 10, uint32_t(b.size()) + 1); }), false, false,
       false},
      {"core header", with(rgb, [](Bytes& b) { SetU32(b, 14, 12); }), false, false, false},
      {"width 0", with(rgb, [](Bytes& b) { SetU32(b, 18, 0); }), false, false, false},
      {"width -5", with(rgb, [](Bytes& b) { SetU32(b, 18, uint32_t(-5)); }), false, false, false},
      {"height 0", with(rgb, [](Bytes& b) { SetU32(b, 22, 0); }), false, false, false},
      {"height -65,536", with(rgb, [](Bytes& b) { SetU32(b, 22, uint32_t(-65536)); }), false, false, false},
      {"last row one byte short", with(rgb, [](Bytes& b) { b.pop_back(); }), false, false, false},
      // 32768 x 32768 x 4 bytes is exactly 2^32: 32-bit arithmetic would see 0.
      {"rows wrap 32 bits",
       with(BmpFileImage(TestPicture(1, 1), 32),
            [](Bytes& b) {
              SetU32(b, 18, 32768);
              SetU32(b, 22, 32768);
            }),
       false, false, false},
      {"2 bits per pixel", with(bits4, [](Bytes& b) { SetU16(b, 28, 2); }), false, false, false},
      {"RLE compressed", with(bits8, [](Bytes& b) { SetU32(b, 30, 1); }), false, false, false},
      {"24-bit bit fields", with(rgb, [](Bytes& b) { SetU32(b, 30, 3); }), false, false, false},
      {"colour table over rows", with(bits8, [](Bytes& b) { SetU32(b, 10, 54 + 255 * 4); }), false, false,
       false},
      {"more colours than bits allow", with(bits4, [](Bytes& b) { SetU32(b, 46, 17); }), false, false, false},
      {"headers cut", Bytes(rgb.begin(), rgb.begin() + 53), false, false, false},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(CheckBitmapImage(c.image.data(), uint32_t(c.image.size()), TBitmapUse::Patch, why), c.patch)
        << c.name << ": " << why;
    EXPECT_EQ(CheckBitmapImage(c.image.data(), uint32_t(c.image.size()), TBitmapUse::FirstKey, why),
              c.firstKey)
        << c.name << ": " << why;
    EXPECT_EQ(CheckBitmapImage(c.image.data(), uint32_t(c.image.size()), TBitmapUse::Cursor, why), c.cursor)
        << c.name << ": " << why;
    if (!c.cursor) {
      EXPECT_FALSE(why.empty()) << c.name;
    }
  }
  std::string why;
  EXPECT_FALSE(CheckBitmapImage(nullptr, 100, TBitmapUse::Cursor, why));
}

TEST_F(BackBufferTest, FirstKeyFrameSetsUpTopDownPicture) {
  struct Case {
    int width, height;
    uint32_t rowBytes;
  } const cases[] = {{1024, 768, 3072}, {1023, 768, 3072}, {3, 2, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    FBuffer.Init(0, 0);
    ASSERT_FALSE(FBuffer.Active());
    // Nothing but a key frame can set up the picture.
    Draw(Record(FT_XOR, 0, 0), BmpFileImage(TestPicture(c.width, c.height)));
    Draw(Record(FT_CURSOR, 5, 5, 0, 0, 0), {});
    ASSERT_FALSE(FBuffer.Active());

    TestPicture picture(c.width, c.height, 10, 20, 30);
    picture.SetPixel(0, 0, 1, 2, 3);
    picture.SetPixel(c.width - 1, c.height - 1, 4, 5, 6);
    Key(picture);
    ASSERT_TRUE(FBuffer.Active());
    EXPECT_EQ(FBuffer.Width(), c.width);
    EXPECT_EQ(FBuffer.Height(), c.height);
    EXPECT_EQ(FBuffer.RowBytes(), c.rowBytes);
    EXPECT_EQ(FBuffer.BytesPerPixel(), 3u);
    // Top row first in memory, although the image was stored bottom-up.
    EXPECT_EQ(Pixel(0, 0), (Bgr{1, 2, 3}));
    EXPECT_EQ(Pixel(c.width - 1, c.height - 1), (Bgr{4, 5, 6}));
    EXPECT_EQ(Pixel(1, 0), (Bgr{10, 20, 30}));
    EXPECT_EQ(Str(TakeDirty()), Str(0, 0, c.width, c.height));
  }
}

TEST_F(BackBufferTest, InitGivesPictureOfHeaderSize) {
  FBuffer.Init(1023, 768);
  ASSERT_TRUE(FBuffer.Active());
  EXPECT_EQ(FBuffer.RowBytes(), 3072u);
  EXPECT_EQ(FBuffer.Height(), 768);
  RECT dirty;
  FBuffer.GetDirtyRect(dirty, false);
  EXPECT_EQ(Str(dirty), Str(0, 0, 0, 0));
  FBuffer.Release();
  EXPECT_FALSE(FBuffer.Active());

  // Past 2 GiB of pixels the section's sizes would wrap, at 44,000 x 44,000
  // to a fraction of the pixels: refused, and nothing is left made.
  for (int side : {65535, 44000}) {
    SCOPED_TRACE(side);
    try {
      FBuffer.Init(side, side);
      ADD_FAILURE() << "made";
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find("too large"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(FBuffer.Active());
  }
}

TEST_F(BackBufferTest, CopiedPatchLandsAtItsPlaceAndMarksItsRectangle) {
  FBuffer.Init(200, 100);
  const TestPicture patch = TestPicture::Gradient(100, 50);
  Draw(Record(FT_COPY, 10, 20), BmpFileImage(patch));
  for (auto [px, py] : {std::pair{0, 0}, {99, 0}, {0, 49}, {57, 31}}) {
    const uint8_t* p = patch.Pixel(px, py);
    EXPECT_EQ(Pixel(10 + px, 20 + py), (Bgr{p[0], p[1], p[2]})) << px << "," << py;
  }
  EXPECT_EQ(Pixel(9, 20), kBlack);
  EXPECT_EQ(Pixel(110, 20), kBlack);

  RECT dirty;
  FBuffer.GetDirtyRect(dirty, false);
  EXPECT_EQ(Str(dirty), Str(10, 20, 110, 70));
  FBuffer.GetDirtyRect(dirty, true);
  EXPECT_EQ(Str(dirty), Str(10, 20, 110, 70));
  FBuffer.GetDirtyRect(dirty, true);
  EXPECT_EQ(Str(dirty), Str(0, 0, 0, 0));
}

TEST_F(BackBufferTest, DirtyRectangleIsClippedUnion) {
  FBuffer.Init(200, 100);
  // A patch hanging over the bottom-right corner counts only inside.
  Draw(Record(FT_COPY, 180, 90), BmpFileImage(TestPicture(50, 30, 1, 1, 1)));
  EXPECT_EQ(Pixel(199, 99), (Bgr{1, 1, 1}));
  RECT dirty;
  FBuffer.GetDirtyRect(dirty, false);
  EXPECT_EQ(Str(dirty), Str(180, 90, 200, 100));
  Draw(Record(FT_COPY, 5, 7), BmpFileImage(TestPicture(10, 10)));
  EXPECT_EQ(Str(TakeDirty()), Str(5, 7, 200, 100));

  // Rectangles wholly outside, or empty, add nothing.
  FBuffer.AddDirtyRect({250, 10, 300, 20});
  FBuffer.AddDirtyRect({-30, -30, -1, 50});
  FBuffer.AddDirtyRect({40, 40, 40, 60});
  EXPECT_EQ(Str(TakeDirty()), Str(0, 0, 0, 0));
  FBuffer.AddDirtyRect({-30, -30, 20, 10});
  EXPECT_EQ(Str(TakeDirty()), Str(0, 0, 20, 10));
}

TEST_F(BackBufferTest, ExclusiveOrTwiceRestoresPicture) {
  FBuffer.Init(64, 48);
  const TestPicture base = TestPicture::Gradient(64, 48);
  Key(base);
  TestPicture delta(20, 10, 0x0F, 0xF0, 0x55);
  delta.SetPixel(0, 0, 0xFF, 0xFF, 0xFF);
  const Bytes image = BmpFileImage(delta);

  Draw(Record(FT_XOR, 30, 5), image);
  const uint8_t* b = base.Pixel(30, 5);
  EXPECT_EQ(Pixel(30, 5), (Bgr{uint8_t(b[0] ^ 0xFF), uint8_t(b[1] ^ 0xFF), uint8_t(b[2] ^ 0xFF)}));
  b = base.Pixel(31, 6);
  EXPECT_EQ(Pixel(31, 6), (Bgr{uint8_t(b[0] ^ 0x0F), uint8_t(b[1] ^ 0xF0), uint8_t(b[2] ^ 0x55)}));

  Draw(Record(FT_XOR, 30, 5), image);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t* p = base.Pixel(x, y);
      ASSERT_EQ(Pixel(x, y), (Bgr{p[0], p[1], p[2]})) << x << "," << y;
    }
}

TEST_F(BackBufferTest, PictureRecordMovesCursorAndItsBackgroundComesBack) {
  FBuffer.Init(200, 150);
  const TestPicture base = TestPicture::Gradient(200, 150);
  Key(base, 50, 40);
  ASSERT_TRUE(FBuffer.Mouse()->Shown());
  EXPECT_EQ(FBuffer.Mouse()->Width(), kCursorSize);
  EXPECT_EQ(FBuffer.Mouse()->Height(), kCursorSize);
  EXPECT_EQ(Pixel(50, 40), kBlack);
  EXPECT_EQ(Pixel(51, 45), kWhite);
  const uint8_t* b = base.Pixel(93, 83);
  EXPECT_EQ(Pixel(93, 83), (Bgr{b[0], b[1], b[2]})) << "red is transparent";
  EXPECT_EQ(Str(TakeDirty()), Str(0, 0, 200, 150));

  // A cursor update moves it: the old place shows the picture again.
  Draw(Record(FT_CURSOR, 120, 90, 0, 0, 0), {});
  EXPECT_EQ(Pixel(120, 90), kBlack);
  for (auto [x, y] : {std::pair{50, 40}, {51, 45}, {52, 60}}) {
    b = base.Pixel(x, y);
    EXPECT_EQ(Pixel(x, y), (Bgr{b[0], b[1], b[2]})) << x << "," << y;
  }
  EXPECT_EQ(Str(TakeDirty()), Str(50, 40, 164, 134));
}

TEST_F(BackBufferTest, PatchOverCursorLeavesCursorOnTop) {
  FBuffer.Init(200, 150);
  Key(TestPicture(200, 150, kGreen.B, kGreen.G, kGreen.R), 50, 40);
  TakeDirty();

  // A copied patch that covers the cursor's top-left part, no cursor move.
  Draw(Record(FT_COPY, 30, 30), BmpFileImage(TestPicture(40, 40, kBlue.B, kBlue.G, kBlue.R)));
  EXPECT_EQ(Pixel(50, 40), kBlack);
  EXPECT_EQ(Pixel(51, 45), kWhite);
  EXPECT_EQ(Pixel(60, 41), kBlue) << "transparent cursor pixel shows the new patch";
  EXPECT_EQ(Pixel(30, 30), kBlue);
  EXPECT_EQ(Pixel(93, 83), kGreen);
  EXPECT_EQ(Str(TakeDirty()), Str(30, 30, 94, 84));

  // The saved background is the new picture: hiding shows the patch.
  Draw(Record(FT_CURSOR, 0, 0, 0, 0, 0), {});
  EXPECT_FALSE(FBuffer.Mouse()->Shown());
  EXPECT_EQ(Pixel(50, 40), kBlue);
  EXPECT_EQ(Pixel(51, 45), kBlue);
  EXPECT_EQ(Pixel(75, 45), kGreen);

  // A key frame over the whole picture also keeps the cursor on top.
  Draw(Record(FT_CURSOR, 10, 10, 0, 0, 0), {});
  TakeDirty();
  Key(TestPicture(200, 150, 7, 7, 7));
  EXPECT_EQ(Pixel(10, 10), kBlack);
  EXPECT_EQ(Pixel(11, 15), kWhite);
  EXPECT_EQ(Pixel(9, 10), (Bgr{7, 7, 7}));
  EXPECT_EQ(Str(TakeDirty()), Str(0, 0, 200, 150));
}

TEST_F(BackBufferTest, CursorUpdatesHideOrAreIgnoredOutsidePicture) {
  FBuffer.Init(200, 150);
  const TestPicture base = TestPicture::Gradient(200, 150);
  struct Case {
    const char* name;
    uint16_t x, y;
    bool shown;
    int32_t cursorX, cursorY;
    const char* dirty;
  } const cases[] = {
      {"x at the right edge", 200, 10, true, 50, 40, "(0,0,0,0)"},
      {"y at the bottom edge", 10, 150, true, 50, 40, "(0,0,0,0)"},
      {"both far outside", 60000, 60000, true, 50, 40, "(0,0,0,0)"},
      {"0, 0 hides", 0, 0, false, 50, 40, "(50,40,94,84)"},
      {"last pixel shows", 199, 149, true, 199, 149, "(50,40,200,150)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Key(base, 50, 40);
    TakeDirty();
    Draw(Record(FT_CURSOR, c.x, c.y, 0, 0, 0), {});
    EXPECT_EQ(FBuffer.Mouse()->Shown(), c.shown);
    EXPECT_EQ(FBuffer.Mouse()->X(), c.cursorX);
    EXPECT_EQ(FBuffer.Mouse()->Y(), c.cursorY);
    EXPECT_EQ(Str(TakeDirty()), c.dirty);
    const uint8_t* b = base.Pixel(50, 40);
    if (c.shown && c.cursorX == 50) {
      EXPECT_EQ(Pixel(50, 40), kBlack);
    } else {
      EXPECT_EQ(Pixel(50, 40), (Bgr{b[0], b[1], b[2]}));
    }
  }
}

TEST_F(BackBufferTest, CursorUpdateWithImageReplacesCursorPicture) {
  FBuffer.Init(200, 150);
  Key(TestPicture(200, 150, kGreen.B, kGreen.G, kGreen.R), 50, 40);

  // Same size: only the pixels change. White with a red (transparent)
  // column; the default picture's colours survive its 4 bits.
  const Bytes sameSize = PaletteBmp(kCursorSize, kCursorSize, 8, {0xFFFFFF, 0xFF0000},
                                    [](int x, int) { return x == 43 ? 1 : 0; });
  Draw(Record(FT_CURSOR, 60, 50, 0, 0, uint32_t(sameSize.size())), sameSize);
  EXPECT_EQ(FBuffer.Mouse()->Width(), kCursorSize);
  EXPECT_EQ(Pixel(60, 50), kWhite);
  EXPECT_EQ(Pixel(60 + 42, 50 + 43), kWhite);
  EXPECT_EQ(Pixel(60 + 43, 50 + 43), kGreen);
  EXPECT_EQ(Pixel(50, 40), kGreen) << "old place restored";

  // Another size: a 4-bit 8 x 6 picture, white in its top row only.
  const Bytes small = PaletteBmp(8, 6, 4, {0xFF0000, 0xFFFFFF}, [](int, int y) { return y == 0 ? 1 : 0; });
  TakeDirty();
  Draw(Record(FT_CURSOR, 10, 10, 0, 0, uint32_t(small.size())), small);
  EXPECT_EQ(FBuffer.Mouse()->Width(), 8);
  EXPECT_EQ(FBuffer.Mouse()->Height(), 6);
  EXPECT_EQ(Pixel(10, 10), kWhite);
  EXPECT_EQ(Pixel(17, 10), kWhite);
  EXPECT_EQ(Pixel(18, 10), kGreen);
  EXPECT_EQ(Pixel(10, 11), kGreen);
  EXPECT_EQ(Pixel(60, 50), kGreen);
  // The old 44 x 44 cursor and the new 8 x 6 one.
  EXPECT_EQ(Str(TakeDirty()), Str(10, 10, 104, 94));

  // A cursor image that cannot be drawn changes nothing.
  Bytes broken = small;
  broken.resize(broken.size() - 1);
  EXPECT_THROW(Draw(Record(FT_CURSOR, 10, 10, 0, 0, uint32_t(broken.size())), broken), Exception);
  EXPECT_EQ(FBuffer.Mouse()->Width(), 8);
}

TEST_F(BackBufferTest, BadPicturesAreRefusedAndPictureKept) {
  FBuffer.Init(0, 0);
  // An 8-bit key frame cannot set up the picture.
  const Bytes palette8 = PaletteBmp(16, 16, 8, std::vector<uint32_t>(256, 0x123456));
  std::string why;
  EXPECT_FALSE(FBuffer.CanDraw(Record(FT_KEY, 0, 0), palette8.data(), uint32_t(palette8.size()), why));
  EXPECT_THROW(Draw(Record(FT_KEY, 0, 0), palette8), Exception);
  EXPECT_FALSE(FBuffer.Active());

  Key(TestPicture(64, 48, 9, 9, 9));
  TakeDirty();
  EXPECT_TRUE(FBuffer.CanDraw(Record(FT_COPY, 0, 0), palette8.data(), uint32_t(palette8.size()), why)) << why;

  Bytes truncated = BmpFileImage(TestPicture(16, 16, 1, 1, 1));
  truncated.resize(truncated.size() - 3);
  const Bytes bits4 = PaletteBmp(16, 16, 4, std::vector<uint32_t>(16, 0x445566));
  struct Case {
    const char* name;
    FrameRecord record;
    Bytes image;
  } const cases[] = {
      {"4-bit patch", Record(FT_COPY, 0, 0), bits4},
      {"truncated XOR delta", Record(FT_XOR, 0, 0), truncated},
      {"missing key frame picture", Record(FT_KEY, 0, 0), {}},
      {"cursor update whose image is missing", Record(FT_CURSOR, 5, 5, 0, 0, 100), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(
        FBuffer.CanDraw(c.record, c.image.empty() ? nullptr : c.image.data(), uint32_t(c.image.size()), why));
    EXPECT_FALSE(why.empty());
    EXPECT_THROW(Draw(c.record, c.image), Exception);
    EXPECT_EQ(Pixel(0, 0), (Bgr{9, 9, 9}));
    EXPECT_EQ(Str(TakeDirty()), Str(0, 0, 0, 0));
  }
}

}  // namespace

// Patches of the picture's own 24-bit format are written straight into the
// section; every other format goes through GDI. Both ways must leave the
// same bytes, so one buffer draws with GDI only and the other as it would
// in playback, one patch after the other over the same picture. A palette
// or 32-bit patch is drawn as such with GDI and as its 24-bit copy the
// direct way. The picture's odd width leaves one byte of row padding.
TEST(BackBufferDrawing, DirectRowsMatchGdiByteForByte) {
  constexpr int kWidth = 37, kHeight = 23;
  TBackBuffer direct, gdi;
  gdi.SetDirectDrawing(false);
  const auto draw = [](TBackBuffer& buffer, const FrameRecord& r, const Bytes& image) {
    buffer.Lock();
    buffer.DrawFrame(r, image.data(), uint32_t(image.size()));
    buffer.Unlock();
  };
  const Bytes key = BmpFileImage(TestPicture::Gradient(kWidth, kHeight));
  draw(direct, Record(FT_KEY, 0, 0), key);
  draw(gdi, Record(FT_KEY, 0, 0), key);

  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < 16; ++i) palette.push_back((i * 0x10) << 16 | (0xFF - i * 9) << 8 | (i * 37 & 0xFF));
  const auto paletteIndex = [](int x, int y) { return (x * 7 + y * 3) % 16; };

  struct Case {
    int16_t type;
    int width, height, x, y, bits;
    bool topDown;
  } const cases[] = {
      {FT_COPY, 5, 4, 0, 0, 24, false},    {FT_COPY, 4, 3, 2, 1, 24, true},
      {FT_XOR, 13, 9, 3, 2, 24, false},    {FT_XOR, 13, 9, 3, 2, 24, true},
      {FT_COPY, 20, 10, 30, 18, 24, false}, {FT_XOR, 20, 10, 30, 18, 24, true},
      {FT_XOR, 1, 1, 36, 22, 24, false},   {FT_COPY, 40, 30, 0, 0, 24, true},
      {FT_XOR, 40, 30, 0, 0, 24, false},   {FT_COPY, 3, 3, 37, 0, 24, false},
      {FT_XOR, 3, 3, 0, 23, 24, true},     {FT_KEY, 2, 7, 35, 1, 24, false},
      {FT_COPY, 7, 5, 33, 20, 32, false},  {FT_XOR, 11, 6, 1, 17, 32, true},
      {FT_COPY, 9, 7, 31, 2, 8, false},    {FT_XOR, 6, 25, 4, 0, 8, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + ", " + std::to_string(c.width) + " x " +
                 std::to_string(c.height) + " at " + std::to_string(c.x) + "," + std::to_string(c.y) + ", " +
                 std::to_string(c.bits) + "-bit" + (c.topDown ? " top-down" : ""));
    TestPicture patch = TestPicture::Gradient(c.width, c.height);
    Bytes asDrawnByGdi;
    if (c.bits == 8) {
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
          const uint32_t colour = palette[size_t(paletteIndex(x, y))];
          patch.SetPixel(x, y, uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16));
        }
      asDrawnByGdi = PaletteBmp(c.width, c.height, 8, palette, paletteIndex);
    } else {
      asDrawnByGdi = BmpFileImage(patch, c.bits, c.topDown);
    }
    const FrameRecord r = Record(c.type, uint16_t(c.x), uint16_t(c.y));
    draw(direct, r, BmpFileImage(patch, 24, c.topDown));
    draw(gdi, r, asDrawnByGdi);

    GdiFlush();
    const size_t size = size_t(direct.RowBytes()) * kHeight;
    ASSERT_EQ(gdi.RowBytes(), direct.RowBytes());
    const auto mismatch = std::mismatch(direct.Bits(), direct.Bits() + size, gdi.Bits());
    if (mismatch.first != direct.Bits() + size) {
      const size_t at = size_t(mismatch.first - direct.Bits());
      FAIL() << "first difference at byte " << at % direct.RowBytes() << " of row " << at / direct.RowBytes()
             << ": " << int(*mismatch.first) << " drawn directly, " << int(*mismatch.second) << " by GDI";
    }
  }
}
