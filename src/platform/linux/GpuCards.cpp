#include "platform/GpuCards.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "platform/KeptFiles.h"
#include "platform/linux/SysText.h"

namespace kv {

using namespace systext;

namespace {

constexpr std::string_view KnownDrivers[] = {"amdgpu", "radeon", "i915", "xe", "nouveau"};

// The figure files, looked for once per scan: a card that lacks one costs no failing open per pass.
enum tFile : uint32_t {
  Busy, MemBusy, VramUsed, VramTotal, Sclk, Mclk, GtCur, XeCur, Temp, Fan, PowerAverage, PowerInput, PowerCap,
  PowerMax, FileCount
};

std::string FilePath(const tGpuCard& card, tFile file) {
  static constexpr const char* DeviceFiles[] = {"gpu_busy_percent",   "mem_busy_percent", "mem_info_vram_used",
                                                "mem_info_vram_total", "pp_dpm_sclk",      "pp_dpm_mclk"};
  static constexpr const char* HwmonFiles[] = {"temp1_input", "fan1_input", "power1_average",
                                               "power1_input", "power1_cap", "power1_max"};
  if (file <= Mclk) return card.Folder + "device/" + DeviceFiles[file];
  if (file == GtCur) return card.Folder + "gt_cur_freq_mhz";
  if (file == XeCur) return card.Folder + "device/tile0/gt0/freq0/cur_freq";
  return card.Hwmon.empty() ? std::string() : card.Hwmon + HwmonFiles[file - Temp];
}

bool Has(const tGpuCard& card, tFile file) { return (card.Files & (1u << file)) != 0; }

std::optional<uint64_t> KeptNumber(tKeptFiles& kept, const std::string& path) {
  const auto text = kept.Read(path, true);
  if (!text) return std::nullopt;
  return ParseUnsigned(TrimView(*text));
}

std::optional<uint32_t> Kept32(tKeptFiles& kept, const std::string& path) {
  const auto v = KeptNumber(kept, path);
  if (!v || *v > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(*v);
}

std::optional<uint32_t> Percent(tKeptFiles& kept, const std::string& path) {
  const auto v = Kept32(kept, path);
  if (!v || *v > 100) return std::nullopt;
  return v;
}

std::optional<uint32_t> DpmClock(tKeptFiles& kept, const std::string& path) {
  const auto text = kept.Read(path, true);
  return text ? CurrentDpmClock(*text) : std::nullopt;
}

// The first hwmonN folder of the device, with its chip name.
void FindHwmon(tGpuCard& card, const std::string& device, std::string_view pciSlot) {
  const std::string folder = device + "hwmon/";
  std::vector<std::string> names = ListFolder(folder);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (!NumberAfter(name, "hwmon")) continue;
    card.Hwmon = folder + name + "/";
    card.Chip = PciChipName(ReadTrimmed(card.Hwmon + "name").value_or(card.Driver), pciSlot);
    return;
  }
}

}  // namespace

std::optional<uint32_t> CurrentDpmClock(std::string_view text) {
  text = CompleteLines(text);
  while (!text.empty()) {
    std::string_view line = NextLine(text);
    line = TrimView(line);
    if (line.empty() || line.back() != '*') continue;
    // "<level>: <figure>Mhz *"
    NextField(line);
    std::string_view figure = NextField(line);
    if (figure.size() > 3 && (figure.ends_with("Mhz") || figure.ends_with("MHz")))
      figure.remove_suffix(3);
    const auto mhz = ParseUnsigned(figure);
    if (!mhz || *mhz > 1000000) return std::nullopt;
    return static_cast<uint32_t>(*mhz);
  }
  return std::nullopt;
}

std::string UeventValue(std::string_view text, std::string_view key) {
  while (!text.empty()) {
    const std::string_view line = NextLine(text);
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
      return std::string(TrimView(line.substr(key.size() + 1)));
  }
  return {};
}

std::string PciChipName(const std::string& hwmonName, std::string_view pciSlot) {
  // Exactly "dddd:bb:dd.f" in hex digits; sscanf would take signs and blanks as well.
  constexpr std::string_view Shape = "xxxx:xx:xx.x";
  if (hwmonName.empty() || pciSlot.size() != Shape.size()) return {};
  unsigned digits[12] = {};
  for (size_t k = 0; k < Shape.size(); ++k) {
    const char c = pciSlot[k];
    if (Shape[k] != 'x') {
      if (c != Shape[k]) return {};
      continue;
    }
    if (c >= '0' && c <= '9') digits[k] = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digits[k] = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digits[k] = static_cast<unsigned>(c - 'A' + 10);
    else return {};
  }
  const unsigned bus = digits[5] * 16 + digits[6], slot = digits[8] * 16 + digits[9], function = digits[11];
  if (slot > 31 || function > 7) return {};
  char buf[16];
  std::snprintf(buf, sizeof buf, "-pci-%04x", (bus << 8) + (slot << 3) + function);
  return hwmonName + buf;
}

std::vector<tGpuCard> FindGpuCards(const std::string& root) {
  std::vector<std::pair<uint64_t, tGpuCard>> found;
  const std::string folder = RootPath(root, "sys/class/drm/");
  for (const std::string& name : ListFolder(folder)) {
    const auto number = NumberAfter(name, "card");  // "card0-DP-1" is a connector
    if (!number) continue;
    tGpuCard card;
    card.Card = name;
    card.Folder = folder + name + "/";
    const std::string device = card.Folder + "device/";
    const auto uevent = ReadScratch(device + "uevent");
    if (!uevent) continue;
    const std::string pciSlot = UeventValue(*uevent, "PCI_SLOT_NAME");
    card.Driver = UeventValue(*uevent, "DRIVER");
    if (std::find(std::begin(KnownDrivers), std::end(KnownDrivers), card.Driver) == std::end(KnownDrivers)) continue;
    FindHwmon(card, device, pciSlot);
    for (uint32_t file = 0; file < FileCount; ++file) {
      const std::string path = FilePath(card, static_cast<tFile>(file));
      struct stat st {};
      if (!path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) card.Files |= 1u << file;
    }
    found.emplace_back(*number, std::move(card));
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<tGpuCard> cards;
  for (auto& [number, card] : found) cards.push_back(std::move(card));
  return cards;
}

tGpuCardFigures ReadGpuCard(const tGpuCard& card, tKeptFiles& kept) {
  tGpuCardFigures f;
  auto path = [&card](tFile file) { return FilePath(card, file); };
  if (Has(card, Busy)) f.BusyPercent = Percent(kept, path(Busy));
  if (Has(card, MemBusy)) f.MemBusyPercent = Percent(kept, path(MemBusy));
  if (Has(card, VramUsed)) f.VramUsed = KeptNumber(kept, path(VramUsed));
  if (Has(card, VramTotal)) f.VramTotal = KeptNumber(kept, path(VramTotal));
  if (Has(card, Sclk)) f.CoreMhz = DpmClock(kept, path(Sclk));
  if (Has(card, Mclk)) f.MemMhz = DpmClock(kept, path(Mclk));
  if (!f.CoreMhz && Has(card, GtCur)) f.CoreMhz = Kept32(kept, path(GtCur));
  if (!f.CoreMhz && Has(card, XeCur)) f.CoreMhz = Kept32(kept, path(XeCur));
  if (Has(card, Temp))
    if (const auto text = kept.Read(path(Temp), true)) f.TempMilli = ParseSigned(TrimView(*text));
  if (Has(card, Fan)) f.FanRpm = Kept32(kept, path(Fan));
  if (Has(card, PowerAverage)) f.PowerMicroW = KeptNumber(kept, path(PowerAverage));
  if (!f.PowerMicroW && Has(card, PowerInput)) f.PowerMicroW = KeptNumber(kept, path(PowerInput));
  if (Has(card, PowerCap)) f.PowerCapMicroW = KeptNumber(kept, path(PowerCap));
  if (!f.PowerCapMicroW && Has(card, PowerMax)) f.PowerCapMicroW = KeptNumber(kept, path(PowerMax));
  return f;
}

}  // namespace kv
