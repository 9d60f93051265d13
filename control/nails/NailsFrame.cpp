#include "nails/NailsFrame.h"

#include <windowsx.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

#include "ControlEvents.h"
#include "ControlMessages.h"
#include "nails/NailsCreator.h"
#include "nails/NailsLayout.h"
#include "base/Exception.h"
#include "base/GlobalLib.h"
#include "base/Log.h"
#include "base/SystemText.h"
#include "decode/JPEGDecoder.h"
#include "decode/SuperMemoryStream.h"

namespace {

const wchar_t* const StripClass = L"TNailsFrame";
const wchar_t* const SplitterClass = L"TNailsSplitter";
// Thumbnails and rows are this far apart, and the first is this far in.
constexpr int NailGap = 10;
// A thumbnail's image is no larger than this in pixels.
constexpr uint64_t MaxImagePixels = 64ull << 20;
// Scroll steps of a line, in pixels.
constexpr int ScrollLine = 8;

std::string LowerExtension(const std::string& Path) {
  const size_t dot = Path.rfind('.');
  const size_t folder = Path.find_last_of("\\/");
  if (dot == std::string::npos || (folder != std::string::npos && dot < folder)) return {};
  std::string ext = Path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::vector<uint8_t> ReadImageFile(const std::string& Path) {
  std::ifstream file(Path, std::ios::binary);
  if (!file) throw Exception("Cannot open file \"" + Path + "\". " + SystemErrorText(ERROR_FILE_NOT_FOUND));
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > MaxNailImageBytes)
    throw EInvalidGraphic("Picture file is too large: " + Path);
  file.seekg(0, std::ios::beg);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size > 0 && !file.read(reinterpret_cast<char*>(bytes.data()), size))
    throw Exception("Cannot read file \"" + Path + "\"");
  return bytes;
}

class TMemoryDC {
 public:
  TMemoryDC() {
    HDC screen = GetDC(nullptr);
    FDC = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
  }
  ~TMemoryDC() {
    if (FOld) SelectObject(FDC, FOld);
    DeleteDC(FDC);
  }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  HDC Get() const { return FDC; }
  void Select(HGDIOBJ Object) {
    HGDIOBJ old = SelectObject(FDC, Object);
    if (!FOld) FOld = old;
  }

 private:
  HDC FDC;
  HGDIOBJ FOld = nullptr;
};

HBITMAP ScreenBitmap(int Width, int Height) {
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, Width, Height);
  ReleaseDC(nullptr, screen);
  if (!bitmap) throw Exception("Cannot create a thumbnail bitmap");
  return bitmap;
}

}  // namespace

// ---- one thumbnail ------------------------------------------------------------

TNail::TNail(TNailsFrame& Strip, int Index)
    : FStrip(Strip), FIndex(Index), FLeft(NailGap), FTop(NailGap + Strip.ScrollPosition()) {}

TNail::~TNail() = default;

void TNail::LoadImage(const std::string& Path) {
  FImagePath = Path;
  const std::string ext = LowerExtension(Path);
  if (ext == ".jpg" || ext == ".jpeg") {
    LoadJpegFile(Path);
    return;
  }
  if (ext != ".bmp" && ext != ".ico" && ext != ".wmf" && ext != ".emf")
    throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
  const std::vector<uint8_t> bytes = ReadImageFile(Path);
  if (ext == ".bmp") {
    LoadBitmapFile(Path);
  } else if (ext == ".ico") {
    FIcon.reset(static_cast<HICON>(::LoadImageA(nullptr, Path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE)));
    if (!FIcon) throw EInvalidGraphic("Icon image is not valid: " + Path);
  } else if (ext == ".emf") {
    FMetafile.reset(SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data()));
    if (!FMetafile) throw EInvalidGraphic("Metafile is not valid: " + Path);
  } else {
    // A placeable metafile carries a 22-byte header before the metafile.
    size_t skip = 0;
    if (bytes.size() >= 22 && bytes[0] == 0xD7 && bytes[1] == 0xCD && bytes[2] == 0xC6 && bytes[3] == 0x9A)
      skip = 22;
    if (bytes.size() > skip)
      FMetafile.reset(SetWinMetaFileBits(static_cast<UINT>(bytes.size() - skip), bytes.data() + skip, nullptr,
                                         nullptr));
    if (!FMetafile) throw EInvalidGraphic("Metafile is not valid: " + Path);
  }
}

