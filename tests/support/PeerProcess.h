#pragma once
// A loopback peer written in Python: started with the system's interpreter (which carries
// pyftpdlib and aiosmtpd, whatever else PATH offers first); it prints its port on its first line.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

namespace kvtest {

// The peer's port, or 0 and a test failure naming `what` with the peer's own error output.
inline int StartPeerProcess(QProcess& process, const QStringList& scriptAndArgs, const char* what) {
  process.start("/usr/bin/python3", scriptAndArgs);
  int port = 0;
  if (process.waitForStarted(5000) && process.waitForReadyRead(10000)) port = process.readLine().trimmed().toInt();
  if (port == 0) ADD_FAILURE() << what << " did not start: " << process.readAllStandardError().toStdString();
  return port;
}

}  // namespace kvtest
