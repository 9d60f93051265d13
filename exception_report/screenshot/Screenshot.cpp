#include "screenshot/Screenshot.h"

#include <memory>
#include <vector>

#include "core/Streams.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "report/ReportFiles.h"
#include "screenshot/ColourTree.h"
#include "screenshot/PngWriter.h"

namespace RevavaRez {

namespace {

struct TCaptureState {
  HWND Window = nullptr;
  HDC WindowDC = nullptr;
  HDC MemoryDC = nullptr;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ FirstBitmap = nullptr;  // the memory context's own, put back before the bitmap goes
  HPALETTE Palette = nullptr;
  HPALETTE FirstPalette = nullptr;
  bool PaletteMade = false;
  TCaptureSize Size;
  POINT Origin{};
};

TCaptureState Capture;

typedef HMONITOR(WINAPI* TMonitorFromWindow)(HWND, DWORD);
typedef BOOL(WINAPI* TGetMonitorInfo)(HMONITOR, LPMONITORINFO);

// The monitor functions are looked up at run time: a system without them
// keeps the whole desktop.
void NarrowToMonitor(HWND foreground, RECT& area) {
  HMODULE user = LoadLibraryA("user32.dll");
  if (!user) return;
  auto monitorFromWindow = reinterpret_cast<TMonitorFromWindow>(
      reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromWindow")));
  auto getMonitorInfo =
      reinterpret_cast<TGetMonitorInfo>(reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
  if (monitorFromWindow && getMonitorInfo) {
    HMONITOR monitor = monitorFromWindow(foreground, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor && getMonitorInfo(monitor, &info)) area = info.rcMonitor;
  }
  FreeLibrary(user);
}

// A logical palette from the system's entries, for a palette-based screen.
void SelectSystemPalette() {
  if ((GetDeviceCaps(Capture.WindowDC, RASTERCAPS) & RC_PALETTE) == 0) return;
  struct {
    WORD Version;
    WORD Count;
    PALETTEENTRY Entries[256];
  } table{};
  table.Version = 0x300;
  const UINT count = GetSystemPaletteEntries(Capture.WindowDC, 0, 256, table.Entries);
  if (count == 0 || count > 256) return;
  table.Count = static_cast<WORD>(count);
  Capture.Palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(&table));
  if (!Capture.Palette) return;
  Capture.PaletteMade = true;
  Capture.FirstPalette = SelectPalette(Capture.MemoryDC, Capture.Palette, FALSE);
  RealizePalette(Capture.MemoryDC);
}

void FrameFocus(HWND focus) {
  RECT frame;
  if (!focus || !GetWindowRect(focus, &frame)) return;
  OffsetRect(&frame, -Capture.Origin.x, -Capture.Origin.y);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  if (!red) return;
  FrameRect(Capture.MemoryDC, &frame, red);
  InflateRect(&frame, -1, -1);
  FrameRect(Capture.MemoryDC, &frame, red);
  DeleteObject(red);
}

void DrawCursor(HCURSOR cursor, POINT at) {
  if (!cursor) return;
  ICONINFO info{};
  if (GetIconInfo(cursor, &info)) {
    at.x -= static_cast<LONG>(info.xHotspot);
    at.y -= static_cast<LONG>(info.yHotspot);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
  }
  DrawIconEx(Capture.MemoryDC, at.x - Capture.Origin.x, at.y - Capture.Origin.y, cursor, 32, 32, 0, nullptr,
             DI_NORMAL);
}

struct TIndexedInfo {
  BITMAPINFOHEADER Header;
  RGBQUAD Colours[256];
};

TIndexedInfo IndexedInfo(const TCaptureSize& size) {
  TIndexedInfo info{};
  info.Header.biSize = sizeof info.Header;
  info.Header.biWidth = static_cast<LONG>(size.Width);
  info.Header.biHeight = static_cast<LONG>(size.Height);  // bottom row first
  info.Header.biPlanes = 1;
  info.Header.biBitCount = 8;
  info.Header.biCompression = BI_RGB;
  return info;
}

// The capture's rows as 24-bit pixels. The bitmap is read while no context
// holds it, as GetDIBits asks; it is selected again afterwards.
bool ReadTrueColourRows(std::vector<uint8_t>& rows, size_t& stride) {
  const TCaptureSize& size = Capture.Size;
  stride = (static_cast<size_t>(size.Width) * 3 + 3) & ~size_t(3);
  rows.assign(stride * size.Height, 0);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(size.Width);
  info.bmiHeader.biHeight = -static_cast<LONG>(size.Height);  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  SelectObject(Capture.MemoryDC, Capture.FirstBitmap);
  const int read = GetDIBits(Capture.MemoryDC, Capture.Bitmap, 0, size.Height, rows.data(), &info, DIB_RGB_COLORS);
  SelectObject(Capture.MemoryDC, Capture.Bitmap);
  return read == static_cast<int>(size.Height);
}

// Replaces the capture bitmap by an 8-bit one whose colour table the colour
// tree made; the graphics system picks the nearest entry for each pixel.
// False leaves the capture bitmap as it was.
bool ReduceColours() {
  std::vector<uint8_t> rows;
  size_t stride = 0;
  if (!ReadTrueColourRows(rows, stride)) return false;
  TScreenPalette palette;
  {
    TColourTree tree;
    tree.AddRows(rows.data(), Capture.Size.Width, Capture.Size.Height, stride);
    palette = tree.Palette();
  }
  rows.clear();
  rows.shrink_to_fit();

  TIndexedInfo info = IndexedInfo(Capture.Size);
  for (size_t i = 0; i < palette.size(); ++i)
    info.Colours[i] = {palette[i].Blue, palette[i].Green, palette[i].Red, 0};
  void* bits = nullptr;
  HBITMAP reduced = CreateDIBSection(Capture.MemoryDC, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits,
                                     nullptr, 0);
  if (!reduced) return false;
  HDC target = CreateCompatibleDC(Capture.MemoryDC);
  bool copied = false;
  if (target) {
    HGDIOBJ first = SelectObject(target, reduced);
    copied = first &&
             BitBlt(target, 0, 0, static_cast<int>(Capture.Size.Width), static_cast<int>(Capture.Size.Height),
                    Capture.MemoryDC, 0, 0, SRCCOPY);
    if (first) SelectObject(target, first);
    DeleteDC(target);
  }
  if (!copied) {
    DeleteObject(reduced);
    return false;
  }
  SelectObject(Capture.MemoryDC, Capture.FirstBitmap);
  DeleteObject(Capture.Bitmap);
  Capture.Bitmap = reduced;
  return true;
}

// The picture as 8-bit rows, bottom row first, with the colour table the
// graphics system gives: the reduced bitmap's own, or a conversion of the
// capture bitmap when the reduction failed.
bool ReadIndexedRows(std::vector<uint8_t>& rows, TScreenPalette& palette) {
  const TCaptureSize& size = Capture.Size;
  rows.assign(static_cast<size_t>(size.Stride) * size.Height, 0);
  TIndexedInfo info = IndexedInfo(size);
  SelectObject(Capture.MemoryDC, Capture.FirstBitmap);
  const int read = GetDIBits(Capture.MemoryDC, Capture.Bitmap, 0, size.Height, rows.data(),
                             reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  SelectObject(Capture.MemoryDC, Capture.Bitmap);
  if (read != static_cast<int>(size.Height)) return false;
  for (size_t i = 0; i < palette.size(); ++i)
    palette[i] = {info.Colours[i].rgbRed, info.Colours[i].rgbGreen, info.Colours[i].rgbBlue};
  return true;
}

bool TakeCapture(const TCaptureInputs& inputs) {
  RECT area{};
  Capture.Window = nullptr;
  POINT source{0, 0};
  if (inputs.ForegroundOnly && inputs.Foreground && GetWindowRect(inputs.Foreground, &area)) {
    Capture.Window = inputs.Foreground;
  } else {
    Capture.Window = GetDesktopWindow();
    if (!GetWindowRect(Capture.Window, &area)) return false;
    NarrowToMonitor(inputs.Foreground, area);
    source = {area.left, area.top};
  }
  Capture.Origin = {area.left, area.top};
  Capture.Size = CaptureSizeOf(int64_t(area.right) - area.left, int64_t(area.bottom) - area.top);
  if (!Capture.Size.Ok) return false;

  Capture.WindowDC = GetWindowDC(Capture.Window);
  if (!Capture.WindowDC) return false;
  Capture.MemoryDC = CreateCompatibleDC(Capture.WindowDC);
  if (!Capture.MemoryDC) return false;
  Capture.Bitmap = CreateCompatibleBitmap(Capture.WindowDC, static_cast<int>(Capture.Size.Stride),
                                          static_cast<int>(Capture.Size.Height));
  if (!Capture.Bitmap) return false;
  Capture.FirstBitmap = SelectObject(Capture.MemoryDC, Capture.Bitmap);
  if (!Capture.FirstBitmap || Capture.FirstBitmap == HGDI_ERROR) return false;
  SelectSystemPalette();
  if (!BitBlt(Capture.MemoryDC, 0, 0, static_cast<int>(Capture.Size.Width), static_cast<int>(Capture.Size.Height),
              Capture.WindowDC, source.x, source.y, SRCCOPY))
    return false;
  FrameFocus(inputs.Focus);
  DrawCursor(inputs.Cursor, inputs.CursorPos);
  return true;
}

}  // namespace

TCaptureSize CaptureSizeOf(int64_t width, int64_t height) {
  TCaptureSize size;
  if (width < 0 || height < 0 || width > kMaxCaptureSide || height > kMaxCaptureSide) return size;
  if (width == 0) width = 1;
  if (height == 0) height = 1;
  size.Ok = true;
  size.Width = static_cast<uint32_t>(width);
  size.Height = static_cast<uint32_t>(height);
  size.Stride = static_cast<uint32_t>((width + 3) & ~int64_t(3));
  return size;
}

namespace {

struct TRememberedFocus {
  bool Set = false;
  HWND Focus = nullptr;
  HCURSOR Cursor = nullptr;
  POINT CursorPos{};
};
// Written by the faulting thread before its processing starts, read by the
// processing: both under the exception lock.
TRememberedFocus Remembered;

}  // namespace

void RememberFocus(HWND focus, HCURSOR cursor, POINT cursorPos) {
  Remembered.Set = true;
  Remembered.Focus = focus;
  Remembered.Cursor = cursor;
  Remembered.CursorPos = cursorPos;
}

TCaptureInputs CurrentCaptureInputs(uint16_t sendFlags) {
  TCaptureInputs inputs;
  inputs.ForegroundOnly = (sendFlags & 0x20) != 0;
  inputs.Foreground = GetForegroundWindow();
  if (Remembered.Set) {
    inputs.Focus = Remembered.Focus;
    inputs.Cursor = Remembered.Cursor;
    inputs.CursorPos = Remembered.CursorPos;
    Remembered = TRememberedFocus{};
    return inputs;
  }
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  // The focus is the faulting program's, not this thread's: read it from
  // the thread that owns the foreground window.
  const DWORD owner = inputs.Foreground ? GetWindowThreadProcessId(inputs.Foreground, nullptr) : 0;
  if (owner && GetGUIThreadInfo(owner, &thread)) inputs.Focus = thread.hwndFocus;
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;
  if (GetCursorInfo(&cursor) && (cursor.flags & CURSOR_SHOWING) != 0) {
    inputs.Cursor = cursor.hCursor;
    inputs.CursorPos = cursor.ptScreenPos;
  }
  return inputs;
}

bool CaptureScreen(const TCaptureInputs& inputs) noexcept {
  DiscardScreenshot();
  bool taken = false;
  try {
    taken = TakeCapture(inputs);
  } catch (...) {
  }
  if (!taken) DiscardScreenshot();
  return taken;
}

void SaveScreenshot(const std::string& fileName) noexcept {
  if (fileName.empty() || !Capture.Bitmap) return;
  try {
    try {
      ReduceColours();
    } catch (...) {
      // The capture bitmap is kept and read as it is.
    }
    std::vector<uint8_t> rows;
    TScreenPalette palette;
    if (!ReadIndexedRows(rows, palette)) return;
    TMemoryStream png;
    WritePng(png, rows.data(), Capture.Size.Width, Capture.Size.Height, Capture.Size.Stride, true, palette);
    rows.clear();
    rows.shrink_to_fit();
    TFileStream file(fileName, fmCreate);
    file.WriteBuffer(png.Memory(), png.Size());
  } catch (...) {
    // The report then goes without the picture.
  }
}

void DiscardScreenshot() noexcept {
  if (Capture.MemoryDC) {
    if (Capture.FirstPalette) SelectPalette(Capture.MemoryDC, Capture.FirstPalette, FALSE);
    if (Capture.FirstBitmap && Capture.FirstBitmap != HGDI_ERROR) SelectObject(Capture.MemoryDC, Capture.FirstBitmap);
  }
  if (Capture.PaletteMade && Capture.Palette) DeleteObject(Capture.Palette);
  if (Capture.Bitmap) DeleteObject(Capture.Bitmap);
  if (Capture.MemoryDC) DeleteDC(Capture.MemoryDC);
  if (Capture.WindowDC) ReleaseDC(Capture.Window, Capture.WindowDC);
  Capture = TCaptureState{};
}

TScreenshotView CurrentScreenshot() noexcept {
  TScreenshotView view;
  if (!Capture.Bitmap) return view;
  view.DC = Capture.MemoryDC;
  view.Bitmap = Capture.Bitmap;
  view.Size = Capture.Size;
  view.Origin = Capture.Origin;
  view.PaletteMade = Capture.PaletteMade;
  return view;
}

namespace {

const TVezavuModuleOptions* ProcessingOptions() { return LibraryState().Options.get(); }

}  // namespace

void CaptureProcessingScreenshot() {
  const TVezavuModuleOptions* options = ProcessingOptions();
  CaptureScreen(CurrentCaptureInputs(options ? options->SendFlags() : 0));
}

void SaveProcessingScreenshot() {
  if (const TVezavuModuleOptions* options = ProcessingOptions()) SaveScreenshot(ScreenshotName(*options));
}

void DeleteProcessingScreenshot() {
  const TVezavuModuleOptions* options = ProcessingOptions();
  if (!options) return;
  const std::string name = ScreenshotName(*options);
  if (!name.empty()) DeleteFileA(name.c_str());
}

}  // namespace RevavaRez