void TNail::LoadBitmapFile(const std::string& Path) {
  HBITMAP loaded = static_cast<HBITMAP>(
      ::LoadImageA(nullptr, Path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (!loaded) throw EInvalidGraphic("Bitmap image is not valid: " + Path);
  std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, TObjectDeleter> source(loaded);
  BITMAP info{};
  GetObjectW(loaded, sizeof(info), &info);
  TMemoryDC dc;
  dc.Select(loaded);
  KeepStretched(dc.Get(), info.bmWidth, info.bmHeight);
}

void TNail::LoadJpegFile(const std::string& Path) {
  const std::vector<uint8_t> bytes = ReadImageFile(Path);
  TSuperMemoryStream stream;
  stream.SetPointer(bytes.data(), static_cast<int64_t>(bytes.size()));
  BITMAPINFOHEADER info{};
  if (!ReadJPEGHeader(info, stream)) throw EInvalidGraphic("JPEG image is not valid: " + Path);
  const uint64_t height = static_cast<uint64_t>(info.biHeight < 0 ? -int64_t(info.biHeight) : info.biHeight);
  if (info.biWidth <= 0 || height == 0 || uint64_t(info.biWidth) * height > MaxImagePixels)
    throw EInvalidGraphic("JPEG image is too large: " + Path);
  const uint64_t rowBytes = RowBytes(static_cast<uint32_t>(info.biWidth), 24, 32);
  std::vector<uint8_t> pixels(static_cast<size_t>(rowBytes * height));
  stream.Seek(0, soBeginning);
  if (!DecodeJPEGToDIB(stream, info, pixels.data() + (height - 1) * rowBytes))
    throw EInvalidGraphic("JPEG image is not valid: " + Path);
  // Rows run from the last in memory to the first: a bottom-up DIB.
  BITMAPINFO dib{};
  dib.bmiHeader = info;
  dib.bmiHeader.biHeight = static_cast<LONG>(height);
  FBitmap.reset(ScreenBitmap(ImageSize, ImageSize));
  TMemoryDC dc;
  dc.Select(FBitmap.get());
  SetStretchBltMode(dc.Get(), HALFTONE);
  SetBrushOrgEx(dc.Get(), 0, 0, nullptr);
  StretchDIBits(dc.Get(), 0, 0, ImageSize, ImageSize, 0, 0, info.biWidth, static_cast<int>(height),
                pixels.data(), &dib, DIB_RGB_COLORS, SRCCOPY);
}

void TNail::KeepStretched(HDC Source, int Width, int Height) {
  FBitmap.reset(ScreenBitmap(ImageSize, ImageSize));
  TMemoryDC dc;
  dc.Select(FBitmap.get());
  SetStretchBltMode(dc.Get(), HALFTONE);
  SetBrushOrgEx(dc.Get(), 0, 0, nullptr);
  StretchBlt(dc.Get(), 0, 0, ImageSize, ImageSize, Source, 0, 0, Width, Height, SRCCOPY);
}

void TNail::SetSeconds(int32_t Seconds) {
  FSeconds = Seconds;
  Invalidate();
  FTimeCaption = SecondsToTimeStr(Seconds);
  Invalidate();
}

int TNail::Left() const { return FLeft; }
int TNail::Top() const { return FTop - FStrip.ScrollPosition(); }
int TNail::Height() const { return BorderSize + FStrip.TextHeight(); }

void TNail::SetLeft(int X) {
  Invalidate();
  FLeft = X;
  Invalidate();
}

void TNail::SetTop(int Y) {
  Invalidate();
  FTop = Y + FStrip.ScrollPosition();
  Invalidate();
}

void TNail::SetSelected(bool Value) {
  FSelected = Value;
  Refresh();
}

void TNail::Refresh() {
  FImageShown = true;
  FTimeShown = true;
  Invalidate();
}

RECT TNail::BorderRect() const { return {Left(), Top(), Left() + BorderSize, Top() + BorderSize}; }

RECT TNail::ImageRect() const { return {Left() + 2, Top() + 2, Left() + 2 + ImageSize, Top() + 2 + ImageSize}; }

RECT TNail::TimeRect() const {
  const int left = Left() + 8, top = Top() + BorderSize;
  return {left, top, left + FStrip.TextWidth(FTimeCaption, FSelected), top + FStrip.TextHeight()};
}

RECT TNail::NumberRect() const {
  const RECT image = ImageRect();
  const int width = FStrip.TextWidth(NumberCaption(), false);
  return {image.right - width, image.top, image.right, image.top + FStrip.TextHeight()};
}

void TNail::Invalidate() const {
  const HWND strip = FStrip.Handle();
  if (!strip) return;
  // The time label may reach past the border in a large font.
  const RECT area{Left(), Top(), Left() + BorderSize + NailGap + FStrip.TextHeight() * 4, Bottom()};
  InvalidateRect(strip, &area, FALSE);
}

void TNail::Paint(HDC DC) const {
  if (BorderShown()) {
    HBRUSH green = CreateSolidBrush(Green);
    RECT frame = BorderRect();
    FrameRect(DC, &frame, green);
    InflateRect(&frame, -1, -1);
    FrameRect(DC, &frame, green);
    DeleteObject(green);
  }
  if (FImageShown) {
    const RECT image = ImageRect();
    if (FBitmap) {
      TMemoryDC source;
      source.Select(FBitmap.get());
      BitBlt(DC, image.left, image.top, ImageSize, ImageSize, source.Get(), 0, 0, SRCCOPY);
    } else if (FIcon) {
      DrawIconEx(DC, image.left, image.top, FIcon.get(), ImageSize, ImageSize, 0, nullptr, DI_NORMAL);
    } else if (FMetafile) {
      PlayEnhMetaFile(DC, FMetafile.get(), &image);
    }
  }
  if (FTimeShown) {
    const RECT time = TimeRect();
    SelectObject(DC, FStrip.Font(FSelected));
    SetBkMode(DC, TRANSPARENT);
    SetTextColor(DC, FSelected ? Green : Yellow);
    TextOutA(DC, time.left, time.top, FTimeCaption.c_str(), static_cast<int>(FTimeCaption.size()));
  }
  if (FImageShown) {
    const RECT number = NumberRect();
    const std::string caption = NumberCaption();
    SelectObject(DC, FStrip.Font(false));
    SetBkMode(DC, OPAQUE);
    SetBkColor(DC, RGB(0, 0, 0));
    SetTextColor(DC, Yellow);
    TextOutA(DC, number.left, number.top, caption.c_str(), static_cast<int>(caption.size()));
  }
}

// ---- the strip ------------------------------------------------------------------

TNailsFrame::TNailsFrame(HWND Parent) : FParent(Parent) {
  RegisterControlClass(StripClass, &StripProc);
  RegisterControlClass(SplitterClass, &SplitterProc);
  FBrush.reset(CreateSolidBrush(FColor));
  LOGFONTW font{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
  FFont.reset(CreateFontIndirectW(&font));
  font.lfWeight = FW_BOLD;
  FBoldFont.reset(CreateFontIndirectW(&font));
  if (!FFont || !FBoldFont) throw Exception("Cannot create the thumbnail strip's font");
  HDC screen = GetDC(nullptr);
  FMeasureDC = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  FMeasureOld = SelectObject(FMeasureDC, FFont.get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(FMeasureDC, &metrics);
  FTextHeight = metrics.tmHeight;
  RECT client{};
  GetClientRect(Parent, &client);
  FHandle.reset(CreateWindowExW(0, StripClass, L"", WS_CHILD | WS_VSCROLL | WS_CLIPSIBLINGS, 0,
                                client.bottom - FHeight, client.right, FHeight, Parent, nullptr, ControlModule(),
                                this));
  if (!FHandle) throw Exception("Cannot create the thumbnail strip");
  ShowScrollBar(FHandle.get(), SB_VERT, FALSE);
}

TNailsFrame::~TNailsFrame() {
  *FAlive = false;
  StopReader();
  FSelected = nullptr;
  ClearNails();
  FLayout.reset();
  FSplitter.reset();
  FHandle.reset();
  SelectObject(FMeasureDC, FMeasureOld);
  DeleteDC(FMeasureDC);
}

int TNailsFrame::TextWidth(const std::string& Text, bool Bold) const {
  SelectObject(FMeasureDC, Font(Bold));
  SIZE size{};
  GetTextExtentPoint32A(FMeasureDC, Text.c_str(), static_cast<int>(Text.size()), &size);
  return size.cx;
}

bool TNailsFrame::Visible() const {
  return (GetWindowLongPtrW(FHandle.get(), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool TNailsFrame::ReaderRunning() const { return FReader && !FReader->Finished(); }

void TNailsFrame::SetColor(COLORREF Color) {
  FColor = Color;
  FBrush.reset(CreateSolidBrush(Color));
  InvalidateRect(FHandle.get(), nullptr, FALSE);
}

void TNailsFrame::StopReader() {
  if (FReader) {
    FReader->Terminate();
    FReader->WaitFor();
    FReader.reset();
  }
  // What the last reader posted belongs to a set that is gone.
  MSG msg;
  while (PeekMessageW(&msg, FParent, WM_KRM_ADDNAIL, WM_KRM_ADDNAIL, PM_REMOVE))
    delete reinterpret_cast<NailInfo*>(msg.wParam);
}

void TNailsFrame::LoadNails(const std::string& Folder) {
  StopReader();
  if (FSelected) {
    FSelected->SetSelected(false);
    FSelected = nullptr;
  }
  ClearNails();
  FReader = std::make_unique<TNailsCreator>(FParent, Folder);
  FReader->Start();
}

void TNailsFrame::Hide() {
  StopReader();
  ShowWindow(FHandle.get(), SW_HIDE);
  if (FSplitter) ShowWindow(FSplitter.get(), SW_HIDE);
  if (FAlign) FAlign();
}

void TNailsFrame::ShowStrip() {
  FSplitter.reset();
  CreateSplitter();
  ShowWindow(FHandle.get(), SW_SHOWNA);
  if (FAlign) FAlign();
}

void TNailsFrame::CreateSplitter() {
  FSplitter.reset(CreateWindowExW(0, SplitterClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0,
                                  SplitterHeight, FParent, nullptr, ControlModule(), this));
  if (!FSplitter) throw Exception("Cannot create the thumbnail strip's splitter");
}

int TNailsFrame::ColumnsFor(int NailWidth) const {
  RECT bounds{};
  GetWindowRect(FHandle.get(), &bounds);
  // The strip sets no size of its own for its scroll bar: the whole width counts.
  const int width = bounds.right - bounds.left;
  return std::max(1, width / (NailWidth + NailGap));
}

void TNailsFrame::AddNail(const std::string& Path, int32_t Seconds) {
  if (!Visible()) ShowStrip();
  FScrollBarVisible = true;
  UpdateScrollRange();
  if (FCount >= MaxNails) return;
  const int k = FCount;
  auto nail = std::make_unique<TNail>(*this, k);
  nail->LoadImage(Path);
  nail->SetSeconds(Seconds);
  FColumnCount = ColumnsFor(nail->Width());
  FNails[k] = std::move(nail);
  if (k > 0) PlaceByGrid(k);
  FNails[k]->SetIndex(k);
  FNails[k]->Refresh();
  FCount = k + 1;
  UpdateScrollRange();
}

void TNailsFrame::AddPostedNail(const std::string& Path, int32_t Seconds) {
  std::string failure;
  try {
    AddNail(Path, Seconds);
    return;
  } catch (const Exception& e) {
    failure = e.Message();
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Unknown exception";
  }
  if (FFailureShown) {
    GlobalLog().AddLine("TNailsFrame.AddNail " + Path + ": " + failure);
    return;
  }
  const std::shared_ptr<bool> alive = FAlive;
  FFailureShown = true;
  MessageBoxW(FParent, AnsiToWide(failure).c_str(), L"Brindolux", MB_OK | MB_ICONERROR);
  if (*alive) FFailureShown = false;
}

void TNailsFrame::PlaceByGrid(int Index) {
  TNail& nail = *FNails[Index];
  const TNail& previous = *FNails[Index - 1];
  if (Index % std::max(1, FColumnCount) != 0) {
    nail.SetTop(previous.Top());
    nail.SetLeft(previous.Right() + NailGap);
  } else {
    nail.SetLeft(FNails[0]->Left());
    nail.SetTop(previous.Bottom() + NailGap);
  }
}

void TNailsFrame::PlaceNail(int Index) {
  // The set may have changed since the layout thread counted it.
  if (Index < 1 || Index >= FCount) return;
  PlaceByGrid(Index);
  UpdateScrollRange();
}

void TNailsFrame::ShowPosition(int32_t Seconds) {
  TNail* found = nullptr;
  for (int i = FCount - 1; i >= 0 && !found; --i)
    if (FNails[i]->Seconds() <= Seconds) found = FNails[i].get();
  if (!found || found == FSelected) return;
  if (FSelected) FSelected->SetSelected(false);
  found->SetSelected(true);
  FSelected = found;
  if (found->Top() != NailGap) ScrollTo(FScrollPos + found->Top() - NailGap);
}

void TNailsFrame::NailClicked(TNail& Nail) {
  if (FSelected) FSelected->SetSelected(false);
  Nail.SetSelected(true);
  FSelected = &Nail;
  // Last: the container may seek, or let go of the control, in the event.
  if (FEvents) FEvents->OnSkip(Nail.Seconds());
}

void TNailsFrame::ClearNails() {
  FSelected = nullptr;
  FPressed = nullptr;
  for (int i = FCount - 1; i >= 0; --i) FNails[i].reset();
  FCount = 0;
  FScrollPos = 0;
  UpdateScrollRange();
  InvalidateRect(FHandle.get(), nullptr, FALSE);
}

void TNailsFrame::FrameResize() {
  if (FCount == 0) return;
  const int columns = ColumnsFor(FNails[0]->Width());
  if (columns == FColumnCount) return;
  FColumnCount = columns;
  // A layout thread that has ended takes no pass: the post gives up at
  // once instead of retrying on the control's thread, and the next change
  // of width gets a new thread.
  if (!FLayout || FLayout->Finished()) FLayout = std::make_unique<TNailsLayout>(FParent);
  FLayout->Relayout(FCount);
}

void TNailsFrame::UpdateScrollRange() {
  if (!FHandle) return;
  if (!FScrollBarVisible) {
    ShowScrollBar(FHandle.get(), SB_VERT, FALSE);
    return;
  }
  int bottom = 0;
  for (int i = 0; i < FCount; ++i) bottom = std::max(bottom, FNails[i]->Bottom() + FScrollPos);
  RECT client{};
  GetClientRect(FHandle.get(), &client);
  const int limit = std::max(0, bottom - static_cast<int>(client.bottom));
  if (FScrollPos > limit) {
    FScrollPos = limit;
    InvalidateRect(FHandle.get(), nullptr, FALSE);
  }
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = std::max(0, bottom - 1);
  info.nPage = static_cast<UINT>(std::max<LONG>(0, client.bottom));
  info.nPos = FScrollPos;
  // Most thumbnails change nothing of it; drawing the bar costs more than
  // placing one.
  SCROLLINFO shown{};
  shown.cbSize = sizeof(shown);
  shown.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  if (GetScrollInfo(FHandle.get(), SB_VERT, &shown) && shown.nMin == info.nMin && shown.nMax == info.nMax &&
      shown.nPage == info.nPage && shown.nPos == info.nPos)
    return;
  SetScrollInfo(FHandle.get(), SB_VERT, &info, TRUE);
}

void TNailsFrame::ScrollTo(int Position) {
  int bottom = 0;
  for (int i = 0; i < FCount; ++i) bottom = std::max(bottom, FNails[i]->Bottom() + FScrollPos);
  RECT client{};
  GetClientRect(FHandle.get(), &client);
  Position = std::max(0, std::min(Position, bottom - static_cast<int>(client.bottom)));
  if (Position == FScrollPos) return;
  FScrollPos = Position;
  SetScrollPos(FHandle.get(), SB_VERT, Position, TRUE);
  InvalidateRect(FHandle.get(), nullptr, FALSE);
}

void TNailsFrame::Scroll(WPARAM Request) {
  RECT client{};
  GetClientRect(FHandle.get(), &client);
  switch (LOWORD(Request)) {
    case SB_LINEUP:
      ScrollTo(FScrollPos - ScrollLine);
      break;
    case SB_LINEDOWN:
      ScrollTo(FScrollPos + ScrollLine);
      break;
    case SB_PAGEUP:
      ScrollTo(FScrollPos - client.bottom);
      break;
    case SB_PAGEDOWN:
      ScrollTo(FScrollPos + client.bottom);
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO info{};
      info.cbSize = sizeof(info);
      info.fMask = SIF_TRACKPOS;
      GetScrollInfo(FHandle.get(), SB_VERT, &info);
      ScrollTo(info.nTrackPos);
      break;
    }
    case SB_TOP:
      ScrollTo(0);
      break;
    case SB_BOTTOM:
      ScrollTo(INT_MAX / 2);
      break;
    default:
      break;
  }
}

TNail* TNailsFrame::NailAt(POINT Point) const {
  for (int i = FCount - 1; i >= 0; --i) {
    const RECT image = FNails[i]->ImageRect();
    if (FNails[i]->ImageShown() && PtInRect(&image, Point)) return FNails[i].get();
  }
  return nullptr;
}

void TNailsFrame::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(FHandle.get(), &ps);
  RECT client{};
  GetClientRect(FHandle.get(), &client);
  // Drawn off screen first: thumbnails moving one by one must not flicker.
  // The bitmap outlives the context, which deselects it when it goes:
  // Windows refuses to delete a bitmap that is still selected.
  std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, TObjectDeleter> bitmap(
      CreateCompatibleBitmap(dc, std::max<LONG>(1, client.right), std::max<LONG>(1, client.bottom)));
  TMemoryDC buffer;
  if (bitmap) {
    buffer.Select(bitmap.get());
    FillRect(buffer.Get(), &client, static_cast<HBRUSH>(FBrush.get()));
    for (int i = 0; i < FCount; ++i) {
      const TNail& nail = *FNails[i];
      const RECT area{nail.Left(), nail.Top(), nail.Left() + TNail::BorderSize + NailGap + FTextHeight * 4,
                      nail.Bottom()};
      RECT overlap;
      if (IntersectRect(&overlap, &area, &ps.rcPaint)) nail.Paint(buffer.Get());
    }
    BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
           ps.rcPaint.bottom - ps.rcPaint.top, buffer.Get(), ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
  }
  EndPaint(FHandle.get(), &ps);
}

LRESULT CALLBACK TNailsFrame::StripProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TNailsFrame*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  if (!self || self->FHandle.get() != Wnd) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  // A failing handler (or event) is shown, never unwound into the system.
  try {
    return self->HandleMessage(Msg, WParam, LParam);
  } catch (const Exception& e) {
    MessageBoxA(self->FParent, e.Message().c_str(), "Brindolux", MB_OK | MB_ICONERROR);
  } catch (const std::exception& e) {
    MessageBoxA(self->FParent, e.what(), "Brindolux", MB_OK | MB_ICONERROR);
  } catch (...) {
    MessageBoxA(self->FParent, "Unknown exception", "Brindolux", MB_OK | MB_ICONERROR);
  }
  return 0;
}

LRESULT TNailsFrame::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  const HWND wnd = FHandle.get();
  switch (Msg) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      FrameResize();
      UpdateScrollRange();
      return 0;
    case WM_VSCROLL:
      Scroll(WParam);
      return 0;
    case WM_MOUSEWHEEL:
      ScrollTo(FScrollPos - GET_WHEEL_DELTA_WPARAM(WParam) / WHEEL_DELTA * 3 * ScrollLine);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(LParam) == HTCLIENT) {
        POINT at;
        GetCursorPos(&at);
        ScreenToClient(wnd, &at);
        if (NailAt(at)) {
          SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
          return TRUE;
        }
      }
      break;
    case WM_LBUTTONDOWN:
      FPressed = NailAt({GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)});
      return 0;
    case WM_LBUTTONUP: {
      TNail* pressed = FPressed;
      FPressed = nullptr;
      if (pressed && NailAt({GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)}) == pressed) NailClicked(*pressed);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(wnd, Msg, WParam, LParam);
}

LRESULT CALLBACK TNailsFrame::SplitterProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TNailsFrame*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  if (!self || !self->FSplitter || self->FSplitter.get() != Wnd) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  try {
    return self->HandleSplitter(Msg, WParam, LParam);
  } catch (...) {
    return 0;
  }
}

LRESULT TNailsFrame::HandleSplitter(UINT Msg, WPARAM WParam, LPARAM LParam) {
  const HWND wnd = FSplitter.get();
  switch (Msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(wnd, &ps);
      FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
      EndPaint(wnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZENS)));
      return TRUE;
    case WM_LBUTTONDOWN: {
      POINT at{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
      ClientToScreen(wnd, &at);
      FDragging = true;
      FDragStartY = at.y;
      FDragStartHeight = FHeight;
      SetCapture(wnd);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (FDragging) {
        POINT at{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
        ClientToScreen(wnd, &at);
        RECT parent{};
        GetClientRect(FParent, &parent);
        const int highest = std::max<int>(MinHeight, parent.bottom - SplitterHeight);
        const int height = std::clamp(FDragStartHeight + FDragStartY - static_cast<int>(at.y), MinHeight, highest);
        if (height != FHeight) {
          FHeight = height;
          if (FAlign) FAlign();
        }
      }
      return 0;
    case WM_LBUTTONUP:
      FDragging = false;
      ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      FDragging = false;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(wnd, Msg, WParam, LParam);
}
