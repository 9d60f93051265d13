// The thumbnail strip: loading 120 thumbnails (BMP and JPEG) from a local
// index into the control, and re-flowing them from 12 to 6 columns through
// the layout thread, one thumbnail per message. As the baseline in the same
// run, the same 120 thumbnails are placed by the same grid in one pass on
// the control's thread. Takes a display.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BrindoluxCtrl.h"
#include "KrmWriter.h"
#include "nails/NailsFrame.h"
#include "PumpUntil.h"
#include "StreamedRecording.h"

namespace {

constexpr int kCount = 120;
constexpr int kRounds = 5;
constexpr DWORD kWaitMs = 30000;

LRESULT CALLBACK HostProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

std::string ImageName(int k) { return "n" + std::to_string(k) + (k % 2 ? ".jpg" : ".bmp"); }

// Thumbnails as a presenter's program would save them: 160 x 120.
std::string MakeFolder() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "brx_strip_bench\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "nails").c_str(), nullptr);
  std::string index;
  for (int k = 0; k < kCount; ++k) {
    TestPicture picture = TestPicture::Gradient(160, 120);
    picture.SetPixel(k % 160, 0, 0, 0, 255);
    WriteFileBytes(folder + "nails\\" + ImageName(k),
                   k % 2 ? JpegCompressUpsideDown(picture) : BmpFileImage(picture));
    index += std::to_string(k * 5000) + "=" + ImageName(k) + "\r\n";
  }
  WriteFileBytes(folder + "nails.xml", Bytes(index.begin(), index.end()));
  return folder;
}

bool PlacedByGrid(TNailsFrame& Strip, int Columns) {
  if (Strip.Count() == 0) return false;
  const int row = Strip.Nail(0).Height() + 10;
  for (int k = 0; k < Strip.Count(); ++k) {
    const TNail& nail = Strip.Nail(k);
    if (nail.Left() != 10 + (k % Columns) * 74 || nail.Top() != 10 + (k / Columns) * row - Strip.ScrollPosition())
      return false;
  }
  return true;
}

void Resize(HWND Ctrl, int Columns) { MoveWindow(Ctrl, 0, 0, Columns * 74 + 5, 400, TRUE); }

}  // namespace

int main() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &HostProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TStripBenchHost";
  RegisterClassW(&wc);
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 1000, 500,
                              nullptr, nullptr, wc.hInstance, nullptr);
  if (!host) {
    std::fprintf(stderr, "strip_bench: no window\n");
    return 1;
  }
  const std::string folder = MakeFolder();
  auto ctrl = std::make_unique<TBrindoluxCtrl>();
  ctrl->SetParentWindow(host);
  Resize(ctrl->Handle(), 12);
  PumpPending();
  TNailsFrame& strip = ctrl->NailsFrame();

  // Loading: the reader, the control's handler and the strip, to the 120th
  // thumbnail on the screen; the images alone, loaded the same way.
  double load = 0, images = 0;
  for (int round = 0; round < kRounds; ++round) {
    const double start = BenchSeconds();
    strip.LoadNails(folder);
    if (!PumpUntil([&] { return strip.Count() == kCount; }, kWaitMs)) {
      std::fprintf(stderr, "strip_bench: the thumbnails did not arrive\n");
      return 1;
    }
    UpdateWindow(strip.Handle());
    load += BenchSeconds() - start;
    const double imageStart = BenchSeconds();
    for (int k = 0; k < kCount; ++k) {
      TNail nail(strip, k);
      nail.LoadImage(folder + "nails\\" + ImageName(k));
    }
    images += BenchSeconds() - imageStart;
  }
  load /= kRounds;
  images /= kRounds;

  // Re-flow from 12 to 6 columns through the layout thread.
  double reflow = 0;
  for (int round = 0; round < kRounds; ++round) {
    Resize(ctrl->Handle(), 12);
    if (!PumpUntil([&] { return PlacedByGrid(strip, 12); }, kWaitMs)) {
      std::fprintf(stderr, "strip_bench: no 12 columns\n");
      return 1;
    }
    PumpPending();
    const double start = BenchSeconds();
    Resize(ctrl->Handle(), 6);
    if (!PumpUntil([&] { return PlacedByGrid(strip, 6); }, kWaitMs)) {
      std::fprintf(stderr, "strip_bench: no 6 columns\n");
      return 1;
    }
    UpdateWindow(strip.Handle());
    reflow += BenchSeconds() - start;
  }
  reflow /= kRounds;

  // Baseline: the same grid in one pass on this thread.
  double direct = 0;
  const int row = strip.Nail(0).Height() + 10;
  for (int round = 0; round < kRounds; ++round) {
    const int columns = round % 2 ? 12 : 6;
    const double start = BenchSeconds();
    for (int k = 1; k < kCount; ++k) {
      TNail& nail = strip.Nail(k);
      nail.SetLeft(10 + (k % columns) * 74);
      nail.SetTop(10 + (k / columns) * row - strip.ScrollPosition());
    }
    UpdateWindow(strip.Handle());
    direct += BenchSeconds() - start;
  }
  direct /= kRounds;

  std::printf("LoadNails, 120 thumbnails (half BMP, half JPEG, 160x120), mean of %d:\n", kRounds);
  std::printf("  to the 120th on the screen  %9.2f ms\n", load * 1e3);
  std::printf("  of which loading the images %9.2f ms  (%.1f%%)\n", images * 1e3, 100 * images / load);
  std::printf("  placing and the rest        %9.2f ms  (%.1f%%)\n", (load - images) * 1e3,
              100 * (load - images) / load);
  std::printf("Width change from 12 to 6 columns, through the layout thread:\n");
  std::printf("  until the last is placed    %9.2f ms, %.1f us per thumbnail\n", reflow * 1e3,
              reflow * 1e6 / (kCount - 1));
  std::printf("Baseline, the same grid in one pass on the control's thread:\n");
  std::printf("  placing all 120             %9.2f ms, %.1f us per thumbnail\n", direct * 1e3,
              direct * 1e6 / (kCount - 1));
  std::printf("Ratio layout thread / one pass: %.1f\n", reflow / direct);
  ctrl.reset();
  DestroyWindow(host);
  return 0;
}
