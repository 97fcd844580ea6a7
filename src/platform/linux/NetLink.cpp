// The interface table straight from the kernel over rtnetlink: one request answers what the file
// reader needs five sysfs files per interface for.
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/NetMetrics.h"

namespace kv {

namespace {

constexpr const char* kOperStates[] = {"unknown", "notpresent", "down",   "lowerlayerdown",
                                       "testing", "dormant",    "up"};

template <typename T>
bool ReadPod(const uint8_t* p, size_t length, T& value) {
  if (length < sizeof(T)) return false;
  std::memcpy(&value, p, sizeof(T));
  return true;
}

// The statistics records grow with kernel versions: take what is there when it reaches at least
// the fields we use, leaving the rest zero.
template <typename T>
bool ReadGrowingRecord(const uint8_t* p, size_t length, size_t needed, T& value) {
  if (length < needed) return false;
  value = T{};
  std::memcpy(&value, p, std::min(length, sizeof(T)));
  return true;
}

// One RTM_NEWLINK message body: ifinfomsg followed by attributes.
bool ParseLink(const uint8_t* p, size_t length, tNetInterface& netIf) {
  ifinfomsg info {};
  if (!ReadPod(p, length, info) || info.ifi_index <= 0) return false;
  netIf.index = info.ifi_index;
  netIf.type = info.ifi_type;
  bool haveStats64 = false, haveCounters = false;
  size_t offset = NLMSG_ALIGN(sizeof(ifinfomsg));
  while (offset + sizeof(rtattr) <= length) {
    rtattr attribute {};
    ReadPod(p + offset, length - offset, attribute);
    if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > length - offset) break;
    const uint8_t* payload = p + offset + RTA_LENGTH(0);
    const size_t size = attribute.rta_len - RTA_LENGTH(0);
    switch (attribute.rta_type & NLA_TYPE_MASK) {
      case IFLA_IFNAME: {
        const char* text = reinterpret_cast<const char*>(payload);
        netIf.name.assign(text, strnlen(text, size));
        break;
      }
      case IFLA_ADDRESS:
        netIf.mac = MacText(payload, size);
        break;
      case IFLA_OPERSTATE: {
        uint8_t state = 0;
        if (ReadPod(payload, size, state))
          netIf.operState = state < std::size(kOperStates) ? kOperStates[state] : "unknown";
        break;
      }
      case IFLA_CARRIER_CHANGES: {
        uint32_t changes = 0;
        if (ReadPod(payload, size, changes)) netIf.carrierChanges = changes;
        break;
      }
      case IFLA_STATS64: {
        rtnl_link_stats64 stats {};
        const size_t needed = offsetof(rtnl_link_stats64, tx_bytes) + sizeof stats.tx_bytes;
        if (ReadGrowingRecord(payload, size, needed, stats)) {
          netIf.rxBytes = stats.rx_bytes;
          netIf.txBytes = stats.tx_bytes;
          haveStats64 = haveCounters = true;
        }
        break;
      }
      case IFLA_STATS: {
        rtnl_link_stats stats {};
        const size_t needed = offsetof(rtnl_link_stats, tx_bytes) + sizeof stats.tx_bytes;
        if (!haveStats64 && ReadGrowingRecord(payload, size, needed, stats)) {
          netIf.rxBytes = stats.rx_bytes;
          netIf.txBytes = stats.tx_bytes;
          haveCounters = true;
        }
        break;
      }
      default:
        break;
    }
    offset += RTA_ALIGN(attribute.rta_len);
  }
  return haveCounters && !netIf.name.empty();
}

// Sends one dump request and hands every answer message of `answerType` to `take`. False when
// the socket fails or the kernel answers with an error; the socket is then dropped, so no
// half-read answer waits on it for the next request.
template <typename Body, typename Take>
bool DumpOn(tNetLink& link, uint16_t requestType, const Body& body, uint16_t answerType, Take take);

template <typename Body, typename Take>
bool Dump(tNetLink* link, uint16_t requestType, const Body& body, uint16_t answerType, Take take) {
  if (link != nullptr) {
    const bool ok = DumpOn(*link, requestType, body, answerType, take);
    if (!ok) link->Drop();
    return ok;
  }
  tNetLink own;
  return DumpOn(own, requestType, body, answerType, take);
}

template <typename Body, typename Take>
bool DumpOn(tNetLink& link, uint16_t requestType, const Body& body, uint16_t answerType, Take take) {
  const int fd = link.Fd();
  if (fd < 0) return false;
  struct {
    nlmsghdr header;
    Body body;
  } request {};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = requestType;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = link.NextSequence();
  request.body = body;
  sockaddr_nl kernel {};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) < 0)
    return false;

  // Dump parts are at most 32 KiB; 64 KiB leaves room, and MSG_TRUNC would tell otherwise.
  thread_local std::vector<uint8_t> buffer(65536);
  for (;;) {
    const ssize_t received = ::recv(fd, buffer.data(), buffer.size(), MSG_TRUNC);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0 || static_cast<size_t>(received) > buffer.size()) return false;
    const size_t length = static_cast<size_t>(received);
    size_t offset = 0;
    while (offset + sizeof(nlmsghdr) <= length) {
      nlmsghdr header {};
      std::memcpy(&header, buffer.data() + offset, sizeof header);
      if (header.nlmsg_len < sizeof header || header.nlmsg_len > length - offset) return false;
      if (header.nlmsg_seq == request.header.nlmsg_seq) {
        if (header.nlmsg_type == NLMSG_DONE) return true;
        if (header.nlmsg_type == NLMSG_ERROR) return false;
        if (header.nlmsg_type == answerType)
          take(buffer.data() + offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN);
      }
      offset += NLMSG_ALIGN(header.nlmsg_len);
    }
  }
}

