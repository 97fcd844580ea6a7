#pragma once
// The running transfer's progress, written by the transfer threads and read by the main
// window's status panel. Each count is stored and read whole, so a repaint never sees half of
// an update.
#include <atomic>
#include <cstdint>
#include <functional>

namespace kv {

struct tTransferProgress {
  std::atomic<int64_t> total{0};  // bytes of the running transfer; 0 = none known
  std::atomic<int64_t> done{0};
  std::atomic<bool> transferring{false};  // a transfer began and has not reported its end
};

tTransferProgress& TransferProgress();

// Called by the transfer code after it stored new counts, from any thread. The window installs
// the notifier before any transfer thread exists; without one nothing happens.
void NotifyTransferProgress();
void SetTransferProgressNotifier(std::function<void()> notifier);

}  // namespace kv
