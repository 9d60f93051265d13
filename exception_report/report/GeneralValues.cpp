#include "report/GeneralValues.h"

#include <exception>
#include <memory>

#include "core/ExceptionLog.h"
#include "core/ExceptionObjects.h"
#include "core/VArev.h"
#include "core/VArevText.h"

namespace RevavaRez {

const char* const ProcessorKey = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

std::string UpTimeText() { return UpTimeText(static_cast<uint64_t>(GetTickCount64())); }

namespace {

LANGID WantedLanguage = 0;
std::string FoundLanguage;

std::string WideToAnsi(const wchar_t* text, int length) {
  if (length <= 0) return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, &result[0], size, nullptr, nullptr);
  return result;
}

std::string LocaleInfo(LCID locale, LCTYPE type) {
  wchar_t buffer[1024];
  const int length = GetLocaleInfoW(locale, type, buffer, 1024);
  if (length <= 1) return std::string();
  return WideToAnsi(buffer, length - 1);
}

BOOL CALLBACK LocaleFound(LPWSTR identifier) {
  try {
    // The identifier text is eight hex digits; the last four are the locale.
    std::wstring text(identifier ? identifier : L"");
    if (text.size() < 8) return TRUE;
    const LCID locale = static_cast<LCID>(wcstoul(text.substr(4, 4).c_str(), nullptr, 16));
    if (LocaleInfo(locale, LOCALE_SABBREVLANGNAME).empty()) return TRUE;
    if (locale != WantedLanguage) return TRUE;
    FoundLanguage = LocaleInfo(locale, LOCALE_SENGLANGUAGE);
    return FALSE;
  } catch (...) {
    return FALSE;
  }
}

}  // namespace

std::string LocaleName() {
  // The enumeration callback has no context argument; one caller at a time.
  static CRITICAL_SECTION* lock = [] {
    static CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    return &section;
  }();
  EnterCriticalSection(lock);
  std::string result;
  try {
    WantedLanguage = GetSystemDefaultLangID();
    FoundLanguage.clear();
    EnumSystemLocalesW(LocaleFound, LCID_INSTALLED);
    result = FoundLanguage;
  } catch (...) {
    result.clear();
  }
  LeaveCriticalSection(lock);
  return result;
}

namespace {

// The usual size query: asked again while the list grows between the calls.
template <typename Query>
std::unique_ptr<unsigned char[]> QueryBuffer(Query query, ULONG& size) {
  size = 0;
  std::unique_ptr<unsigned char[]> buffer;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD result = query(buffer.get(), &size);
    if (result == ERROR_SUCCESS) return buffer;
    if (result != ERROR_BUFFER_OVERFLOW || size == 0 || size > 16u * 1024u * 1024u) return nullptr;
    buffer.reset(new unsigned char[size]());
  }
  return nullptr;
}

}  // namespace

std::vector<TAdapterRecord> ReadAdapterRecords(TGetAdaptersInfo getAdaptersInfo,
                                               TGetPerAdapterInfo getPerAdapterInfo) {
  std::vector<TAdapterRecord> records;
  if (!getAdaptersInfo || !getPerAdapterInfo) return records;
  ULONG size = 0;
  auto list = QueryBuffer(
      [&](unsigned char* buffer, ULONG* length) {
        return getAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer), length);
      },
      size);
  if (!list || size < sizeof(IP_ADAPTER_INFO)) return records;
  const unsigned char* const end = list.get() + size;
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(list.get()); adapter;
       adapter = adapter->Next) {
    // Each adapter must lie inside the buffer the query filled.
    const auto* at = reinterpret_cast<const unsigned char*>(adapter);
    if (at < list.get() || at + sizeof(IP_ADAPTER_INFO) > end || records.size() >= 256) break;
    TAdapterRecord record;
    record.Dhcp = adapter->DhcpEnabled != 0;
    record.Address = AddressField(adapter->IpAddressList.IpAddress.String);
    record.Mask = AddressField(adapter->IpAddressList.IpMask.String);
    record.Gateway = AddressField(adapter->GatewayList.IpAddress.String);
    ULONG perSize = 0;
    auto per = QueryBuffer(
        [&](unsigned char* buffer, ULONG* length) {
          return getPerAdapterInfo(adapter->Index, reinterpret_cast<PIP_PER_ADAPTER_INFO>(buffer), length);
        },
        perSize);
    if (per && perSize >= sizeof(IP_PER_ADAPTER_INFO)) {
      const auto* info = reinterpret_cast<const IP_PER_ADAPTER_INFO*>(per.get());
      const unsigned char* const perEnd = per.get() + perSize;
      for (const IP_ADDR_STRING* server = &info->DnsServerList; server && record.DnsServers.size() < 2;
           server = server->Next) {
        const auto* s = reinterpret_cast<const unsigned char*>(server);
        if (s < per.get() || s + sizeof(IP_ADDR_STRING) > perEnd) break;
        record.DnsServers.push_back(AddressField(server->IpAddress.String));
      }
    }
    records.push_back(record);
  }
  return records;
}

TAdapterLists AdapterLists() {
  TAdapterLists lists;
  HMODULE library = LoadLibraryA("iphlpapi.dll");
  if (!library) return lists;
  try {
    auto adaptersInfo = reinterpret_cast<TGetAdaptersInfo>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetAdaptersInfo")));
    auto perAdapterInfo = reinterpret_cast<TGetPerAdapterInfo>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetPerAdapterInfo")));
    if (adaptersInfo && perAdapterInfo) lists = FormatAdapterLists(ReadAdapterRecords(adaptersInfo, perAdapterInfo));
  } catch (...) {
    lists = TAdapterLists();
  }
  FreeLibrary(library);
  return lists;
}

