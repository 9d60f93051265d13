#pragma once
// The pure text rules of the general section's values: no system calls, so
// tests can feed them any input.
#include <cstdint>
#include <string>
#include <vector>

namespace RevavaRez {

// "1 day, 2 minutes, 1 second"; hours and days only when not 0.
std::string UpTimeText(uint64_t milliseconds);
// Each dotted part padded to three digits; "000.000.000.000" for empty.
std::string IpText(const std::string& address);
// Bytes / 1073741824 with up to two decimals and no trailing zeros.
std::string DiskSizeText(uint64_t bytes);
// Keeps CR, LF and bytes 32 to 255; every other byte becomes a space.
std::string SanitiseText(const std::string& text);
// A fixed 16-byte address field read only up to its first zero.
std::string AddressField(const char (&field)[16]);

// One adapter as the IP helper lists it; DNS servers from its per-adapter
// information.
struct TAdapterRecord {
  bool Dhcp = false;
  std::string Address, Mask, Gateway;
  std::vector<std::string> DnsServers;
};
struct TAdapterLists {
  std::string IpAddress, Submask, Gateway, Dns1, Dns2, Dhcp;
};
TAdapterLists FormatAdapterLists(const std::vector<TAdapterRecord>& adapters);

// The rebuilt message of an access violation; module empty when the region
// is not committed or belongs to no module file. The address texts are at
// pointer width.
std::string AccessViolationText(const std::string& address, const std::string& moduleName, bool write,
                                const std::string& accessed);
// A "." at the end unless one is there.
std::string WithClosingPeriod(const std::string& text);

// "Vendor - Identifier", the vendor alone, or "Unknown processor", after
// the name itself (all trimmed).
std::string ProcessorText(const std::string& name, const std::string& vendor, const std::string& identifier);

// The parameters of a command line as the C run-time splits it, the
// program name left out.
std::vector<std::string> CommandLineParameters(const std::string& commandLine);
// Each parameter in double quotes, separated by one space.
std::string ParametersText(const std::vector<std::string>& parameters);

}  // namespace RevavaRez
