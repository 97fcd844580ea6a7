#include <optional>

#include "core/EventLog.h"
#include "platform/NetMetrics.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kv::metrics {

namespace {

constexpr uint32_t WrapKiB = 4194304;  // 4 GiB in KiB: where a 32-bit byte counter wraps
constexpr const char* NoIpv4Text = "  0.  0.  0.  0";

// carrier_changes moves on every reconnect; +1 keeps 0 free for "no stamp known".
uint32_t StampOf(const tNetInterface& netIf) {
  return netIf.carrierChanges ? static_cast<uint32_t>(*netIf.carrierChanges + 1) : 0;
}

// The stamp this interface had in the previous pass, found by name and MAC rather than by
// position, so an interface that vanishes does not hand its stamp to the one after it.
std::optional<uint32_t> PreviousStamp(const std::vector<tNetMon>& previous, const tNetMon& mon) {
  for (const tNetMon& old : previous)
    if (old.Description == mon.Description && old.Mac == mon.Mac) return old.LastChange;
  return std::nullopt;
}

bool BoundTo(const tNetSlot& slot, const tNetMon& mon) {
  if (slot.Mac.empty()) return false;
  return slot.Mac == mon.Mac || slot.Mac.find(mon.Mac + " " + mon.Description) != std::string::npos;
}

// A loop-back or unconnected interface never takes an empty slot.
bool Bindable(const tNetMon& mon) { return mon.Mac != kNoMacText && mon.Ip != NoIpv4Text; }

void BindToSlot(std::array<tNetSlot, NetSlotCount>& netSlots, const tNetMon& mon) {
  for (tNetSlot& slot : netSlots) {
    if (BoundTo(slot, mon)) return;
    if (slot.Mac.empty() && Bindable(mon)) {
      slot.Mac = mon.Mac;
      slot.Name = mon.Description;
      return;
    }
  }
}

// Carries a slot's running KiB counter on with the interface's 32-bit byte counter. Done in
// unsigned arithmetic, so a running counter past 2 TiB (negative as int32) keeps its step.
int32_t Extend(int32_t counter, uint32_t octets, bool stamped) {
  const uint32_t value = static_cast<uint32_t>(counter == NoValue32 ? 0 : counter);
  const uint32_t g = octets / 1024;
  const uint32_t r = value % WrapKiB;
  if (stamped) return static_cast<int32_t>(value - r + g + (g < r ? WrapKiB : 0));
  return static_cast<int32_t>(g > r ? value - r + g : value);
}

void StoreInterface(tPassContext& ctx, tNetMon& mon, uint32_t stamp, uint32_t inOctets, uint32_t outOctets) {
  tReadingsState& current = ctx.Current;
  tReadings& r = current.Readings;
  const std::optional<uint32_t> previous = PreviousStamp(current.NetMons, mon);
  const bool restart = !previous || *previous != stamp || current.PassCount == 0;
  if (restart) BindToSlot(ctx.Settings.NetSlots, mon);
  for (int k = 0; k < NetChannels; ++k) {
    tNetSlot& slot = ctx.Settings.NetSlots[static_cast<size_t>(k)];
    if (!BoundTo(slot, mon)) continue;
    if (restart) {
      r.NetIn[k] = static_cast<int32_t>(inOctets / 1024);
      r.NetOut[k] = static_cast<int32_t>(outOctets / 1024);
      ReplaceDefaultName(slot.Name, "Net" + std::to_string(k + 1), mon.Description);
    } else {
      r.NetIn[k] = Extend(r.NetIn[k], inOctets, stamp != 0);
      r.NetOut[k] = Extend(r.NetOut[k], outOctets, stamp != 0);
    }
  }
  mon.LastChange = stamp;
}

}  // namespace

void StoreNetwork(tPassContext& ctx, const std::vector<tNetInterface>& interfaces) {
  std::vector<tNetMon> mons;
  mons.reserve(interfaces.size());
  for (const tNetInterface& netIf : interfaces) {
    try {
      tNetMon mon{netIf.name, netIf.ipText, netIf.mac, 0};
      // The kernel keeps 64-bit counters; the wrap logic runs on their low 32 bits.
      StoreInterface(ctx, mon, StampOf(netIf), static_cast<uint32_t>(netIf.rxBytes),
                     static_cast<uint32_t>(netIf.txBytes));
      mons.push_back(std::move(mon));
    } catch (const std::exception& e) {
      LogError("fnm1 ", e);
    }
  }
  ctx.Current.NetMons = std::move(mons);
}

void ReadNetwork(tPassContext& ctx) {
  try {
    std::vector<tNetInterface> table;
    if (ctx.SystemRoot == "/") {
      tNetLink& link = ctx.Memory.Get<tNetLink>();
      std::optional<std::vector<tNetInterface>> fromKernel = ReadNetInterfacesFromKernel(&link);
      table = fromKernel ? std::move(*fromKernel) : ReadNetInterfaces("/");
      try {
        AttachIpv4Addresses(table, &link);
      } catch (const std::exception& e) {
        LogError("gifi1 ", e);
      }
    } else {
      // A fake tree has no addresses to ask for: the IP texts stay "???.???.???.???".
      table = ReadNetInterfaces(ctx.SystemRoot);
    }
    StoreNetwork(ctx, table);
  } catch (const std::exception& e) {
    LogError("fnm2 ", e);
  }
}

}  // namespace kv::metrics
