#pragma once
// Network interfaces from /sys/class/net, and their IPv4 addresses.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

constexpr const char* kNoMacText = "00-00-00-00-00-00";
constexpr const char* kNoIpText = "???.???.???.???";

struct tNetInterface {
  int index = 0;                 // ifindex
  std::string name;              // "enp3s0"
  std::string mac = kNoMacText;  // MacText of the hardware address
  uint64_t rxBytes = 0;          // 64-bit counters as the kernel keeps them
  uint64_t txBytes = 0;
  // How often the link went up or down; changes when the interface reconnects. nullopt on
  // kernels before 3.15.
  std::optional<uint64_t> carrierChanges;
  std::string operState;         // "up", "down", "unknown", ...
  int type = 0;                  // ARPHRD_* number; 772 is loopback
  std::string ipText = kNoIpText;  // filled by AttachIpv4Addresses
};

constexpr int kArpTypeLoopback = 772;

// All interfaces of <root>/proc/net/dev (names and counters) with their details from
// <root>/sys/class/net, loopback included, sorted by ifindex. An interface that vanishes while it
// is read (no ifindex any more) or whose counters are damaged is left out.
std::vector<tNetInterface> ReadNetInterfaces(const std::string& root = "/");

// A route netlink socket kept open from one request to the next, so a pass asks the kernel
// without making and closing a socket each time; after a failed request it is made afresh.
class tNetLink {
 public:
  tNetLink() = default;
  tNetLink(const tNetLink&) = delete;
  tNetLink& operator=(const tNetLink&) = delete;
  ~tNetLink() { Drop(); }
  // The socket, made when there is none; -1 when the system refuses one.
  int Fd();
  void Drop();
  uint32_t NextSequence() { return ++sequence_; }

 private:
  int fd_ = -1;
  uint32_t sequence_ = 0;
};

// The same table from the kernel over rtnetlink in one request, far cheaper than the files on
// every pass; nullopt when the socket cannot be used (then fall back to ReadNetInterfaces("/")).
// Through link when given, else over a socket of its own.
std::optional<std::vector<tNetInterface>> ReadNetInterfacesFromKernel(tNetLink* link = nullptr);

// Sets ipText of each interface from getifaddrs: the first IPv4 address of that interface, or
// IpText of 0.0.0.0 when it has none. Leaves kNoIpText when the address list cannot be read.
void AttachIpv4Addresses(std::vector<tNetInterface>& interfaces, tNetLink* link = nullptr);

// Up to 8 address bytes as upper-case hex pairs joined by "-"; kNoMacText when there are none.
std::string MacText(const uint8_t* bytes, size_t length);
// Parses the "aa:bb:cc" form of /sys into MacText form; kNoMacText when empty or malformed.
std::string MacTextFromSys(std::string_view text);
// The octets in address order, each right-aligned in 3 places: "192.168.  1. 10".
std::string IpText(const std::array<uint8_t, 4>& octets);

}  // namespace kv
