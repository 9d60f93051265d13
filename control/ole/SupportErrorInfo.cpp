#include "ole/SupportErrorInfo.h"

#include "BrindoluxTLB.h"
#include "com/Server.h"
#include "base/SystemText.h"
#include "ole/ComPtr.h"

#include <new>

void OleCheck(HRESULT result) {
  if (SUCCEEDED(result)) return;
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text ? text : "";
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  if (message.empty()) {
    char code[32];
    wsprintfA(code, "OLE error %08X", static_cast<unsigned>(result));
    message = code;
  }
  throw EOleSysError(result, message);
}

std::wstring ExceptionText(const std::exception& e) noexcept {
  try {
    return AnsiToWide(e.what());
  } catch (...) {
    return std::wstring();
  }
}

HRESULT ReportComError(REFIID iid, HRESULT code, const std::wstring& description) noexcept {
  TComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Receive()))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(kBrindoluxProgID));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    TComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(info))) SetErrorInfo(0, info.Get());
  }
  return code;
}

HRESULT ReportCurrentException(REFIID iid, std::wstring* description) noexcept {
  HRESULT code = E_UNEXPECTED;
  std::wstring text;
  try {
    throw;
  } catch (const EOleSysError& e) {
    if (FAILED(e.ErrorCode())) code = e.ErrorCode();
    text = ExceptionText(e);
  } catch (const std::bad_alloc&) {
    text = L"Out of memory";
  } catch (const std::exception& e) {
    text = ExceptionText(e);
  } catch (...) {
    text = L"Unexpected failure";
  }
  if (description) {
    try {
      *description = text;
    } catch (...) {
    }
  }
  return ReportComError(iid, code, text);
}

HRESULT STDMETHODCALLTYPE TSupportErrorInfo::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID_IBrindolux) ? S_OK : S_FALSE;
}
