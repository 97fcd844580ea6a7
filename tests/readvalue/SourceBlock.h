#pragma once
// Test support for the sensor sources: a sensor program's block written field by field with
// its byte layout, and a fixture with fresh readings, default channel names and order maps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "core/EventLog.h"
#include "platform/SharedMemory.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "support/PassState.h"
#include "support/SensorOrders.h"
#include "support/TestSupport.h"

namespace kvtest {

// A block as the outside program publishes it; removed again when the test ends.
class SourceBlock {
 public:
  SourceBlock(const std::string& name, size_t size) {
    if (!block_.Create(name, size) || !block_.Map()) throw std::runtime_error(block_.LastError());
    std::memset(block_.Bytes().data(), 0, size);
  }
  template <typename T>
  void Put(size_t offset, T value) {
    if (offset + sizeof value > block_.Bytes().size()) throw std::out_of_range("test block too short");
    std::memcpy(block_.Bytes().data() + offset, &value, sizeof value);
  }
  void PutText(size_t offset, const std::string& text) {
    if (offset + text.size() > block_.Bytes().size()) throw std::out_of_range("test block too short");
    std::memcpy(block_.Bytes().data() + offset, text.data(), text.size());
  }

 private:
  kv::SharedMemoryBlock block_;
};

class SourceTest : public testing::Test, public PassState {
 protected:
  void SetUp() override {
    kv::SetSharedMemoryPrefix("kvsrc-" + std::to_string(::getpid()) + "-");
    kv::SetEventLogPath(dir_.File("KVEvents.txt"));
    kv::SetDebugMode(true);
    Pass.ResetReadings();
    UseSourceOrderMaps(Settings);
  }
  void TearDown() override {
    kv::SetDebugMode(false);
    kv::SetEventLogPath("");
    kv::SetSharedMemoryPrefix("");
  }
  std::string Log() const { return ReadFile(dir_.File("KVEvents.txt")); }
  bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }

  TempDir dir_;
};

}  // namespace kvtest
