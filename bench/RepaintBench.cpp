// Repaint cost of the control's picture: a 1920x1080 recording shown in a
// 1280x720 window, fitted (rectangles snapped to 100-pixel cells and scaled
// bilinearly into the picture's bitmap) and at original size (one BitBlt
// into it), then painted on the screen from that bitmap; and in the
// full-screen window on the 1280x1024 display, a 1280x1024 recording at 1:1
// and a 1920x1080 one scaled to the monitor. Each merged dirty
// rectangle goes the way the control's dirty-rectangle handler sends it;
// the same rectangles also go through a plain StretchBlt / BitBlt in the same
// run, so the ratios hold against the machine's own GDI. Takes a display.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "render/BackBuffer.h"
#include "BrindoluxTLB.h"
#include "picture/DetailFrame.h"
#include "picture/PictureLayout.h"
#include "picture/frmFullScreen.h"
#include "base/PlayerContext.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 720;
// Each figure runs for about this long, after a few rounds to warm up.
constexpr double kRunSeconds = 0.4;
constexpr int kMaxRounds = 20000;

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / frequency;
}

// Microseconds per call of Step(round).
double Measure(const std::function<void(int)>& Step) {
  for (int i = 0; i < 3; ++i) Step(i);
  int rounds = 0;
  const double start = Now();
  double elapsed = 0;
  do {
    Step(rounds++);
    elapsed = Now() - start;
  } while (elapsed < kRunSeconds && rounds < kMaxRounds);
  return elapsed * 1e6 / rounds;
}

// Dispatches what is waiting, so posted and sent work does not pile up
// between figures.
void PumpPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

LRESULT CALLBACK HostProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

// A presenter's screen: light paper with dark strokes of text and some
// coloured areas, so neighbouring pixels differ as they do in a recording.
void FillPicture(TBackBuffer& Buffer) {
  Buffer.Lock();
  uint32_t seed = 12345;
  for (int y = 0; y < Buffer.Height(); ++y) {
    uint8_t* row = Buffer.Bits() + size_t(y) * Buffer.RowBytes();
    for (int x = 0; x < Buffer.Width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      const bool stroke = (y % 20) < 12 && (seed >> 28) < 5;
      const uint8_t base = stroke ? uint8_t(seed >> 24 & 0x3F) : uint8_t(0xE0 + (x + y) % 0x20);
      row[x * 3 + 0] = base;
      row[x * 3 + 1] = uint8_t(base ^ (x >> 4));
      row[x * 3 + 2] = uint8_t(base ^ (y >> 4));
    }
  }
  Buffer.Unlock();
}

struct TShape {
  const char* Name;
  int Width, Height;  // 0: the whole recording
};
const TShape kShapes[] = {
    {"typing 160x20", 160, 20},
    {"scrolling 960x540", 960, 540},
    {"window move 520x380", 520, 380},
    {"whole picture", 0, 0},
};

// The rectangle of round Round: it wanders over the screen, the way a
// presenter's changes do, so no figure comes from one warm spot of memory.
// It stays inside Area (the part of the recording on the screen: at
// original size a change outside the window paints nothing).
TPixelRect Place(const TShape& Shape, int Round, const SIZE& Area, const SIZE& Recording) {
  const int width = Shape.Width ? Shape.Width : Recording.cx, height = Shape.Height ? Shape.Height : Recording.cy;
  const int spanX = Area.cx - width, spanY = Area.cy - height;
  TPixelRect r;
  r.Left = spanX > 0 ? (Round * 131 + 17) % spanX : 0;
  r.Top = spanY > 0 ? (Round * 71 + 9) % spanY : 0;
  r.Right = r.Left + width;
  r.Bottom = r.Top + height;
  return r;
}

// As the back buffer's dirty rectangle travels to the control.
void Pack(const TPixelRect& R, WPARAM& WParam, LPARAM& LParam) {
  WParam = WPARAM(uint32_t(R.Left) << 16 | uint32_t(R.Top));
  LParam = LPARAM(uint32_t(R.Right) << 16 | uint32_t(R.Bottom));
}

