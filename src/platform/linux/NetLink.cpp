// The interface table straight from the kernel over rtnetlink: one request answers what the file
// reader needs five sysfs files per interface for.
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

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
      case IFLA_IFNAME:
        netIf.name.assign(reinterpret_cast<const char*>(payload), strnlen(
            reinterpret_cast<const char*>(payload), size));
        break;
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
        if (ReadPod(payload, size, stats)) {
          netIf.rxBytes = stats.rx_bytes;
          netIf.txBytes = stats.tx_bytes;
          haveStats64 = haveCounters = true;
        }
        break;
      }
      case IFLA_STATS: {
        rtnl_link_stats stats {};
        if (!haveStats64 && ReadPod(payload, size, stats)) {
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

class tSocket {
 public:
  tSocket() : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {}
  ~tSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  tSocket(const tSocket&) = delete;
  tSocket& operator=(const tSocket&) = delete;
  int fd() const { return fd_; }
 private:
  int fd_;
};

}  // namespace

std::optional<std::vector<tNetInterface>> ReadNetInterfacesFromKernel() {
  tSocket sock;
  if (sock.fd() < 0) return std::nullopt;

  struct {
    nlmsghdr header;
    ifinfomsg body;
  } request {};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETLINK;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = 1;
  request.body.ifi_family = AF_UNSPEC;
  sockaddr_nl kernel {};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(sock.fd(), &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) < 0)
    return std::nullopt;

  // Dump parts are at most 32 KiB; 64 KiB leaves room, and MSG_TRUNC would tell otherwise.
  thread_local std::vector<uint8_t> buffer(65536);
  std::vector<tNetInterface> interfaces;
  for (;;) {
    const ssize_t received = ::recv(sock.fd(), buffer.data(), buffer.size(), MSG_TRUNC);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0 || static_cast<size_t>(received) > buffer.size()) return std::nullopt;
    const size_t length = static_cast<size_t>(received);
    size_t offset = 0;
    while (offset + sizeof(nlmsghdr) <= length) {
      nlmsghdr header {};
      std::memcpy(&header, buffer.data() + offset, sizeof header);
      if (header.nlmsg_len < sizeof header || header.nlmsg_len > length - offset)
        return std::nullopt;
      if (header.nlmsg_seq == request.header.nlmsg_seq) {
        if (header.nlmsg_type == NLMSG_DONE) {
          std::sort(interfaces.begin(), interfaces.end(),
                    [](const tNetInterface& a, const tNetInterface& b) { return a.index < b.index; });
          return interfaces;
        }
        if (header.nlmsg_type == NLMSG_ERROR) return std::nullopt;
        if (header.nlmsg_type == RTM_NEWLINK) {
          tNetInterface netIf;
          if (ParseLink(buffer.data() + offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN,
                        netIf))
            interfaces.push_back(std::move(netIf));
        }
      }
      offset += NLMSG_ALIGN(header.nlmsg_len);
    }
  }
}

}  // namespace kv
