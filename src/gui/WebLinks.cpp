#include "gui/WebLinks.h"

#include <QDesktopServices>
#include <QUrl>

#include "core/EventLog.h"

namespace kv {

const tWebAddresses WebAddresses{
    "https://kelvara.org/",
    "https://kelvara.org/features/",
    "https://kelvara.org/forum/en/",
    "https://kelvara.org/forum/de/",
    "https://kelvara.org/chat/",
    "mailto:support@kelvara.org",
};

void OpenInBrowser(const std::string& address) {
  // Only the project's own fixed addresses come here; never a text from outside.
  QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

}  // namespace kv
