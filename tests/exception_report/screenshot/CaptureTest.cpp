// The screenshot's capture under the display, in the test process: a window
// of colour bands with a focused edit, made by the test; the focus frame and
// a cursor of the test's own drawn in; the PNG file read back.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "PngReader.h"
#include "PumpUntil.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingSeams.h"
#include "report/ReportFiles.h"
#include "screenshot/Screenshot.h"

using namespace RevavaRez;

namespace {

constexpr DWORD kBound = 10000;
constexpr int kLeft = 200, kTop = 150, kWidth = 302, kHeight = 120;
const COLORREF kBands[] = {RGB(0, 0, 255), RGB(0, 200, 0), RGB(250, 250, 0)};
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kCursorColour = RGB(17, 240, 99);
constexpr POINT kHotSpot{5, 7};
const RECT kEdit{20, 30, 140, 60};  // in the window

LRESULT CALLBACK BandsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return 1;
  if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  for (int band = 0; band < 3; ++band) {
    RECT r{band * kWidth / 3, 0, (band + 1) * kWidth / 3, kHeight};
    HBRUSH brush = CreateSolidBrush(kBands[band]);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
  }
  EndPaint(window, &paint);
  return 0;
}

COLORREF BandAt(int x) { return kBands[x * 3 / kWidth]; }

class TBandsWindow {
 public:
  TBandsWindow() {
    WNDCLASSA cls{};
    cls.lpfnWndProc = BandsProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "BrxScreenshotBands";
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    RegisterClassA(&cls);
    Window = CreateWindowExA(WS_EX_TOPMOST, cls.lpszClassName, "Bands", WS_POPUP | WS_VISIBLE, kLeft, kTop, kWidth,
                             kHeight, nullptr, nullptr, cls.hInstance, nullptr);
    Edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, kEdit.left, kEdit.top,
                           kEdit.right - kEdit.left, kEdit.bottom - kEdit.top, Window, nullptr, cls.hInstance, nullptr);
    SetForegroundWindow(Window);
    SetFocus(Edit);
    UpdateWindow(Window);
  }
  ~TBandsWindow() {
    if (Window) DestroyWindow(Window);
  }
  // The screen shows the bands where the checks look.
  bool Shown() const {
    HDC screen = GetDC(nullptr);
    bool shown = true;
    for (int x : {10, 150, 290}) shown = shown && GetPixel(screen, kLeft + x, kTop + 100) == BandAt(x);
    ReleaseDC(nullptr, screen);
    return shown;
  }
  HWND Window = nullptr;
  HWND Edit = nullptr;
};

// A cursor of one colour all over, so that where it is drawn shows.
HCURSOR MakeCursor() {
  std::vector<uint32_t> colour(32 * 32, 0x00000000u | (GetRValue(kCursorColour) << 16) |
                                            (GetGValue(kCursorColour) << 8) | GetBValue(kCursorColour));
  std::vector<uint8_t> mask(32 * 32 / 8, 0);  // opaque everywhere
  ICONINFO info{};
  info.fIcon = FALSE;
  info.xHotspot = kHotSpot.x;
  info.yHotspot = kHotSpot.y;
  info.hbmColor = CreateBitmap(32, 32, 1, 32, colour.data());
  info.hbmMask = CreateBitmap(32, 32, 1, 1, mask.data());
  HCURSOR cursor = CreateIconIndirect(&info);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return cursor;
}

std::string TempPng() {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "brx_screenshot_test.png";
}

// Pixels of the picture, wherever they were read; window coordinates plus
// (DX, DY) are picture coordinates.
struct TPicture {
  int DX = 0, DY = 0;
  std::function<COLORREF(int, int)> At;
};

