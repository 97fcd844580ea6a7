#include "platform/Nvml.h"

#include <dlfcn.h>

#include <cstring>

namespace kv {

namespace {

// The few declarations of the library's C interface that are used; its header is not needed.
using nvmlReturn_t = int;
using nvmlDevice_t = struct nvmlDevice_st*;
constexpr nvmlReturn_t NVML_SUCCESS = 0;
constexpr int NVML_TEMPERATURE_GPU = 0;
constexpr int NVML_CLOCK_GRAPHICS = 0;
constexpr int NVML_CLOCK_MEM = 2;
constexpr unsigned NameLength = 96;

struct nvmlUtilization_t {
  unsigned gpu, memory;
};
struct nvmlMemory_t {
  unsigned long long total, free, used;
};
// Versioned structure: the version word is its size with the version number in the top byte.
struct nvmlFanSpeedInfo_t {
  unsigned version, fan, speed;
};
constexpr unsigned FanSpeedInfoV1 = sizeof(nvmlFanSpeedInfo_t) | (1u << 24);

template <typename F>
bool Find(void* handle, const char* name, F& f) {
  f = reinterpret_cast<F>(dlsym(handle, name));
  return f != nullptr;
}

}  // namespace

struct tNvml::tApi {
  nvmlReturn_t (*Init)() = nullptr;
  nvmlReturn_t (*Shutdown)() = nullptr;
  const char* (*ErrorString)(nvmlReturn_t) = nullptr;
  nvmlReturn_t (*GetCount)(unsigned*) = nullptr;
  nvmlReturn_t (*GetHandle)(unsigned, nvmlDevice_t*) = nullptr;
  nvmlReturn_t (*GetName)(nvmlDevice_t, char*, unsigned) = nullptr;
  nvmlReturn_t (*GetTemperature)(nvmlDevice_t, int, unsigned*) = nullptr;
  nvmlReturn_t (*GetFanSpeed)(nvmlDevice_t, unsigned*) = nullptr;
  nvmlReturn_t (*GetFanSpeedRPM)(nvmlDevice_t, nvmlFanSpeedInfo_t*) = nullptr;  // newer drivers only
  nvmlReturn_t (*GetPowerUsage)(nvmlDevice_t, unsigned*) = nullptr;
  nvmlReturn_t (*GetPowerLimit)(nvmlDevice_t, unsigned*) = nullptr;
  nvmlReturn_t (*GetUtilization)(nvmlDevice_t, nvmlUtilization_t*) = nullptr;
  nvmlReturn_t (*GetMemoryInfo)(nvmlDevice_t, nvmlMemory_t*) = nullptr;
  nvmlReturn_t (*GetClockInfo)(nvmlDevice_t, int, unsigned*) = nullptr;
};

tNvml::~tNvml() { Close(); }

bool tNvml::Open(std::string& why) {
  Close();
  handle_ = dlopen("libnvidia-ml.so.1", RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* error = dlerror();
    why = error ? error : "libnvidia-ml.so.1 cannot be loaded";
    return false;
  }
  api_ = new tApi;
  tApi& a = *api_;
  Find(handle_, "nvmlDeviceGetFanSpeedRPM", a.GetFanSpeedRPM);
  const bool found = Find(handle_, "nvmlInit_v2", a.Init) && Find(handle_, "nvmlShutdown", a.Shutdown) &&
                     Find(handle_, "nvmlErrorString", a.ErrorString) &&
                     Find(handle_, "nvmlDeviceGetCount_v2", a.GetCount) &&
                     Find(handle_, "nvmlDeviceGetHandleByIndex_v2", a.GetHandle) &&
                     Find(handle_, "nvmlDeviceGetName", a.GetName) &&
                     Find(handle_, "nvmlDeviceGetTemperature", a.GetTemperature) &&
                     Find(handle_, "nvmlDeviceGetFanSpeed", a.GetFanSpeed) &&
                     Find(handle_, "nvmlDeviceGetPowerUsage", a.GetPowerUsage) &&
                     Find(handle_, "nvmlDeviceGetEnforcedPowerLimit", a.GetPowerLimit) &&
                     Find(handle_, "nvmlDeviceGetUtilizationRates", a.GetUtilization) &&
                     Find(handle_, "nvmlDeviceGetMemoryInfo", a.GetMemoryInfo) &&
                     Find(handle_, "nvmlDeviceGetClockInfo", a.GetClockInfo);
  if (!found) {
    why = "libnvidia-ml.so.1 lacks a function: ";
    const char* error = dlerror();
    why += error ? error : "?";
    Close();
    return false;
  }
  nvmlReturn_t rc = a.Init();
  if (rc != NVML_SUCCESS) {
    const char* text = a.ErrorString(rc);
    why = std::string("nvmlInit: ") + (text ? text : std::to_string(rc).c_str());
    Close();
    return false;
  }
  initialised_ = true;
  rc = a.GetCount(&count_);
  if (rc != NVML_SUCCESS || count_ == 0) {
    why = rc != NVML_SUCCESS ? std::string("nvmlDeviceGetCount: ") + a.ErrorString(rc) : "no device";
    Close();
    return false;
  }
  return true;
}

std::vector<tNvmlGpu> tNvml::ReadAll() {
  std::vector<tNvmlGpu> gpus;
  if (api_ == nullptr) return gpus;
  const tApi& a = *api_;
  for (unsigned i = 0; i < count_; ++i) {
    nvmlDevice_t device = nullptr;
    tNvmlGpu g;
    if (a.GetHandle(i, &device) != NVML_SUCCESS) {
      gpus.push_back(std::move(g));  // keeps its place, so the slots stay put
      continue;
    }
    char name[NameLength] = {};
    if (a.GetName(device, name, NameLength - 1) == NVML_SUCCESS) g.Name.assign(name, strnlen(name, NameLength - 1));
    auto value = [&](auto f, auto... args) -> std::optional<uint32_t> {
      unsigned v = 0;
      if (f(device, args..., &v) != NVML_SUCCESS) return std::nullopt;
      return v;
    };
    g.TempC = value(a.GetTemperature, NVML_TEMPERATURE_GPU);
    if (a.GetFanSpeedRPM) {
      nvmlFanSpeedInfo_t fan{FanSpeedInfoV1, 0, 0};
      if (a.GetFanSpeedRPM(device, &fan) == NVML_SUCCESS) g.FanRpm = fan.speed;
    }
    if (!g.FanRpm) g.FanPercent = value(a.GetFanSpeed);
    g.PowerMw = value(a.GetPowerUsage);
    g.PowerLimitMw = value(a.GetPowerLimit);
    nvmlUtilization_t use{};
    if (a.GetUtilization(device, &use) == NVML_SUCCESS) {
      g.LoadPercent = use.gpu;
      g.MemLoadPercent = use.memory;
    }
    nvmlMemory_t memory{};
    if (a.GetMemoryInfo(device, &memory) == NVML_SUCCESS) {
      g.MemUsedBytes = memory.used;
      g.MemTotalBytes = memory.total;
    }
    g.CoreMhz = value(a.GetClockInfo, NVML_CLOCK_GRAPHICS);
    g.MemMhz = value(a.GetClockInfo, NVML_CLOCK_MEM);
    gpus.push_back(std::move(g));
  }
  return gpus;
}

void tNvml::Close() {
  if (initialised_) api_->Shutdown();
  initialised_ = false;
  delete api_;
  api_ = nullptr;
  count_ = 0;
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace kv
