#include "ole/PersistStreamInit.h"

#include <vector>

#include "BrindoluxTLB.h"
#include "ole/SupportErrorInfo.h"

namespace {

// Reads exactly size bytes; a stream that ends early is damaged.
HRESULT ReadAll(IStream* stream, void* data, ULONG size) {
  ULONG read = 0;
  const HRESULT result = stream->Read(data, size, &read);
  if (FAILED(result)) return result;
  return read == size ? S_OK : STG_E_READFAULT;
}

}  // namespace

HRESULT STDMETHODCALLTYPE TPersistStreamInit::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_BrindoluxCtrl;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TPersistStreamInit::IsDirty() { return Core().Dirty() ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE TPersistStreamInit::Load(LPSTREAM stream) {
  if (!stream) return E_POINTER;
  uint8_t prefix[kFormStatePrefixBytes];
  HRESULT result = ReadAll(stream, prefix, sizeof(prefix));
  if (FAILED(result)) return result;
  try {
    uint16_t version = 0;
    uint32_t bodyBytes = 0;
    ReadFormStatePrefix(prefix, version, bodyBytes);
    std::vector<uint8_t> body(bodyBytes);
    result = ReadAll(stream, body.data(), bodyBytes);
    if (FAILED(result)) return result;
    LoadFormState(LoadFormProperties(version, body.data(), body.size()));
    Core().SetDirty(false);
    return S_OK;
  } catch (const std::exception& e) {
    return ReportComError(IID_IPersistStreamInit, E_FAIL, ExceptionText(e));
  }
}

HRESULT STDMETHODCALLTYPE TPersistStreamInit::Save(LPSTREAM stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  try {
    const std::vector<uint8_t> bytes = SaveFormProperties(SaveFormState());
    ULONG written = 0;
    const HRESULT result = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (FAILED(result)) return result;
    if (written != bytes.size()) return STG_E_MEDIUMFULL;
    if (clearDirty) Core().SetDirty(false);
    return S_OK;
  } catch (const std::exception& e) {
    return ReportComError(IID_IPersistStreamInit, E_FAIL, ExceptionText(e));
  }
}

HRESULT STDMETHODCALLTYPE TPersistStreamInit::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  try {
    size->QuadPart = SaveFormProperties(SaveFormState()).size();
    return S_OK;
  } catch (const std::exception& e) {
    return ReportComError(IID_IPersistStreamInit, E_FAIL, ExceptionText(e));
  }
}

HRESULT STDMETHODCALLTYPE TPersistStreamInit::InitNew() {
  try {
    LoadFormState(TFormProperties());
    Core().SetDirty(false);
    return S_OK;
  } catch (const std::exception& e) {
    return ReportComError(IID_IPersistStreamInit, E_FAIL, ExceptionText(e));
  }
}