void ExpectWindowDrawn(const TPicture& picture, POINT cursorInWindow) {
  auto at = [&](int x, int y) { return picture.At(x + picture.DX, y + picture.DY); };
  // The bands keep their colours.
  for (int x : {10, 150, 290}) EXPECT_EQ(at(x, 100), BandAt(x)) << x;
  // The focused edit framed in red twice, on its rectangle and one inside,
  // and nothing red outside it or further in.
  for (int inset : {0, 1}) {
    EXPECT_EQ(at(kEdit.left + inset, kEdit.top + 10), kRed) << inset;
    EXPECT_EQ(at(kEdit.right - 1 - inset, kEdit.top + 10), kRed) << inset;
    EXPECT_EQ(at(kEdit.left + 40, kEdit.top + inset), kRed) << inset;
    EXPECT_EQ(at(kEdit.left + 40, kEdit.bottom - 1 - inset), kRed) << inset;
  }
  EXPECT_EQ(at(kEdit.left - 1, kEdit.top + 10), BandAt(kEdit.left - 1));
  EXPECT_NE(at(kEdit.left + 2, kEdit.top + 10), kRed);
  EXPECT_NE(at(kEdit.left + 40, kEdit.top + 2), kRed);
  // The cursor, 32 x 32, its hot spot where it stands.
  const int left = cursorInWindow.x - kHotSpot.x, top = cursorInWindow.y - kHotSpot.y;
  EXPECT_EQ(at(left, top), kCursorColour);
  EXPECT_EQ(at(left + 31, top + 31), kCursorColour);
  EXPECT_EQ(at(left - 1, top + 5), BandAt(left - 1));
  EXPECT_EQ(at(left + 5, top - 1), BandAt(left + 5));
}

}  // namespace

TEST(CaptureSize, AreaArithmetic) {
  struct TCase {
    int64_t Width, Height;
    bool Ok;
    uint32_t W, H, Stride;
  };
  const TCase cases[] = {
      {0, 0, true, 1, 1, 4},           {1, 7, true, 1, 7, 4},           {5, 1, true, 5, 1, 8},
      {302, 120, true, 302, 120, 304}, {16384, 16384, true, 16384, 16384, 16384},
      {16385, 1, false, 0, 0, 0},      {1, 16385, false, 0, 0, 0},      {-1, 5, false, 0, 0, 0},
      {int64_t(1) << 33, 1, false, 0, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Width) + " x " + std::to_string(c.Height));
    const TCaptureSize size = CaptureSizeOf(c.Width, c.Height);
    EXPECT_EQ(size.Ok, c.Ok);
    EXPECT_EQ(size.Width, c.W);
    EXPECT_EQ(size.Height, c.H);
    EXPECT_EQ(size.Stride, c.Stride);
  }
}

