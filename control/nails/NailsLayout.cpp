#include "nails/NailsLayout.h"

#include <algorithm>

#include "ControlMessages.h"
#include "nails/NailsIndex.h"
#include "base/GlobalLib.h"

namespace {

struct TLayoutNailEvent {
  TLayoutNailEvent() : Handle(CreateEventW(nullptr, FALSE, FALSE, L"Layout Nail Event")) {}
  TKernelHandle Handle;
};
TLayoutNailEvent LayoutEvent;

}  // namespace

HANDLE LayoutNailEvent() { return LayoutEvent.Handle.Get(); }

TNailsLayout::TNailsLayout(HWND Target)
    : FTarget(Target), FStop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  SetPriority(THREAD_PRIORITY_LOWEST);
  Start();
}

TNailsLayout::~TNailsLayout() {
  PostThreadMessageWait(ThreadID(), Handle(), WM_QUIT, 0, 0);
  SetEvent(FStop.Get());
  WaitFor();
}

bool TNailsLayout::Relayout(int Count) {
  return PostThreadMessageWait(ThreadID(), Handle(), WM_KRM_RELAYOUT, static_cast<WPARAM>(Count), 0);
}

void TNailsLayout::Execute() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message != WM_KRM_RELAYOUT) continue;
    int n = static_cast<int>(std::min<WPARAM>(msg.wParam, MaxNails));
    for (int i = 1; i < n; ++i) {
      if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_KRM_RELAYOUT) return;
        n = static_cast<int>(std::min<WPARAM>(msg.wParam, MaxNails));
        i = 1;
        if (i >= n) break;
      }
      if (!PlaceOne(i)) return;
    }
  }
}

bool TNailsLayout::PlaceOne(int Index) {
  if (!PostMessageW(FTarget, WM_KRM_LAYOUTNAIL, static_cast<WPARAM>(Index), 0)) return true;
  HANDLE handles[2] = {FStop.Get(), LayoutNailEvent()};
  return WaitForMultipleObjects(2, handles, FALSE, PlaceWaitMs) != WAIT_OBJECT_0;
}
