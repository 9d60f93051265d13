#include "ole/ViewObject.h"

#include <memory>
#include <type_traits>

namespace {

struct TDCDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct TObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using TMemoryDC = std::unique_ptr<std::remove_pointer_t<HDC>, TDCDeleter>;
using TBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, TObjectDeleter>;

class TSelection {
 public:
  TSelection(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
  ~TSelection() { SelectObject(FDC, FOld); }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

// The window's client picture as it stands: let the window print itself and
// its children; when it is on the screen, take what the screen shows, which
// also holds children that do not print.
bool CaptureWindow(HWND window, HDC target, int width, int height) {
  if (IsWindowVisible(window)) {
    HDC screen = GetDC(window);
    if (screen) {
      const BOOL copied = BitBlt(target, 0, 0, width, height, screen, 0, 0, SRCCOPY);
      ReleaseDC(window, screen);
      if (copied) return true;
    }
  }
  SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(target),
               PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND);
  return true;
}

}  // namespace

HRESULT STDMETHODCALLTYPE TViewObject::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDC,
                                            LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                            ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!drawDC || !bounds) return E_INVALIDARG;
  const HWND window = Core().Window();
  RECT client{};
  GetClientRect(window, &client);
  const int width = client.right;
  const int height = client.bottom;
  const int targetWidth = bounds->right - bounds->left;
  const int targetHeight = bounds->bottom - bounds->top;
  if (width <= 0 || height <= 0 || targetWidth == 0 || targetHeight == 0) return S_OK;

  TMemoryDC memory(CreateCompatibleDC(drawDC));
  TBitmap picture(CreateCompatibleBitmap(drawDC, width, height));
  if (!memory || !picture) return E_OUTOFMEMORY;
  {
    TSelection selected(memory.get(), picture.get());
    CaptureWindow(window, memory.get(), width, height);
    const int oldMode = SetStretchBltMode(drawDC, COLORONCOLOR);
    const BOOL drawn = StretchBlt(drawDC, bounds->left, bounds->top, targetWidth, targetHeight, memory.get(),
                                  0, 0, width, height, SRCCOPY);
    SetStretchBltMode(drawDC, oldMode);
    if (!drawn) return E_FAIL;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TViewObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                                   LOGPALETTE** colorSet) {
  if (colorSet) *colorSet = nullptr;
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE TViewObject::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TViewObject::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TViewObject::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  Core().SetViewAdvise(aspects, flags, sink);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TViewObject::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  Core().GetViewAdvise(aspects, flags, sink);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TViewObject::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = Core().Extent();
  return S_OK;
}
