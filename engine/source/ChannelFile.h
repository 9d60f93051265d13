#pragma once
// The channel file (".sms"): an INI text whose [Address] section names the
// multicast group ("ip", dotted IPv4) and the UDP port ("port", decimal).
#include <cstdint>
#include <string>

struct TChannelAddress {
  std::string Group;
  uint16_t Port = 0;
};

// Reads the file as the platform reads INI files (section and key in any
// letter case), by its full path, so that a bare name is the current
// folder's file and not the Windows folder's. False for an invalid channel
// file: missing, without ip or port, an ip that is no dotted IPv4 address,
// or a port outside 1..65535.
bool ReadChannelFile(const std::wstring& FileName, TChannelAddress& Address);

// Four decimal numbers of 0..255 separated by dots, nothing else.
bool IsDottedIPv4(const std::string& Text);