class TBench {
 public:
  TBench(int Width, int Height) : FWidth(Width), FHeight(Height) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TRepaintBenchHost";
    RegisterClassW(&wc);
    FHost = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            kWindowWidth, kWindowHeight, nullptr, nullptr, wc.hInstance, nullptr);
    if (!FHost) throw std::runtime_error("cannot create the host window");
    FFrame = std::make_unique<TDetailFrame>(FHost);
    FBuffer.Init(Width, Height);
    if (!FBuffer.Active() || !FBuffer.Bits()) throw std::runtime_error("cannot make the back buffer");
    FillPicture(FBuffer);
    FContext.Header.Width = uint16_t(Width);
    FContext.Header.Height = uint16_t(Height);
  }
  ~TBench() {
    FFull.reset();
    FFrame.reset();
    DestroyWindow(FHost);
  }

  void Show(TDisplayMode Mode) {
    if (Mode == dmFull) {
      FFull = std::make_unique<TfrmFullScreen>();
      FFull->SetTarget(FContext, FHost);
      FFull->Show();
    } else {
      FFull.reset();
      FFrame->SetPicture(FContext, Mode);
      FFrame->ShowPicture(true);
    }
    PumpPending();
    UpdateWindow(FFull ? FFull->Handle() : FHost);
    PumpPending();
  }

  // The picture dirty rectangles go to, as the control picks it.
  TPictureBitmap& Picture() { return FFull ? FFull->Picture() : FFrame->Picture(); }
  HWND PictureWindow() const { return FFull ? FFull->imgPic() : FFrame->imgPic(); }
  int Zoom() const { return FFull ? FFull->Zoom() : FFrame->Zoom(); }
  // Fit mode scales; full screen only when the recording is larger than the
  // monitor.
  bool Scaled() const { return FFull ? FFull->Zoom() < 100 : FFrame->Mode() == dmAdaptive; }
  TPictureLayout Layout() const { return FFull ? FFull->Layout() : FFrame->Layout(); }
  SIZE Recording() const { return {FWidth, FHeight}; }

  // What the control does for one merged dirty rectangle: snapped and
  // scaled in fit mode, copied 1:1 otherwise; then the picture paints the
  // part it invalidated. Returns the time of the first half through Into.
  void Repaint(const TPixelRect& Dirty, double* Into) {
    WPARAM w;
    LPARAM l;
    Pack(Dirty, w, l);
    const double start = Into ? Now() : 0;
    TPixelRect s = DecodeDirtyRect(w, l);
    TPixelRect d = s;
    TPictureBitmap& picture = Picture();
    if (Scaled()) {
      s = SnapToGrid(s, FContext.Header.Width, FContext.Header.Height);
      d = ZoomRect(s, Zoom(), picture.Width(), picture.Height());
    }
    if (d == s)
      picture.CopyFrom(FBuffer, s);
    else
      picture.StretchFrom(FBuffer, d, s);
    if (Into) *Into += Now() - start;
    UpdateWindow(PictureWindow());
    GdiFlush();
  }

  // The picture painting its whole bitmap again, as after being uncovered.
  void PaintOnly() {
    InvalidateRect(PictureWindow(), nullptr, FALSE);
    UpdateWindow(PictureWindow());
    GdiFlush();
  }

  // The same rectangle, snapped and zoomed as the control would, through
  // one plain GDI call from the back buffer to Target.
  void Plain(HDC Target, const TPixelRect& Dirty) {
    TPixelRect s = Dirty, d = Dirty;
    if (Scaled()) {
      s = SnapToGrid(s, FWidth, FHeight);
      d = ZoomRect(s, Zoom(), Picture().Width(), Picture().Height());
    }
    FBuffer.Lock();
    if (d == s) {
      // Clipped to what the target holds, as the control's copy is.
      const int right = std::min(s.Right, FTargetWidth), bottom = std::min(s.Bottom, FTargetHeight);
      if (right > s.Left && bottom > s.Top)
        BitBlt(Target, s.Left, s.Top, right - s.Left, bottom - s.Top, FBuffer.DC(), s.Left, s.Top, SRCCOPY);
    } else {
      StretchBlt(Target, d.Left, d.Top, d.Right - d.Left, d.Bottom - d.Top, FBuffer.DC(), s.Left, s.Top,
                 s.Right - s.Left, s.Bottom - s.Top, SRCCOPY);
    }
    GdiFlush();
    FBuffer.Unlock();
  }

  void SetTargetSize(int Width, int Height) {
    FTargetWidth = Width;
    FTargetHeight = Height;
  }

  TDetailFrame& Frame() { return *FFrame; }

 private:
  int FWidth, FHeight;
  HWND FHost = nullptr;
  std::unique_ptr<TDetailFrame> FFrame;
  std::unique_ptr<TfrmFullScreen> FFull;
  TBackBuffer FBuffer;
  PlayerContext FContext{};
  int FTargetWidth = 0, FTargetHeight = 0;
};

struct TWindowDC {
  HWND Wnd;
  HDC DC;
  explicit TWindowDC(HWND W) : Wnd(W), DC(GetDC(W)) {}
  ~TWindowDC() { ReleaseDC(Wnd, DC); }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
};

// How much larger the snapped source rectangles are than the dirty ones,
// over the rounds the figures ran through.
double SnapGrowth(const TShape& Shape, const SIZE& Recording) {
  double dirty = 0, snapped = 0;
  for (int r = 0; r < 1000; ++r) {
    const TPixelRect d = Place(Shape, r, Recording, Recording), s = SnapToGrid(d, Recording.cx, Recording.cy);
    dirty += double(d.Right - d.Left) * (d.Bottom - d.Top);
    snapped += double(s.Right - s.Left) * (s.Bottom - s.Top);
  }
  return snapped / dirty;
}

