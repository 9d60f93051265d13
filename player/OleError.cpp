#include "OleError.h"

#include <cstdio>

#include "ole/ComPtr.h"

namespace {

std::wstring FromBstr(BSTR Text) { return Text ? std::wstring(Text, SysStringLen(Text)) : std::wstring(); }

}  // namespace

std::wstring EOleError::SystemText(HRESULT Code) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(Code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (buffer) {
    text.assign(buffer, length);
    LocalFree(buffer);
  }
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) {
    wchar_t fallback[32];
    std::swprintf(fallback, 32, L"OLE error %08X", static_cast<unsigned>(Code));
    text = fallback;
  }
  return text;
}

void EOleError::Check(HRESULT Code, IUnknown* Object, REFIID Interface) {
  if (SUCCEEDED(Code)) return;
  std::wstring message;
  TComPtr<ISupportErrorInfo> support;
  if (Object && SUCCEEDED(Object->QueryInterface(IID_ISupportErrorInfo, support.ReceiveVoid())) &&
      support->InterfaceSupportsErrorInfo(Interface) == S_OK) {
    TComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Receive()) == S_OK && info) {
      BSTR description = nullptr;
      if (SUCCEEDED(info->GetDescription(&description))) message = FromBstr(description);
      SysFreeString(description);
    }
  }
  if (message.empty()) message = SystemText(Code);
  throw EOleError(Code, message);
}

void EOleError::CheckInvoke(HRESULT Code, EXCEPINFO& Info) {
  if (SUCCEEDED(Code)) return;
  std::wstring message;
  HRESULT code = Code;
  if (Code == DISP_E_EXCEPTION) {
    if (Info.pfnDeferredFillIn) Info.pfnDeferredFillIn(&Info);
    message = FromBstr(Info.bstrDescription);
    if (FAILED(Info.scode)) code = Info.scode;
  }
  SysFreeString(Info.bstrSource);
  SysFreeString(Info.bstrDescription);
  SysFreeString(Info.bstrHelpFile);
  Info.bstrSource = Info.bstrDescription = Info.bstrHelpFile = nullptr;
  if (message.empty()) message = SystemText(code);
  throw EOleError(code, message);
}
