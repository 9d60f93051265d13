#include "com/Server.h"

#include <oleauto.h>
#include <olectl.h>

#include <memory>
#include <vector>

#include "BrindoluxTLB.h"
#include "com/ClassFactory.h"

namespace {

class TRegKey {
 public:
  TRegKey() = default;
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;
  ~TRegKey() {
    if (FKey) RegCloseKey(FKey);
  }
  HKEY* Receive() { return &FKey; }
  HKEY Get() const { return FKey; }

 private:
  HKEY FKey = nullptr;
};

struct TReleaseCom {
  void operator()(IUnknown* unknown) const { unknown->Release(); }
};
using TTypeLibPtr = std::unique_ptr<ITypeLib, TReleaseCom>;

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40];
  const int length = StringFromGUID2(guid, text, 40);
  return std::wstring(text, length > 0 ? length - 1 : 0);
}

bool WriteClassesValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  TRegKey key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
    return false;
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
         ERROR_SUCCESS;
}

bool DeleteClassesKey(const std::wstring& path) {
  const LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_BrindoluxCtrl); }

bool RegisterControlClass(const std::wstring& modulePath) {
  struct TValue {
    std::wstring Key;
    const wchar_t* Name;
    std::wstring Data;
  };
  const std::wstring clsid = ClassKey();
  const std::wstring miscStatus = std::to_wstring(kBrindoluxMiscStatus);
  const std::vector<TValue> values = {
      {clsid, nullptr, kBrindoluxDescription},
      {clsid + L"\\InprocServer32", nullptr, modulePath},
      {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsid + L"\\ProgID", nullptr, kBrindoluxProgID},
      {clsid + L"\\Control", nullptr, L""},
      // OleRegGetMiscStatus looks for the aspect's own key first, then the default.
      {clsid + L"\\MiscStatus", nullptr, miscStatus},
      {clsid + L"\\MiscStatus\\1", nullptr, miscStatus},
      {clsid + L"\\ToolboxBitmap32", nullptr, modulePath + L"," + std::to_wstring(kToolboxBitmapResource)},
      {clsid + L"\\TypeLib", nullptr, GuidText(LIBID_BrindoluxTLB)},
      {clsid + L"\\Version", nullptr, L"1.0"},
      {kBrindoluxProgID, nullptr, kBrindoluxDescription},
      {std::wstring(kBrindoluxProgID) + L"\\CLSID", nullptr, GuidText(CLSID_BrindoluxCtrl)},
  };
  for (const TValue& value : values)
    if (!WriteClassesValue(value.Key, value.Name, value.Data)) return false;
  return true;
}

bool UnregisterControlClass() {
  const bool classDeleted = DeleteClassesKey(ClassKey());
  const bool progIDDeleted = DeleteClassesKey(kBrindoluxProgID);
  return classDeleted && progIDDeleted;
}

HRESULT LoadOwnTypeLib(const std::wstring& modulePath, TTypeLibPtr& typeLib) {
  ITypeLib* loaded = nullptr;
  const HRESULT result = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &loaded);
  typeLib.reset(loaded);
  return result;
}

HRESULT RegisterOwnTypeLib(const std::wstring& modulePath) {
  TTypeLibPtr typeLib;
  if (FAILED(LoadOwnTypeLib(modulePath, typeLib))) return SELFREG_E_TYPELIB;
  std::wstring path = modulePath;
  return SUCCEEDED(RegisterTypeLib(typeLib.get(), &path[0], nullptr)) ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT UnregisterOwnTypeLib(const std::wstring& modulePath) {
  TTypeLibPtr typeLib;
  if (FAILED(LoadOwnTypeLib(modulePath, typeLib))) return SELFREG_E_TYPELIB;
  TLIBATTR* attr = nullptr;
  if (FAILED(typeLib->GetLibAttr(&attr))) return SELFREG_E_TYPELIB;
  const TLIBATTR lib = *attr;
  typeLib->ReleaseTLibAttr(attr);
  // Unregistering what is not registered is no failure.
  BSTR registeredPath = nullptr;
  if (FAILED(QueryPathOfRegTypeLib(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum, lib.lcid, &registeredPath)))
    return S_OK;
  SysFreeString(registeredPath);
  return SUCCEEDED(UnRegisterTypeLib(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum, lib.lcid, lib.syskind))
             ? S_OK
             : SELFREG_E_TYPELIB;
}

}  // namespace

HMODULE ServerModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ServerModule), &module);
  return module;
}

std::wstring ServerModulePath() {
  const HMODULE module = ServerModule();
  if (!module) return std::wstring();
  for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
    std::wstring path(capacity, L'\0');
    const DWORD length = GetModuleFileNameW(module, &path[0], capacity);
    if (length == 0) return std::wstring();
    if (length < capacity) {
      path.resize(length);
      return path;
    }
  }
  return std::wstring();
}

STDAPI DllRegisterServer() {
  const std::wstring modulePath = ServerModulePath();
  if (modulePath.empty()) return SELFREG_E_CLASS;
  const HRESULT result = RegisterOwnTypeLib(modulePath);
  if (FAILED(result)) return result;
  if (!RegisterControlClass(modulePath)) {
    // Leave nothing half-registered behind.
    UnregisterControlClass();
    UnregisterOwnTypeLib(modulePath);
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  const bool classRemoved = UnregisterControlClass();
  const std::wstring modulePath = ServerModulePath();
  const HRESULT result = modulePath.empty() ? SELFREG_E_TYPELIB : UnregisterOwnTypeLib(modulePath);
  if (!classRemoved) return SELFREG_E_CLASS;
  return result;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_BrindoluxCtrl)) return CLASS_E_CLASSNOTAVAILABLE;
  return TClassFactory::Instance().QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return ServerInUse() ? S_FALSE : S_OK; }
