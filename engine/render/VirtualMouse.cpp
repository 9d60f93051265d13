#include "render/VirtualMouse.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/BitmapImage.h"
#include "base/Exception.h"

namespace {

const char kUnit[] = "UnitShare";

// Any address inside this module finds the module, so the cursor picture is
// found in the control library as well as in a program linking the engine.
const char kModuleAnchor = 0;

HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module);
  return module;
}

}  // namespace

TVirtualMouse::TVirtualMouse(HDC dc) : FTarget(dc) {
  FCursor.reset(
      static_cast<HBITMAP>(LoadImageW(OwnModule(), L"BMPMOUSE", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  BRX_ASSERT(FCursor != nullptr, kUnit);

  // Room for a colour table too, in case GDI writes one.
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
  header->biSize = sizeof(BITMAPINFOHEADER);
  BRX_ASSERT(
      GetDIBits(dc, FCursor.get(), 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS) != 0,
      kUnit);
  FWidth = header->biWidth;
  FHeight = std::abs(header->biHeight);

  FBackground.reset(CreateCompatibleBitmap(dc, FWidth, FHeight));
  BRX_ASSERT(FBackground != nullptr, kUnit);
}

void TVirtualMouse::Show(int32_t x, int32_t y) {
  if (FShown) {
    if (x == FX && y == FY) return;
    Hide();
  }
  if (x == -1 && y == -1) {
    x = FX;
    y = FY;
  }
  if (!FDeferred && !Draw(x, y)) return;
  FX = x;
  FY = y;
  FShown = true;
}

void TVirtualMouse::Hide() {
  if (!FShown) return;
  if (FDrawn) Restore();
  FShown = false;
}

void TVirtualMouse::BeginDeferred() {
  if (FDrawn) Restore();
  FDeferred = true;
}

void TVirtualMouse::EndDeferred() {
  if (!FDeferred) return;
  FDeferred = false;
  if (FShown && !FDrawn && !Draw(FX, FY)) FShown = false;
}

bool TVirtualMouse::Draw(int32_t x, int32_t y) {
  TMemoryDC scratch(CreateCompatibleDC(FTarget));
  // Without a context nothing was saved, so the cursor must not count as
  // shown: hiding it would paint stale pixels over the picture.
  if (scratch == nullptr) return false;
  {
    TSelection background(scratch.get(), FBackground.get());
    BitBlt(scratch.get(), 0, 0, FWidth, FHeight, FTarget, x, y, SRCCOPY);
  }
  {
    TSelection cursor(scratch.get(), FCursor.get());
    TransparentBlt(FTarget, x, y, FWidth, FHeight, scratch.get(), 0, 0, FWidth, FHeight, TransparentColor);
  }
  FDrawn = true;
  return true;
}

void TVirtualMouse::Restore() {
  TMemoryDC scratch(CreateCompatibleDC(FTarget));
  if (scratch != nullptr) {
    TSelection background(scratch.get(), FBackground.get());
    BitBlt(FTarget, FX, FY, FWidth, FHeight, scratch.get(), 0, 0, SRCCOPY);
  }
  FDrawn = false;
}

bool TVirtualMouse::HitTest(const RECT& rect) const {
  const RECT own = {FX, FY, FX + FWidth, FY + FHeight};
  RECT common;
  return IntersectRect(&common, &own, &rect) != FALSE;
}

void TVirtualMouse::SetImage(const uint8_t* image, uint32_t length) {
  std::string why;
  if (!CheckBitmapImage(image, length, TBitmapUse::Cursor, why)) throw Exception("Cursor image: " + why);
  Hide();

  const auto* info = reinterpret_cast<const BITMAPINFO*>(image + sizeof(BmpFileHeader));
  const BmpInfoHeader& header = BmpInfo(image);
  const uint8_t* pixels = image + BmpFile(image).bfOffBits;
  const int32_t width = header.biWidth;
  const int32_t height = std::abs(header.biHeight);

  if (width == FWidth && height == FHeight) {
    const int rows = SetDIBits(FTarget, FCursor.get(), 0, height, pixels, info, DIB_RGB_COLORS);
    if (rows < height) {
      char text[64];
      std::snprintf(text, sizeof(text), "Brindolux.ocx->SetDIBits ErrorCode = %d",
                    static_cast<int>(GetLastError()));
      OutputDebugStringA(text);
    }
    return;
  }

  // Both new bitmaps exist before the old ones go, so a failure leaves a
  // cursor that still draws.
  TBitmapHandle cursor(CreateDIBitmap(FTarget, &info->bmiHeader, CBM_INIT, pixels, info, DIB_RGB_COLORS));
  BRX_ASSERT(cursor != nullptr, kUnit);
  TBitmapHandle background(CreateCompatibleBitmap(FTarget, width, height));
  BRX_ASSERT(background != nullptr, kUnit);
  FCursor = std::move(cursor);
  FBackground = std::move(background);
  FWidth = width;
  FHeight = height;
}
