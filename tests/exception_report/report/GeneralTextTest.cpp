// The pure text rules behind the general section's values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/GeneralText.h"

using namespace RevavaRez;

namespace {
const uint64_t kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute, kDay = 24 * kHour;
}

TEST(GeneralText, UpTime) {
  const struct {
    uint64_t ms;
    const char* text;
  } cases[] = {
      {0, "0 minute, 0 second"},
      {kDay + 2 * kMinute + kSecond + 999, "1 day, 2 minutes, 1 second"},
      {2 * kDay + 3 * kHour + 59 * kSecond, "2 days, 3 hours, 0 minute, 59 seconds"},
      {kHour + kMinute, "1 hour, 1 minute, 0 second"},
      // Past the 49.7 days a 32-bit count holds.
      {50 * kDay + 5 * kMinute, "50 days, 5 minutes, 0 second"},
  };
  for (const auto& c : cases) EXPECT_EQ(UpTimeText(c.ms), c.text) << c.ms;
}

TEST(GeneralText, IpAndDiskAndSanitise) {
  EXPECT_EQ(IpText("10.0.0.1"), "010.000.000.001");
  EXPECT_EQ(IpText("192.168.100.25"), "192.168.100.025");
  EXPECT_EQ(IpText(""), "000.000.000.000");

  const uint64_t gb = 1073741824ull;
  EXPECT_EQ(DiskSizeText(12 * gb), "12");
  EXPECT_EQ(DiskSizeText(12 * gb + gb / 2), "12.5");
  EXPECT_EQ(DiskSizeText(12 * gb + gb * 34 / 100 + 1000), "12.34");
  EXPECT_EQ(DiskSizeText(gb - 1), "1");
  EXPECT_EQ(DiskSizeText(0), "0");

  EXPECT_EQ(SanitiseText(std::string("a\tb\r\nc\x01\x7f\xe9", 9)), std::string("a b\r\nc \x7f\xe9", 9));
}

TEST(GeneralText, AdapterLists) {
  TAdapterRecord first, second;
  first.Dhcp = true;
  first.Address = "10.0.0.1";
  first.Mask = "255.0.0.0";
  first.Gateway = "10.0.0.254";
  first.DnsServers = {"10.0.0.2"};
  second.Address = "192.168.1.7";
  second.Mask = "255.255.255.0";
  second.DnsServers = {"8.8.8.8", "8.8.4.4"};
  const TAdapterLists lists = FormatAdapterLists({first, second});
  EXPECT_EQ(lists.IpAddress, "010.000.000.001 - 192.168.001.007");
  EXPECT_EQ(lists.Submask, "255.000.000.000 - 255.255.255.000");
  EXPECT_EQ(lists.Gateway, "010.000.000.254 - 000.000.000.000");
  EXPECT_EQ(lists.Dns1, "010.000.000.002 - 008.008.008.008");
  EXPECT_EQ(lists.Dns2, "000.000.000.000 - 008.008.004.004");
  // Two 15-character fields joined by " - ".
  EXPECT_EQ(lists.Dhcp, "ON" + std::string(13, ' ') + " - OFF" + std::string(12, ' '));

  first.DnsServers = {"1.1.1.1"};
  second.DnsServers = {"2.2.2.2"};
  EXPECT_EQ(FormatAdapterLists({first, second}).Dns2, "000.000.000.000 - 000.000.000.000");
  const TAdapterLists none = FormatAdapterLists({});
  EXPECT_EQ(none.IpAddress + none.Dhcp + none.Dns2, "");

  char unterminated[16];
  for (char& c : unterminated) c = '1';
  EXPECT_EQ(AddressField(unterminated), std::string(16, '1'));
}

TEST(GeneralText, AccessViolationAndProcessor) {
  EXPECT_EQ(AccessViolationText("0040A1B2", "app.exe", true, "00000010"),
            "Access violation at address 0040A1B2 in module 'app.exe'. Write of address 00000010");
  EXPECT_EQ(AccessViolationText("0040A1B2", "", false, "00000010"),
            "Access violation at address 0040A1B2. Read of address 00000010");
  EXPECT_EQ(WithClosingPeriod("Done"), "Done.");
  EXPECT_EQ(WithClosingPeriod("Done."), "Done.");
  EXPECT_EQ(WithClosingPeriod(""), ".");

  EXPECT_EQ(ProcessorText("  Fast CPU  ", "Vendor", "Id"), "Fast CPU");
  EXPECT_EQ(ProcessorText(" ", " GenuineIntel ", " x86 Family 6 "), "GenuineIntel - x86 Family 6");
  EXPECT_EQ(ProcessorText("", "GenuineIntel", ""), "GenuineIntel");
  EXPECT_EQ(ProcessorText("", "", ""), "Unknown processor");
}

TEST(GeneralText, CommandLineParameters) {
  const struct {
    const char* line;
    std::vector<std::string> parameters;
  } cases[] = {
      {"app.exe", {}},
      {"\"C:\\Program Files\\app.exe\" a  b", {"a", "b"}},
      {"app \"two words\" x\"y z\"", {"two words", "xy z"}},
      {"app a\\\\\"b c\" d\\\"e f\\g", {"a\\b c", "d\"e", "f\\g"}},
      {"app \"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"app \"\"", {""}},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandLineParameters(c.line), c.parameters) << c.line;
  EXPECT_EQ(ParametersText({"a b", "c"}), "\"a b\" \"c\"");
}
