// The real program, headless: a hot value written into its external area ends as one alert
// mail at a real mail server.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "support/MailPeer.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

// The external area the running program created, through its own descriptor: another program
// of the same user that ends meanwhile removes the name, never the block.
std::string ExternalAreaOf(qint64 pid) {
  const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (target.starts_with("/dev/shm/") && target.find("Kelvara2") != std::string::npos) return entry.path().string();
  }
  return {};
}

// Slot 1 of the temperatures, in degrees.
bool WriteT1(const std::string& area, double celsius) {
  const int fd = ::open(area.c_str(), O_RDWR | O_CLOEXEC);  // a /proc link: followed on purpose
  if (fd < 0) return false;
  void* map = ::mmap(nullptr, sizeof celsius, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return false;
  std::memcpy(map, &celsius, sizeof celsius);
  ::munmap(map, sizeof celsius);
  return true;
}

TEST(AlertMailRun, HotValueInTheExternalAreaArrivesAsOneMail) {
  kvtest::TempDir dir;
  kvtest::MailPeer server("plain");
  const std::string folder = dir.Path() + "data/kelvara/";
  std::filesystem::create_directories(folder);
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
  kvtest::WriteFile(folder + "KVClient.ini",
                    "[Alerts]\nhighT1=5000\nAlertPasses=1\nAlertMail=1\nAlertNotify=0\n"
                    "[Misc]\nReadTemp=1000\nCheckForUpdate=0\nAutoConnect=0\n");
  kvtest::WriteFile(folder + "KVServer.ini",
                    "[SMTP]\nSMTPHost=127.0.0.1\nSMTPPort=" + std::to_string(server.Port()) +
                        "\nSMTPTLS=0\nSMTPAuth=0\nMailFrom=kelvara@localhost\nMailTo=admin@localhost\n");
  ::chmod((folder + "KVServer.ini").c_str(), 0600);

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_DATA_HOME", QString::fromStdString(dir.Path() + "data"));
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.Path()));
  env.insert("LANG", "C");
  env.insert("LC_ALL", "C");
  QProcess kelvara;
  kelvara.setProcessEnvironment(env);
  kelvara.start(QString(KV_BIN_DIR "/kelvara"), {"-headless", "-debug"});
  ASSERT_TRUE(kelvara.waitForStarted(10000));

  std::string area;
  const auto start = std::chrono::steady_clock::now();
  // Written again and again: another program of the same user may reset the slots meanwhile.
  while (server.Mails(1, 200ms).empty() && std::chrono::steady_clock::now() - start < 30s) {
    if (area.empty()) area = ExternalAreaOf(kelvara.processId());
    if (!area.empty()) WriteT1(area, 90.0);
  }
  const std::vector<kvtest::ReceivedMail>& mails = server.Mails(2, 2s);  // and no second one
  kelvara.terminate();
  EXPECT_TRUE(kelvara.waitForFinished(20000));
  ASSERT_FALSE(area.empty()) << "no external area mapped";
  ASSERT_EQ(mails.size(), 1u) << kvtest::ReadFile(folder + "KVEvents.txt");
  EXPECT_EQ(mails[0].to, std::vector<std::string>{"admin@localhost"});
  EXPECT_EQ(mails[0].subject, "Kelvara alert: T1 90 °C above 50 °C");
  EXPECT_NE(mails[0].text.find("T1: 90 °C (alert above 50 °C) - ALERT"), std::string::npos) << mails[0].text;
  ASSERT_EQ(mails[0].attachments.size(), 1u);
  EXPECT_EQ(mails[0].attachments[0].name, "kvlight.png");
}

}  // namespace