// The whole screen (the monitor of the foreground window), or with SendFlags
// bit 5 the foreground window alone; the bands, the frame and the cursor in
// the kept bitmap and in the PNG file written from it.
TEST(CaptureScreen, WindowDrawnIntoTheScreenshot) {
  TBandsWindow bands;
  ASSERT_TRUE(bands.Window && bands.Edit);
  ASSERT_TRUE(PumpUntil([&] { return bands.Shown(); }, kBound)) << "the bands never reached the screen";
  HCURSOR cursor = MakeCursor();
  ASSERT_TRUE(cursor);
  const POINT cursorInWindow{250, 60};

  for (const bool foregroundOnly : {false, true}) {
    SCOPED_TRACE(foregroundOnly ? "foreground window" : "whole screen");
    TCaptureInputs inputs;
    inputs.ForegroundOnly = foregroundOnly;
    inputs.Foreground = bands.Window;
    inputs.Focus = bands.Edit;
    inputs.Cursor = cursor;
    inputs.CursorPos = {kLeft + cursorInWindow.x, kTop + cursorInWindow.y};
    ASSERT_TRUE(CaptureScreen(inputs));
    const TScreenshotView view = CurrentScreenshot();
    ASSERT_TRUE(view.DC && view.Bitmap);
    EXPECT_FALSE(view.PaletteMade);  // a 24-bit screen
    if (foregroundOnly) {
      EXPECT_EQ(view.Size.Width, uint32_t(kWidth));
      EXPECT_EQ(view.Size.Height, uint32_t(kHeight));
      EXPECT_EQ(view.Size.Stride, 304u);
      EXPECT_EQ(view.Origin.x, kLeft);
      EXPECT_EQ(view.Origin.y, kTop);
    } else {
      EXPECT_EQ(view.Size.Width, uint32_t(GetSystemMetrics(SM_CXSCREEN)));
      EXPECT_EQ(view.Size.Height, uint32_t(GetSystemMetrics(SM_CYSCREEN)));
      EXPECT_EQ(view.Origin.x, 0);
      EXPECT_EQ(view.Origin.y, 0);
    }
    TPicture kept;
    kept.DX = kLeft - view.Origin.x;
    kept.DY = kTop - view.Origin.y;
    kept.At = [&](int x, int y) { return GetPixel(view.DC, x, y) & 0xFFFFFF; };
    {
      SCOPED_TRACE("kept bitmap");
      ExpectWindowDrawn(kept, cursorInWindow);
    }

    const std::string path = TempPng();
    DeleteFileA(path.c_str());
    SaveScreenshot(path);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    DeleteFileA(path.c_str());
    const TPngFile file = ReadPng(bytes.data(), bytes.size());
    ASSERT_TRUE(file.SignatureOk);
    ASSERT_TRUE(file.InflateOk);
    EXPECT_EQ(file.Width, view.Size.Width);
    EXPECT_EQ(file.Height, view.Size.Height);
    ASSERT_EQ(file.Palette.size(), 768u);
    ASSERT_EQ(file.Image.size(), size_t(file.Width + 1) * file.Height);
    TPicture saved = kept;
    saved.At = [&](int x, int y) {
      const uint8_t index = file.Image[size_t(y) * (file.Width + 1) + 1 + x];
      return RGB(file.Palette[3 * index], file.Palette[3 * index + 1], file.Palette[3 * index + 2]);
    };
    {
      SCOPED_TRACE("PNG file");
      ExpectWindowDrawn(saved, cursorInWindow);
    }
    DiscardScreenshot();
    EXPECT_FALSE(CurrentScreenshot().Bitmap);
  }
  DestroyCursor(cursor);
}

// A focus window that is gone gets no frame; saving without a screenshot or
// without a name writes nothing.
TEST(CaptureScreen, GoneFocusAndNothingToSave) {
  TBandsWindow bands;
  ASSERT_TRUE(PumpUntil([&] { return bands.Shown(); }, kBound));
  HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, kLeft + 10, kTop + 80, 50, 20, nullptr, nullptr, nullptr,
                              nullptr);
  DestroyWindow(gone);
  TCaptureInputs inputs;
  inputs.ForegroundOnly = true;
  inputs.Foreground = bands.Window;
  inputs.Focus = gone;
  ASSERT_TRUE(CaptureScreen(inputs));
  const TScreenshotView view = CurrentScreenshot();
  EXPECT_EQ(GetPixel(view.DC, 10, 80) & 0xFFFFFF, BandAt(10));

  const std::string path = TempPng();
  DeleteFileA(path.c_str());
  SaveScreenshot("");
  DiscardScreenshot();
  SaveScreenshot(path);
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The processing's steps take the whole screen and write it to the report's
// screenshot file, which the end of the processing deletes.
TEST(CaptureScreen, ProcessingStepsWriteAndDeleteTheFile) {
  LibraryState().Options = std::make_unique<TVezavuModuleOptionsEx>(false, "");
  TVezavuModuleOptionsEx& options = *LibraryState().Options;
  options.SetSendFlags(0x10);
  const std::string path = ScreenshotName(options);
  ASSERT_FALSE(path.empty());
  DeleteFileA(path.c_str());

  ProcessingSeams.CaptureScreenshot();
  ProcessingSeams.SaveScreenshotFile();
  ProcessingSeams.FreeScreenshot();
  EXPECT_FALSE(CurrentScreenshot().Bitmap);
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  const TPngFile file = ReadPng(bytes.data(), bytes.size());
  EXPECT_TRUE(file.InflateOk);
  EXPECT_EQ(file.Width, uint32_t(GetSystemMetrics(SM_CXSCREEN)));
  ProcessingSeams.DeleteScreenshotFile();
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
  LibraryState().Options.reset();
}
