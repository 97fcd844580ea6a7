#include "core/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace kv {

void tMainThread::Post(std::function<void()> fn) const {
  QObject* target = context ? context : QCoreApplication::instance();
  if (target) QMetaObject::invokeMethod(target, std::move(fn), Qt::QueuedConnection);
}

}  // namespace kv
