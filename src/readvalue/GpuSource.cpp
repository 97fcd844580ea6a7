#include "readvalue/GpuSource.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "core/EventLog.h"
#include "platform/GpuCards.h"
#include "platform/KeptFiles.h"
#include "platform/Nvml.h"
#include "readvalue/PassContext.h"
#include "settings/Settings.h"

namespace kv {

namespace {

int32_t Figure(const std::optional<uint32_t>& v, int64_t factor = 1) {
  return v ? StoreAsIs32(static_cast<double>(*v) * static_cast<double>(factor)) : NoValue32;
}

int32_t KiB(const std::optional<uint64_t>& bytes) {
  return bytes ? StoreAsIs32(static_cast<double>(*bytes / 1024)) : NoValue32;
}

int32_t MilliW(const std::optional<uint64_t>& microW) {
  return microW ? StoreAsIs32(static_cast<double>(*microW / 1000)) : NoValue32;
}

tGpu FromCard(const tGpuCard& card, const tGpuCardFigures& f) {
  tGpu g;
  g.Name = card.Card + " " + card.Driver;
  g.Driver = card.Driver;
  g.Chip = card.Chip;
  if (f.TempMilli) g.Temp = StoreAsIs32(static_cast<double>(*f.TempMilli) / 10);
  g.Fan = Figure(f.FanRpm);
  g.Power = MilliW(f.PowerMicroW);
  g.PowerLimit = MilliW(f.PowerCapMicroW);
  g.Load = Figure(f.BusyPercent, 100);
  g.MemLoad = Figure(f.MemBusyPercent, 100);
  g.MemUsed = KiB(f.VramUsed);
  g.MemTotal = KiB(f.VramTotal);
  g.CoreClock = Figure(f.CoreMhz);
  g.MemClock = Figure(f.MemMhz);
  return g;
}

tGpu FromNvml(const tNvmlGpu& n, size_t index) {
  tGpu g;
  g.Name = n.Name.empty() ? "NVIDIA GPU " + std::to_string(index) : n.Name;
  g.Driver = "nvidia";
  g.Chip = "nvidia-gpu" + std::to_string(index);
  g.Temp = Figure(n.TempC, 100);
  g.FanPercent = !n.FanRpm && n.FanPercent;
  g.Fan = Figure(n.FanRpm ? n.FanRpm : n.FanPercent);
  g.Power = Figure(n.PowerMw);
  g.PowerLimit = Figure(n.PowerLimitMw);
  g.Load = Figure(n.LoadPercent, 100);
  g.MemLoad = Figure(n.MemLoadPercent, 100);
  g.MemUsed = KiB(n.MemUsedBytes);
  g.MemTotal = KiB(n.MemTotalBytes);
  g.CoreClock = Figure(n.CoreMhz);
  g.MemClock = Figure(n.MemMhz);
  return g;
}

// The NVML worker. The pass and the thread share only this block under its mutex; the thread
// owns the library. The thread is detached: a call that never returns must not hold up the
// program's end, and the block lives as long as either side holds it.
struct tNvmlShared {
  std::mutex m;
  std::condition_variable cv;
  bool request = false, busy = false, stop = false, absent = false, fresh = false;
  std::string why;
  std::vector<tNvmlGpu> result;
};

void NvmlThread(std::shared_ptr<tNvmlShared> s) {
  tNvml nvml;
  bool open = false;
  std::unique_lock lock(s->m);
  for (;;) {
    s->cv.wait(lock, [&] { return s->request || s->stop; });
    if (s->stop) break;
    s->request = false;
    lock.unlock();
    std::string why;
    if (!open) open = nvml.Open(why);
    std::vector<tNvmlGpu> gpus;
    if (open) gpus = nvml.ReadAll();
    lock.lock();
    s->busy = false;
    if (!open) {
      s->absent = true;
      s->why = why;
      s->cv.notify_all();
      break;
    }
    s->result = std::move(gpus);
    s->fresh = true;
    s->cv.notify_all();
  }
}

class tNvmlWorker {
 public:
  ~tNvmlWorker() { Stop(); }

