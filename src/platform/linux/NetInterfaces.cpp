#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/NetMetrics.h"
#include "platform/linux/SysText.h"

namespace kv {

using namespace systext;

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string MacText(const uint8_t* bytes, size_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  length = std::min<size_t>(length, 8);
  if (!bytes || length == 0) return kNoMacText;
  std::string text;
  text.reserve(length * 3);
  for (size_t i = 0; i < length; ++i) {
    if (i > 0) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  return text;
}

std::string MacTextFromSys(std::string_view text) {
  text = TrimView(text);
  if (text.empty()) return kNoMacText;
  uint8_t bytes[8];
  size_t count = 0;
  for (;;) {
    const size_t colon = text.find(':');
    const std::string_view part = text.substr(0, colon);
    if (part.size() != 2) return kNoMacText;
    const int hi = HexValue(part[0]), lo = HexValue(part[1]);
    if (hi < 0 || lo < 0) return kNoMacText;
    if (count < 8) bytes[count++] = static_cast<uint8_t>(hi * 16 + lo);  // longer ones are cut
    if (colon == std::string_view::npos) break;
    text.remove_prefix(colon + 1);
  }
  return MacText(bytes, count);
}

std::string IpText(const std::array<uint8_t, 4>& octets) {
  char text[16];
  std::snprintf(text, sizeof text, "%3u.%3u.%3u.%3u", octets[0], octets[1], octets[2], octets[3]);
  return text;
}

std::vector<tNetInterface> ReadNetInterfaces(const std::string& root) {
  std::vector<tNetInterface> interfaces;
  const std::string folder = RootPath(root, "sys/class/net/");
  for (std::string& name : ListFolder(folder)) {
    const std::string base = folder + name + "/";
    const auto index = ReadUnsigned(base + "ifindex");
    const auto rx = ReadUnsigned(base + "statistics/rx_bytes");
    const auto tx = ReadUnsigned(base + "statistics/tx_bytes");
    if (!index || *index > INT32_MAX || !rx || !tx) continue;  // gone, or not an interface
    tNetInterface netIf;
    netIf.index = static_cast<int>(*index);
    netIf.rxBytes = *rx;
    netIf.txBytes = *tx;
    if (const auto address = ReadScratch(base + "address")) netIf.mac = MacTextFromSys(*address);
    netIf.carrierChanges = ReadUnsigned(base + "carrier_changes");
    netIf.operState = ReadTrimmed(base + "operstate").value_or("");
    const auto type = ReadUnsigned(base + "type");
    netIf.type = type && *type <= INT32_MAX ? static_cast<int>(*type) : 0;
    netIf.name = std::move(name);
    interfaces.push_back(std::move(netIf));
  }
  std::sort(interfaces.begin(), interfaces.end(),
            [](const tNetInterface& a, const tNetInterface& b) { return a.index < b.index; });
  return interfaces;
}

void AttachIpv4Addresses(std::vector<tNetInterface>& interfaces) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return;
  for (tNetInterface& netIf : interfaces) netIf.ipText = IpText({0, 0, 0, 0});
  std::vector<bool> found(interfaces.size(), false);
  for (const ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name) continue;
    // Labelled secondary addresses come as "eth0:1".
    std::string_view name = a->ifa_name;
    name = name.substr(0, name.find(':'));
    for (size_t i = 0; i < interfaces.size(); ++i) {
      if (found[i] || interfaces[i].name != name) continue;
      sockaddr_in address {};
      std::memcpy(&address, a->ifa_addr, sizeof address);
      std::array<uint8_t, 4> octets {};
      std::memcpy(octets.data(), &address.sin_addr.s_addr, 4);  // network order: first octet first
      interfaces[i].ipText = IpText(octets);
      found[i] = true;
    }
  }
  ::freeifaddrs(list);
}

}  // namespace kv