void RunMode(TBench& Bench, TDisplayMode Mode) {
  Bench.Show(Mode);
  const bool fit = Bench.Scaled();
  const SIZE recording = Bench.Recording();
  // Fitted or full screen, the whole recording is on the screen; at
  // original size the frame's client (scroll bars taken off) shows its top
  // left.
  RECT client{};
  GetClientRect(Bench.Frame().Handle(), &client);
  const SIZE area = Mode != dmOriginal ? recording
                                       : SIZE{std::min<LONG>(recording.cx, client.right),
                                              std::min<LONG>(recording.cy, client.bottom)};
  RECT window{};
  GetClientRect(Mode == dmFull ? GetParent(Bench.PictureWindow()) : Bench.Frame().Handle(), &window);
  const TPictureLayout layout = Bench.Layout();
  const char* title = Mode == dmFull ? (fit ? "full screen, scaled" : "full screen, 1:1")
                                     : (fit ? "fit" : "original size");
  std::printf("\n%s, %ldx%ld recording: picture %dx%d at (%d,%d), zoom %d%%, window %ldx%ld; rectangles within %ldx%ld\n",
              title, recording.cx, recording.cy, Bench.Picture().Width(), Bench.Picture().Height(), layout.Left,
              layout.Top, fit ? Bench.Zoom() : 100, window.right, window.bottom, area.cx, area.cy);
  const char* plainCall = fit ? "StretchBlt HALFTONE" : "BitBlt";
  std::printf("  %-20s %10s %10s %10s | %-34s", "", "", "", "", plainCall);
  if (fit) std::printf(" | %-34s", "StretchBlt COLORONCOLOR");
  std::printf("\n  %-20s %10s %10s %10s | %12s %12s %8s", "merged rectangle", "control", "to bitmap", "paint",
              "mem", "win", "ratio");
  if (fit) std::printf(" | %12s %12s %8s", "mem", "win", "ratio");
  std::printf("\n");

  // A bitmap like the picture's own, for the plain calls into memory.
  TPictureBitmap memory;
  memory.Reset(Bench.Picture().Width(), Bench.Picture().Height());
  TWindowDC target(Bench.PictureWindow());
  for (const TShape& shape : kShapes) {
    double toBitmap = 0;
    int rounds = 0;
    const double control = Measure([&](int r) {
      Bench.Repaint(Place(shape, r, area, recording), &toBitmap);
      ++rounds;
    });
    toBitmap = toBitmap * 1e6 / rounds;
    PumpPending();

    Bench.SetTargetSize(Bench.Picture().Width(), Bench.Picture().Height());
    auto plain = [&](HDC dc, int stretchMode) {
      SetStretchBltMode(dc, stretchMode);
      // The brush origin is reset after HALFTONE, as the system asks.
      SetBrushOrgEx(dc, 0, 0, nullptr);
      return Measure([&](int r) { Bench.Plain(dc, Place(shape, r, area, recording)); });
    };
    const double halftoneMem = plain(memory.DC(), HALFTONE);
    const double halftoneWin = plain(target.DC, HALFTONE);
    PumpPending();
    std::printf("  %-20s %7.1f us %7.1f us %7.1f us | %9.1f us %9.1f us %7.2fx", shape.Name, control,
                toBitmap, control - toBitmap, halftoneMem, halftoneWin, control / halftoneWin);
    if (fit) {
      const double colorMem = plain(memory.DC(), COLORONCOLOR);
      const double colorWin = plain(target.DC, COLORONCOLOR);
      PumpPending();
      std::printf(" | %9.1f us %9.1f us %7.2fx", colorMem, colorWin, control / colorWin);
    }
    if (fit) std::printf(" | snapped %4.1fx", SnapGrowth(shape, recording));
    std::printf("\n");
  }

  const double full =
      Measure([&](int) { Bench.Repaint({0, 0, int32_t(recording.cx), int32_t(recording.cy)}, nullptr); });
  const double paint = Measure([&](int) { Bench.PaintOnly(); });
  const double cycle = Measure([&](int) { Bench.Repaint({0, 0, 1, 1}, nullptr); });
  PumpPending();
  std::printf(
      "  full-picture repaints: %.1f per second (dirty rectangle of the whole recording), %.1f per "
      "second (picture painted again from its bitmap)\n",
      1e6 / full, 1e6 / paint);
  std::printf("  least dirty rectangle (1x1, %s): %.1f us\n", fit ? "snapped to 100x100" : "one pixel",
              cycle);
}

}  // namespace

int main() {
  try {
    std::printf(
        "Repaint of a %dx%d recording in a %dx%d window and full screen; microseconds per merged dirty "
        "rectangle.\n"
        "control = the control's way (fit: snapped to 100-pixel cells, bilinear into the picture's "
        "bitmap; original and full screen at 1:1: BitBlt into it), then the picture's paint on the screen.\n"
        "mem = one plain GDI call from the back buffer into a bitmap of the picture's size; win = "
        "the same straight into the picture's window; ratio = control / win;\n"
        "snapped = source pixels after snapping / pixels of the dirty rectangle (mean).\n",
        kWidth, kHeight, kWindowWidth, kWindowHeight);
    {
      TBench bench(kWidth, kHeight);
      RunMode(bench, dmAdaptive);
      RunMode(bench, dmOriginal);
      RunMode(bench, dmFull);
    }
    // The display's size: the full-screen picture at 1:1.
    TBench screen(1280, 1024);
    RunMode(screen, dmFull);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "repaint_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
