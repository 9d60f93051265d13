// make_demo_recording PATH: writes a short KRM recording of a window in
// which a text is being typed, with the mouse cursor following the caret,
// for a newcomer to watch the player work (scripts/play plays it). The
// screen is drawn with GDI and written by the project's recording writer.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "KrmWriter.h"

namespace {

constexpr int Width = 640;
constexpr int Height = 400;
constexpr uint32_t KeyFrameInterval = 4000;  // ms; seeks start from these
constexpr uint32_t KeyStroke = 110;          // ms between typed characters
const RECT WindowFrame = {40, 36, 600, 364};
const RECT TextArea = {52, 76, 588, 352};
constexpr int LineHeight = 22;

const wchar_t* const Lines[] = {
    L"Welcome to Brindolux.",
    L"",
    L"This recording was made by tools/make_demo_recording",
    L"with the project's own recording writer.",
    L"Every key press is a copied image patch;",
    L"the cursor follows the typing.",
    L"",
    L"Drag the seek bar to jump; the Control menu",
    L"plays, pauses, stops and fast-forwards.",
};

// A 24-bit top-down screen that GDI draws into.
class TScreen {
 public:
  TScreen() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    FDC = CreateCompatibleDC(nullptr);
    FBitmap = CreateDIBSection(FDC, &info, DIB_RGB_COLORS, &FBits, nullptr, 0);
    FOld = SelectObject(FDC, FBitmap);
    FFont = CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
    FTitleFont = CreateFontW(-14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma");
    SetBkMode(FDC, TRANSPARENT);
  }
  ~TScreen() {
    SelectObject(FDC, FOld);
    DeleteObject(FBitmap);
    DeleteObject(FFont);
    DeleteObject(FTitleFont);
    DeleteDC(FDC);
  }
  bool Ok() const { return FBits != nullptr; }

  void Fill(const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(FDC, &r, brush);
    DeleteObject(brush);
  }
  void Text(int x, int y, const std::wstring& text, COLORREF colour, bool title = false) {
    HGDIOBJ old = SelectObject(FDC, title ? FTitleFont : FFont);
    SetTextColor(FDC, colour);
    TextOutW(FDC, x, y, text.c_str(), static_cast<int>(text.size()));
    SelectObject(FDC, old);
  }
  int TextWidth(const std::wstring& text) {
    HGDIOBJ old = SelectObject(FDC, FFont);
    SIZE size{};
    GetTextExtentPoint32W(FDC, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(FDC, old);
    return size.cx;
  }
  // The rectangle as a picture (B,G,R, top-down), for the writer.
  TestPicture Picture(const RECT& r) {
    GdiFlush();
    TestPicture picture(r.right - r.left, r.bottom - r.top);
    const auto* bits = static_cast<const uint8_t*>(FBits);
    const size_t stride = (size_t(Width) * 3 + 3) & ~size_t(3);
    for (int y = r.top; y < r.bottom; ++y)
      std::copy_n(bits + y * stride + size_t(r.left) * 3, size_t(picture.Width) * 3,
                  picture.Pixel(0, y - r.top));
    return picture;
  }

 private:
  HDC FDC = nullptr;
  HBITMAP FBitmap = nullptr;
  HGDIOBJ FOld = nullptr;
  HFONT FFont = nullptr;
  HFONT FTitleFont = nullptr;
  void* FBits = nullptr;
};

void DrawDesktop(TScreen& screen) {
  screen.Fill({0, 0, Width, Height}, RGB(0, 96, 128));
  screen.Fill({WindowFrame.left + 4, WindowFrame.top + 4, WindowFrame.right + 4, WindowFrame.bottom + 4},
              RGB(0, 60, 80));  // shadow
  screen.Fill(WindowFrame, RGB(212, 208, 200));
  screen.Fill({WindowFrame.left + 3, WindowFrame.top + 3, WindowFrame.right - 3, WindowFrame.top + 27},
              RGB(10, 36, 106));
  screen.Text(WindowFrame.left + 10, WindowFrame.top + 7, L"notes.txt - Editor", RGB(255, 255, 255), true);
  screen.Fill(TextArea, RGB(255, 255, 255));
}

Bytes Packed(const TestPicture& picture) { return ZlibCompress(BmpFileImage(picture)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_recording OUTPUT.krm\n");
    return 2;
  }
  TScreen screen;
  if (!screen.Ok()) {
    std::fprintf(stderr, "make_demo_recording: no drawing surface\n");
    return 1;
  }
  KrmWriter writer(Width, Height);
  DrawDesktop(screen);
  uint32_t time = 0;
  uint32_t nextKey = 0;
  const RECT whole = {0, 0, Width, Height};
  auto keyFrameIfDue = [&] {
    if (time < nextKey) return;
    writer.AddKeyFrame(time, CT_ZLIB, Packed(screen.Picture(whole)));
    nextKey = time + KeyFrameInterval;
  };
  keyFrameIfDue();
  writer.AddCursor(time + 1, TextArea.left + 4, TextArea.top + 4);
  time += 800;
  int y = TextArea.top + 6;
  for (const wchar_t* line : Lines) {
    std::wstring typed;
    for (const wchar_t* c = line; *c; ++c) {
      typed += *c;
      keyFrameIfDue();
      const RECT band = {TextArea.left + 1, y - 1, TextArea.right - 1, y + LineHeight - 2};
      screen.Fill(band, RGB(255, 255, 255));
      screen.Text(TextArea.left + 8, y, typed, RGB(0, 0, 0));
      const int caretX = TextArea.left + 8 + screen.TextWidth(typed);
      screen.Fill({caretX + 1, y, caretX + 3, y + 17}, RGB(0, 0, 0));  // the caret
      writer.AddFrame(time, FT_COPY, CT_ZLIB, Packed(screen.Picture(band)), static_cast<uint16_t>(band.left),
                      static_cast<uint16_t>(band.top), static_cast<uint16_t>(caretX + 6),
                      static_cast<uint16_t>(y + 12));
      time += KeyStroke + (*c == L' ' ? 60 : 0);
    }
    // The caret leaves the finished line.
    screen.Fill({TextArea.left + 1, y - 1, TextArea.right - 1, y + LineHeight - 2}, RGB(255, 255, 255));
    screen.Text(TextArea.left + 8, y, typed, RGB(0, 0, 0));
    y += LineHeight;
    time += 400;
  }
  keyFrameIfDue();
  writer.SetDuration(time + 2000);
  try {
    writer.SaveToFile(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_demo_recording: %s\n", error.what());
    return 1;
  }
  std::printf("%s: %u ms, %ux%u\n", argv[1], time + 2000, Width, Height);
  return 0;
}
