#include <algorithm>
#include <cstdio>

#include "core/Text.h"
#include "platform/NetMetrics.h"
#include "platform/linux/SysText.h"

namespace kv {

using namespace systext;

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
  // /proc/net/dev names every interface with its 64-bit counters in one read, which saves two
  // sysfs files per interface on every pass.
  const auto text = ReadScratch(RootPath(root, "proc/net/dev"));
  if (!text) return interfaces;
  std::string_view rest = CompleteLines(*text);
  while (!rest.empty()) {
    // "  eth0: 1234 12 0 0 0 0 0 0 5678 34 0 0 0 0 0 0"; the two header lines have no ":".
    const std::string_view line = NextLine(rest);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = TrimView(line.substr(0, colon));
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos)
      continue;
    std::string_view fields = line.substr(colon + 1);
    std::optional<uint64_t> rx, tx;
    for (int i = 0; i <= 8; ++i) {
      const auto value = ParseUnsigned(NextField(fields));
      if (i == 0) rx = value;
      if (i == 8) tx = value;
    }
    if (!rx || !tx) continue;
    tNetInterface netIf;
    netIf.name = std::string(name);
    netIf.rxBytes = *rx;
    netIf.txBytes = *tx;
    interfaces.push_back(std::move(netIf));
  }

  const std::string folder = RootPath(root, "sys/class/net/");
  std::vector<tNetInterface> present;
  present.reserve(interfaces.size());
  for (tNetInterface& netIf : interfaces) {
    const std::string base = folder + netIf.name + "/";
    const auto index = ReadUnsigned(base + "ifindex");
    if (!index || *index > INT32_MAX) continue;  // gone since /proc/net/dev was read
    netIf.index = static_cast<int>(*index);
    if (const auto address = ReadScratch(base + "address")) netIf.mac = MacTextFromSys(*address);
    netIf.carrierChanges = ReadUnsigned(base + "carrier_changes");
    netIf.operState = ReadTrimmed(base + "operstate").value_or("");
    const auto type = ReadUnsigned(base + "type");
    netIf.type = type && *type <= INT32_MAX ? static_cast<int>(*type) : 0;
    present.push_back(std::move(netIf));
  }
  std::sort(present.begin(), present.end(),
            [](const tNetInterface& a, const tNetInterface& b) { return a.index < b.index; });
  return present;
}

}  // namespace kv
