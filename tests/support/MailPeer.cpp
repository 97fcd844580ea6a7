#include "support/MailPeer.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <filesystem>
#include <memory>

#include "support/PeerProcess.h"
#include "support/TestSupport.h"

namespace kvtest {

namespace {

// The system's Python carries aiosmtpd, whatever else PATH offers first.
const char* const Python = "/usr/bin/python3";

std::string Text(const QJsonValue& v) { return v.toString().toStdString(); }

}  // namespace

MailPeer::MailPeer(const std::string& mode, const std::string& auth, int port) {
  QStringList args{KV_TEST_SOURCE_DIR "/support/smtp_fixture.py", QString::fromStdString(mode),
                   "--port", QString::number(port)};
  if (mode != "plain") args << "--cert" << QString::fromStdString(TestPki());
  if (!auth.empty()) args << "--auth" << QString::fromStdString(auth);
  port_ = StartPeerProcess(process_, args, "mail server");
}

MailPeer::~MailPeer() {
  process_.kill();
  process_.waitForFinished(5000);
}

const std::vector<ReceivedMail>& MailPeer::Mails(size_t count, std::chrono::milliseconds wait) {
  const auto end = std::chrono::steady_clock::now() + wait;
  for (;;) {
    while (process_.canReadLine()) {
      const QJsonDocument doc = QJsonDocument::fromJson(process_.readLine());
      if (!doc.isObject()) continue;  // the server's other words
      const QJsonObject o = doc.object();
      ReceivedMail m{Text(o["from"]), Text(o["header_to"]), Text(o["subject"]), Text(o["text"]), Text(o["login"])};
      std::erase(m.text, '\r');
      for (const QJsonValue& to : o["to"].toArray()) m.to.push_back(Text(to));
      for (const QJsonValue& a : o["attachments"].toArray())
        m.attachments.push_back({Text(a[0]), Text(a[1]), a[2].toInt()});
      mails_.push_back(std::move(m));
    }
    if (mails_.size() >= count || std::chrono::steady_clock::now() >= end) return mails_;
    process_.waitForReadyRead(50);
  }
}

const std::string& TestPki() {
  static const std::unique_ptr<TempDir> dir = [] {
    auto d = std::make_unique<TempDir>();
    QProcess pki;
    pki.start(Python, {KV_TEST_SOURCE_DIR "/publishing/update_fixture.py", "pki", QString::fromStdString(d->Path())});
    pki.waitForFinished(60000);
    if (!std::filesystem::exists(d->File("server.pem"))) ADD_FAILURE() << "no test certificates in " << d->Path();
    return d;
  }();
  return dir->Path();
}

}  // namespace kvtest
