#pragma once
// The progress of the current upload, written by the transfer callbacks on the upload thread
// and read by the status panel on the main thread.
#include <atomic>
#include <cstdint>

namespace kv {

struct tTransferProgress {
  std::atomic<int64_t> done{0};   // bytes sent so far
  std::atomic<int64_t> total{0};  // bytes expected
  std::atomic<bool> transferring{false};  // a transfer began and has not reported its end
};

tTransferProgress& TransferProgress();

}  // namespace kv