std::string ProcessorName(HKEY root, const std::string& key) {
  return ProcessorText(ReadRegistryText(root, key, "ProcessorNameString"),
                       ReadRegistryText(root, key, "VendorIdentifier"), ReadRegistryText(root, key, "Identifier"));
}

namespace {

bool DiskSpace(const std::string& fileName, ULARGE_INTEGER& total, ULARGE_INTEGER& free) {
  // Any folder of the drive will do, a share's too.
  const std::string root = ExtractFilePath(fileName);
  ULARGE_INTEGER available;
  if (root.empty() || !GetDiskFreeSpaceExA(root.c_str(), &available, &total, nullptr)) return false;
  free = available;
  return true;
}

std::string MemoryText(bool total) {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return std::string();
  const uint64_t bytes = total ? status.ullTotalPhys : status.ullAvailPhys;
  return std::to_string((bytes + 524288) / 1048576) + " Mb";
}

}  // namespace

std::string DiskTotalText(const std::string& fileName) {
  ULARGE_INTEGER total, free;
  return DiskSpace(fileName, total, free) ? DiskSizeText(total.QuadPart) + " Gb" : std::string();
}

std::string DiskFreeText(const std::string& fileName) {
  ULARGE_INTEGER total, free;
  return DiskSpace(fileName, total, free) ? DiskSizeText(free.QuadPart) + " Gb" : std::string();
}

std::string TotalMemoryText() { return MemoryText(true); }
std::string FreeMemoryText() { return MemoryText(false); }

std::string DisplayModeText() {
  HDC screen = GetDC(nullptr);
  if (!screen) return std::string();
  const int bits = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  char text[64];
  wsprintfA(text, "%d x %d, %d bit", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), bits);
  return text;
}

std::string UserNameText() {
  char name[257] = {};
  DWORD size = 256;
  if (!GetUserNameA(name, &size)) return std::string();
  return std::string(name);
}

namespace {

bool VersionOf(OSVERSIONINFOA& info) {
  info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExA(&info) != 0;
#pragma GCC diagnostic pop
}

}  // namespace

std::string BuildNumberText() {
  OSVERSIONINFOA info;
  if (!VersionOf(info)) return std::string();
  DWORD build = info.dwBuildNumber;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) build &= 0xFFFF;
  return std::to_string(build);
}

std::string ServicePackText() {
  OSVERSIONINFOA info;
  if (!VersionOf(info)) return std::string();
  char text[sizeof info.szCSDVersion + 1] = {};
  memcpy(text, info.szCSDVersion, sizeof info.szCSDVersion);
  return Trim(text);
}

std::string ParametersValue() {
  const char* line = GetCommandLineA();
  return ParametersText(CommandLineParameters(line ? line : ""));
}

std::string ForegroundClassText() {
  HWND window = GetForegroundWindow();
  if (!window) return std::string();
  char name[257] = {};
  const int length = GetClassNameA(window, name, 256);
  return length > 0 ? std::string(name, static_cast<size_t>(length)) : std::string();
}

std::string WindowTextOf(HWND window) {
  if (!window) return std::string();
  wchar_t text[257] = {};
  const int length = InternalGetWindowText(window, text, 256);
  if (length <= 0) return std::string();
  std::string result = WideToAnsi(text, length);
  if (result.size() > 256) result.resize(256);
  return SanitiseText(result);
}

std::string ForegroundWindowText() { return WindowTextOf(GetForegroundWindow()); }

std::string ExceptionTypeText(const void* object) {
  const std::string name = ObjectClassName(object);
  return name.empty() ? "Unknown exception type." : name;
}

namespace {

std::string ObjectMessage(const void* object) {
  const std::type_info* classRef = ClassOf(object);
  if (!classRef || !InheritsFromName(classRef, "exception")) return "Unknown error message.";
  try {
    const char* text = static_cast<const std::exception*>(object)->what();
    return text && ReadableLength(text, 1) ? std::string(text) : std::string();
  } catch (...) {
    return "Unknown error message.";
  }
}

}  // namespace

std::string ExceptionMessageText(const void* object, uintptr_t address, const EXCEPTION_RECORD* record) {
  std::string message = ObjectMessage(object);
  if (record && IsReadable(record, sizeof(EXCEPTION_RECORD)) && record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
      record->NumberParameters >= 2) {
    const bool write = record->ExceptionInformation[0] == 1;
    const std::string accessed = AddressText(static_cast<uintptr_t>(record->ExceptionInformation[1]));
    const std::string at = AddressText(address);
    std::string moduleFile;
    MEMORY_BASIC_INFORMATION region = {};
    if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == sizeof region &&
        region.State == MEM_COMMIT && region.AllocationBase) {
      char name[MAX_PATH + 1] = {};
      if (GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), name, MAX_PATH) > 0) moduleFile = name;
    }
    std::string rebuilt = AccessViolationText(at, ExtractFileName(moduleFile), write, accessed);
    if (!moduleFile.empty() && rebuilt == message)
      rebuilt = AccessViolationText(at, ExtractFileName(ExpandLongPath(moduleFile)), write, accessed);
    message = rebuilt;
  }
  return WithClosingPeriod(message);
}

}  // namespace RevavaRez
