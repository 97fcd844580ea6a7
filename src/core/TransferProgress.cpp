#include "core/TransferProgress.h"

namespace kv {
namespace {
tTransferProgress Progress;
std::function<void()> Notifier;
}  // namespace

tTransferProgress& TransferProgress() { return Progress; }

void NotifyTransferProgress() {
  if (Notifier) Notifier();
}

void SetTransferProgressNotifier(std::function<void()> notifier) { Notifier = std::move(notifier); }

}  // namespace kv
