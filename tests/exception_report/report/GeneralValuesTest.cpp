// The general section's system values and the section itself, in this
// (console) test program.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "core/ExceptionLog.h"
#include "core/ProgressStep.h"
#include "core/VArevText.h"
#include "options/VezavuModuleOptions.h"
#include "report/GeneralSection.h"
#include "report/GeneralValues.h"

using namespace RevavaRez;

namespace {

// A fake IP helper: the list grows by one adapter between the size query
// and the read, and the first adapter's address fills its whole field.
int GrowCalls = 0;
ULONG GrowCount = 1;

DWORD WINAPI GrowingAdaptersInfo(PIP_ADAPTER_INFO info, PULONG size) {
  ++GrowCalls;
  const ULONG needed = GrowCount * sizeof(IP_ADAPTER_INFO);
  if (!info || *size < needed) {
    *size = needed;
    if (GrowCount == 1) ++GrowCount;  // an adapter appears before the caller asks again
    return ERROR_BUFFER_OVERFLOW;
  }
  for (ULONG i = 0; i < GrowCount; ++i) {
    IP_ADAPTER_INFO& a = info[i];
    std::memset(&a, 0, sizeof a);
    a.Next = i + 1 < GrowCount ? &info[i + 1] : nullptr;
    a.Index = i;
    a.DhcpEnabled = i == 0;
    std::strcpy(a.IpAddressList.IpAddress.String, "10.0.0.1");
    std::strcpy(a.IpAddressList.IpMask.String, "255.0.0.0");
  }
  // No terminating zero, and a byte behind the field that must not be read.
  std::memset(info[0].IpAddressList.IpAddress.String, '7', 16);
  info[0].IpAddressList.IpMask.String[0] = 'X';
  *size = needed;
  return ERROR_SUCCESS;
}

DWORD WINAPI OneDnsServer(ULONG, PIP_PER_ADAPTER_INFO info, PULONG size) {
  if (!info || *size < sizeof(IP_PER_ADAPTER_INFO)) {
    *size = sizeof(IP_PER_ADAPTER_INFO);
    return ERROR_BUFFER_OVERFLOW;
  }
  std::memset(info, 0, sizeof *info);
  std::strcpy(info->DnsServerList.IpAddress.String, "10.0.0.53");
  return ERROR_SUCCESS;
}

struct TReportOptions : TVezavuModuleOptions {
  TReportOptions() : TVezavuModuleOptions(false, "report.exe") {}
  void Show(std::initializer_list<int> bits) {
    TGeneralFieldMask mask{};
    for (int bit : bits) mask[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(1u << (bit % 8));
    SetGeneralFieldMask(mask);
  }
};

std::string Line(const TVezavuModuleOptions& options, const std::string& number, int label) {
  return "  " + number + " " + options.TextAt(label);
}

}  // namespace

TEST(GeneralValues, AdapterQueryGrowingAndUnterminatedAddress) {
  GrowCalls = 0;
  GrowCount = 1;
  const auto records = ReadAdapterRecords(GrowingAdaptersInfo, OneDnsServer);
  ASSERT_EQ(records.size(), 2u);  // asked again when the list grew
  EXPECT_EQ(GrowCalls, 3);
  EXPECT_EQ(records[0].Address, std::string(16, '7'));
  EXPECT_EQ(records[1].Address, "10.0.0.1");
  EXPECT_TRUE(records[0].Dhcp);
  ASSERT_EQ(records[1].DnsServers.size(), 1u);
  EXPECT_EQ(records[1].DnsServers[0], "10.0.0.53");
  EXPECT_TRUE(ReadAdapterRecords(nullptr, OneDnsServer).empty());
}

TEST(GeneralValues, ProcessorFromGivenKey) {
  const std::string key = "Software\\BrindoluxTests\\Processor";
  const struct {
    const char* name;
    const char* vendor;
    const char* identifier;
    const char* text;
  } cases[] = {
      {" Test CPU 3000 ", "V", "I", "Test CPU 3000"},
      {nullptr, "TestVendor", "Family 9", "TestVendor - Family 9"},
      {"", "TestVendor", nullptr, "TestVendor"},
      {nullptr, nullptr, nullptr, "Unknown processor"},
  };
  for (const auto& c : cases) {
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    auto set = [&](const char* name, const char* value) {
      if (value)
        RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>(std::strlen(value) + 1));
    };
    set("ProcessorNameString", c.name);
    set("VendorIdentifier", c.vendor);
    set("Identifier", c.identifier);
    RegCloseKey(handle);
    EXPECT_EQ(ProcessorName(HKEY_CURRENT_USER, key), c.text);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\BrindoluxTests");
}

TEST(GeneralValues, ExceptionMessages) {
  const std::runtime_error plain("Could not open");
  EXPECT_EQ(ExceptionTypeText(&plain), "runtime_error");
  EXPECT_EQ(ExceptionMessageText(&plain, 0, nullptr), "Could not open.");
  const std::runtime_error dotted("Done.");
  EXPECT_EQ(ExceptionMessageText(&dotted, 0, nullptr), "Done.");

  // An object whose class record cannot be read.
  static const uintptr_t stale[4] = {0x10, 0, 0, 0};
  EXPECT_EQ(ExceptionTypeText(stale), "Unknown exception type.");
  EXPECT_EQ(ExceptionMessageText(stale, 0, nullptr), "Unknown error message.");
  EXPECT_EQ(ExceptionTypeText(nullptr), "Unknown exception type.");

  const uintptr_t inModule = reinterpret_cast<uintptr_t>(&GrowingAdaptersInfo);
  char file[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, file, MAX_PATH);
  const std::string moduleName = ExtractFileName(file);
  void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(reserved, nullptr);
  const uintptr_t notCommitted = reinterpret_cast<uintptr_t>(reserved);
  const struct {
    uintptr_t address;
    ULONG_PTR kind;
    std::string text;
  } cases[] = {
      {inModule, 1, "Access violation at address " + AddressText(inModule) + " in module '" + moduleName +
                        "'. Write of address " + AddressText(0x24) + "."},
      {inModule, 0, "Access violation at address " + AddressText(inModule) + " in module '" + moduleName +
                        "'. Read of address " + AddressText(0x24) + "."},
      {notCommitted, 8,
       "Access violation at address " + AddressText(notCommitted) + ". Read of address " + AddressText(0x24) + "."},
  };
  for (const auto& c : cases) {
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.NumberParameters = 2;
    record.ExceptionInformation[0] = c.kind;
    record.ExceptionInformation[1] = 0x24;
    EXPECT_EQ(ExceptionMessageText(&plain, c.address, &record), c.text);
    EXPECT_EQ(ExceptionMessageText(stale, c.address, &record), c.text);
  }
  VirtualFree(reserved, 0, MEM_RELEASE);
}

TEST(GeneralValues, EqualTheSystemCalls) {
  char name[MAX_COMPUTERNAME_LENGTH + 2] = {};
  DWORD size = sizeof name;
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_EQ(ComputerName(), name);
  char user[257] = {};
  size = 256;
  ASSERT_TRUE(GetUserNameA(user, &size));
  EXPECT_EQ(UserNameText(), user);

  HDC screen = GetDC(nullptr);
  const std::string mode = std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " x " +
                           std::to_string(GetSystemMetrics(SM_CYSCREEN)) + ", " +
                           std::to_string(GetDeviceCaps(screen, BITSPIXEL)) + " bit";
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(DisplayModeText(), mode);

  char english[256] = {};
  ASSERT_GT(GetLocaleInfoA(GetSystemDefaultLangID(), LOCALE_SENGLANGUAGE, english, sizeof english), 0);
  EXPECT_EQ(LocaleName(), english);
  EXPECT_FALSE(WindowsVersionName().empty());

  char file[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, file, MAX_PATH);
  ULARGE_INTEGER available, total;
  ASSERT_TRUE(GetDiskFreeSpaceExA(ExtractFilePath(file).c_str(), &available, &total, nullptr));
  EXPECT_EQ(DiskTotalText(file), DiskSizeText(total.QuadPart) + " Gb");
  EXPECT_EQ(DiskTotalText("nofolder.dll"), "");
}

TEST(GeneralSection, Masks) {
  TReportOptions options;
  options.Show({});
  TReportInputs inputs;
  inputs.Options = &options;
  EXPECT_EQ(BuildLogText(inputs), "RevavaRez 5.1.10\r\n\r\n");

  // Hidden fields keep the others' numbers; this console program hides the
  // active controls, and Computer stays section 4.
  options.Show({2, 14, 10, 11, 12, 13, 23});
  const std::string text = BuildLogText(inputs);
  EXPECT_EQ(text.rfind("RevavaRez 5.1.10\r\n\r\n" + options.TextAt(22) + ":\r\n", 0), 0u) << text;
  EXPECT_NE(text.find(Line(options, "1.3", 25)), std::string::npos) << text;
  EXPECT_NE(text.find(Line(options, "4.1", 40)), std::string::npos) << text;
  EXPECT_NE(text.find(Line(options, "5.1", 50)), std::string::npos) << text;
  EXPECT_NE(text.find(": " + ComputerName() + "\r\n"), std::string::npos) << text;
  for (int label : {28, 34, 35, 36, 37, 38, 23, 41})
    EXPECT_EQ(text.find(options.TextAt(label) + ":"), std::string::npos) << label << "\n" << text;
}

TEST(GeneralSection, ProgressStepNamesTheFailingField) {
  TReportOptions options;
  options.Show({0, 20, 32});
  TReportInputs inputs;
  inputs.Options = &options;
  for (int field : {0, 20, 32}) {
    GeneralFaultField = field;
    EXPECT_THROW(BuildLogText(inputs), std::runtime_error);
    EXPECT_EQ(ProgressStep.load(), 702201 + field);
  }
  GeneralFaultField = -1;
  BuildLogText(inputs);
}