// The first IPv4 address of every interface index, from one RTM_GETADDR dump.
bool Ipv4ByIndex(std::vector<std::pair<int, std::array<uint8_t, 4>>>& addresses, tNetLink* link) {
  ifaddrmsg request {};
  request.ifa_family = AF_INET;
  return Dump(link, RTM_GETADDR, request, RTM_NEWADDR, [&](const uint8_t* p, size_t length) {
    ifaddrmsg info {};
    if (!ReadPod(p, length, info) || info.ifa_family != AF_INET) return;
    const int index = static_cast<int>(info.ifa_index);
    for (const auto& known : addresses)
      if (known.first == index) return;  // primary addresses come first
    std::optional<std::array<uint8_t, 4>> local, address;
    size_t offset = NLMSG_ALIGN(sizeof(ifaddrmsg));
    while (offset + sizeof(rtattr) <= length) {
      rtattr attribute {};
      ReadPod(p + offset, length - offset, attribute);
      if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > length - offset) break;
      std::array<uint8_t, 4> octets {};
      const size_t size = attribute.rta_len - RTA_LENGTH(0);
      if (size == 4) {
        std::memcpy(octets.data(), p + offset + RTA_LENGTH(0), 4);
        // On point-to-point links IFA_ADDRESS is the peer; IFA_LOCAL is this end.
        if (attribute.rta_type == IFA_LOCAL) local = octets;
        if (attribute.rta_type == IFA_ADDRESS) address = octets;
      }
      offset += RTA_ALIGN(attribute.rta_len);
    }
    if (local || address) addresses.emplace_back(index, local ? *local : *address);
  });
}

// The same from getifaddrs, matched by name, for systems where the netlink socket is refused.
void Ipv4ByName(std::vector<tNetInterface>& interfaces) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return;  // nothing known: ipText stays kNoIpText
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

}  // namespace

int tNetLink::Fd() {
  if (fd_ >= 0) return fd_;
  fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd_ < 0) return -1;
  const timeval patience {1, 0};  // the kernel always ends a dump; this only guards against a bug
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  return fd_;
}

void tNetLink::Drop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<std::vector<tNetInterface>> ReadNetInterfacesFromKernel(tNetLink* link) {
  ifinfomsg request {};
  request.ifi_family = AF_UNSPEC;
  std::vector<tNetInterface> interfaces;
  const bool ok = Dump(link, RTM_GETLINK, request, RTM_NEWLINK, [&](const uint8_t* p, size_t length) {
    tNetInterface netIf;
    if (ParseLink(p, length, netIf)) interfaces.push_back(std::move(netIf));
  });
  if (!ok) return std::nullopt;
  std::sort(interfaces.begin(), interfaces.end(),
            [](const tNetInterface& a, const tNetInterface& b) { return a.index < b.index; });
  return interfaces;
}

void AttachIpv4Addresses(std::vector<tNetInterface>& interfaces, tNetLink* link) {
  std::vector<std::pair<int, std::array<uint8_t, 4>>> addresses;
  if (!Ipv4ByIndex(addresses, link)) {
    Ipv4ByName(interfaces);
    return;
  }
  for (tNetInterface& netIf : interfaces) {
    netIf.ipText = IpText({0, 0, 0, 0});
    for (const auto& [index, octets] : addresses)
      if (index == netIf.index) {
        netIf.ipText = IpText(octets);
        break;
      }
  }
}

}  // namespace kv
