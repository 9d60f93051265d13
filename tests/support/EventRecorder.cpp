#include "EventRecorder.h"

void TEventRecorder::Record(DISPID dispid, DISPPARAMS& params) {
  TRecordedEvent event;
  event.Dispid = dispid;
  event.ThreadId = GetCurrentThreadId();
  std::lock_guard<std::mutex> lock(FLock);
  // Dispatch order is the reverse of declaration order.
  for (UINT i = params.cArgs; i-- > 0;) {
    VARIANTARG& arg = params.rgvarg[i];
    TRecordedArg recorded;
    recorded.Type = static_cast<VARTYPE>(arg.vt & ~VT_BYREF);
    const bool byRef = (arg.vt & VT_BYREF) != 0;
    switch (recorded.Type) {
      case VT_I2:
        recorded.Long = byRef ? *arg.piVal : arg.iVal;
        if (byRef && FReplace) *arg.piVal = FReplaceKey;
        break;
      case VT_I4:
        recorded.Long = byRef ? *arg.plVal : arg.lVal;
        break;
      case VT_BSTR: {
        BSTR text = byRef ? *arg.pbstrVal : arg.bstrVal;
        if (text) recorded.Text.assign(text, SysStringLen(text));
        break;
      }
      default:
        break;
    }
    event.Args.push_back(recorded);
  }
  FEvents.push_back(std::move(event));
}

std::vector<TRecordedEvent> TEventRecorder::Events() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FEvents;
}

size_t TEventRecorder::Count(DISPID dispid) const {
  std::lock_guard<std::mutex> lock(FLock);
  size_t count = 0;
  for (const TRecordedEvent& event : FEvents)
    if (event.Dispid == dispid) ++count;
  return count;
}

std::vector<long> TEventRecorder::FirstArgs(DISPID dispid) const {
  std::lock_guard<std::mutex> lock(FLock);
  std::vector<long> values;
  for (const TRecordedEvent& event : FEvents)
    if (event.Dispid == dispid && !event.Args.empty()) values.push_back(event.Args[0].Long);
  return values;
}

void TEventRecorder::Clear() {
  std::lock_guard<std::mutex> lock(FLock);
  FEvents.clear();
}

void TEventRecorder::SetReplaceKey(short key) {
  std::lock_guard<std::mutex> lock(FLock);
  FReplace = true;
  FReplaceKey = key;
}