  // The figures of the latest answer; nullopt while there is no new one.
  std::optional<std::vector<tNvmlGpu>> Read() {
    if (absent_) return std::nullopt;
    if (!shared_) {
      shared_ = std::make_shared<tNvmlShared>();
      std::thread(NvmlThread, shared_).detach();
    }
    tNvmlShared& s = *shared_;
    std::unique_lock lock(s.m);
    if (s.busy) return std::nullopt;  // the last call is still out: no new one
    std::optional<std::vector<tNvmlGpu>> late = Take(s);
    s.request = s.busy = true;
    s.cv.notify_all();
    if (!s.cv.wait_for(lock, NvmlDeadline, [&] { return !s.busy; })) return late;
    if (s.absent) {
      absent_ = true;
      LogEvent("NVIDIA management library not present: " + s.why);
      lock.unlock();
      shared_.reset();
      return std::nullopt;
    }
    return Take(s);
  }

  void Stop() {
    if (!shared_) return;
    {
      std::lock_guard lock(shared_->m);
      shared_->stop = true;
      shared_->cv.notify_all();
    }
    shared_.reset();
  }

 private:
  static std::optional<std::vector<tNvmlGpu>> Take(tNvmlShared& s) {
    if (!s.fresh) return std::nullopt;
    s.fresh = false;
    return std::move(s.result);
  }

  std::shared_ptr<tNvmlShared> shared_;
  bool absent_ = false;
};

struct tGpuMemory {
  bool scanned = false;
  std::vector<tGpuCard> cards;
  tKeptFiles kept;
  tNvmlWorker nvml;
  std::vector<tGpu> nvmlGpus;  // the last answer
};

void Scan(tGpuMemory& m, const std::string& root) {
  std::vector<tGpuCard> cards = FindGpuCards(root);
  const bool same = cards.size() == m.cards.size() &&
                    std::equal(cards.begin(), cards.end(), m.cards.begin(), [](const auto& a, const auto& b) {
                      return a.Folder == b.Folder && a.Hwmon == b.Hwmon;
                    });
  if (!same) {
    m.kept.CloseAll();
    for (const tGpuCard& c : cards) LogEvent("Found GPU: " + c.Card + " (" + c.Driver + ")");
  }
  m.cards = std::move(cards);
  m.scanned = true;
}

}  // namespace

std::vector<tHwmonSensor> GpuSensors(const std::vector<tGpu>& gpus) {
  std::vector<tHwmonSensor> sensors;
  for (const tGpu& g : gpus) {
    if (g.Driver != "nvidia") continue;
    const double temp = g.Temp == NoValue32 ? NAN : g.Temp / 100.0;
    sensors.push_back({g.Chip, "temp", tHwmonKind::Temperature, temp});
    if (!g.FanPercent && g.Fan != NoValue32) sensors.push_back({g.Chip, "fan", tHwmonKind::Fan, static_cast<double>(g.Fan)});
  }
  return sensors;
}

void ReadGpus(tPassContext& ctx) {
  tGpuMemory& m = ctx.Memory.Get<tGpuMemory>();
  if (!m.scanned || ctx.Current.PassCount % 10 == 0) Scan(m, ctx.SystemRoot);
  std::vector<tGpu> gpus;
  for (const tGpuCard& card : m.cards)
    if (gpus.size() < GpuSlots) gpus.push_back(FromCard(card, ReadGpuCard(card, m.kept)));
  try {
    if (auto answer = m.nvml.Read()) {
      m.nvmlGpus.clear();
      for (size_t i = 0; i < answer->size(); ++i) m.nvmlGpus.push_back(FromNvml((*answer)[i], i + 1));
    }
  } catch (const std::exception& e) {
    LogError("rv gpu 1 ", e);
  }
  for (const tGpu& g : m.nvmlGpus)
    if (gpus.size() < GpuSlots) gpus.push_back(g);
  ctx.Current.Gpus = std::move(gpus);
  StoreGpuHistory(ctx.Current.ReadingsExtra, ctx.Current.Gpus);
  StoreMoreSensors(ctx, GpuSensors(ctx.Current.Gpus), ctx.Current.GpuNamesPending);
}

void ReopenGpus(tPassContext& ctx) { ctx.Memory.Get<tGpuMemory>().scanned = false; }

void CloseGpus(tPassContext& ctx) {
  tGpuMemory& m = ctx.Memory.Get<tGpuMemory>();
  m.kept.CloseAll();
  m.cards.clear();
  m.scanned = false;
  m.nvml.Stop();
}

}  // namespace kv
