#include "publishing/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace kv {

void OnMainThread(std::function<void()> fn) {
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

}  // namespace kv
