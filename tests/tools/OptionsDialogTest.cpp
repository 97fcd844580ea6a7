#include "tools/options/OptionsDialog.h"

#include <gtest/gtest.h>

#include <QListWidget>

#include <QDialogButtonBox>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTreeWidget>
#include <set>

#include "core/Process.h"
#include "core/Text.h"
#include "platform/Instance.h"
#include "settings/Channels.h"
#include "settings/IniFile.h"
#include "settings/Scramble.h"
#include "settings/Settings.h"
#include "support/MailPeer.h"
#include "support/MonitorState.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

class OptionsDialogTest : public testing::Test, public kvtest::MonitorState {
 protected:
  void SetUp() override {
    Process.AppDir = std::string(KV_BIN_DIR) + "/";
    Process.SettingsDir = dir_.Path();
    // The monitor's socket lives here, so no real instance is ever told.
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir_.Path()));
  }
  std::string File(const char* name) const { return dir_.File(name); }
  template <class W>
  static W* Field(OptionsDialog& d, const std::string& id) {
    W* w = d.findChild<W*>(QString::fromStdString(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
  }
  static void Type(OptionsDialog& d, const std::string& id, const std::string& text) {
    QLineEdit* line = Field<QLineEdit>(d, id);
    line->setText(QString::fromStdString(text));
    emit line->editingFinished();
  }
  std::string Text(const char* key) const {
    OptionTexts t;
    t.Load(Process.AppDir, EnglishLanguageFile);
    return t.Get(key);
  }

  kvtest::TempDir dir_;
};

TEST_F(OptionsDialogTest, PagesOpenFromTheirNumberAndTheFlagsShowDebugAndExpert) {
  OptionsDialog plain(M, false, false);
  for (int page = 1; page <= 14; ++page) {
    const bool hidden = page == 12 || page == 13;
    EXPECT_EQ(plain.HasPage(page), !hidden) << page;
    if (!hidden) {
      EXPECT_TRUE(plain.ShowPage(page));
      EXPECT_EQ(plain.CurrentPage(), page);
    }
  }
  EXPECT_FALSE(plain.ShowPage(12));
  EXPECT_EQ(plain.findChild<QLineEdit*>("KVClient.ini/Misc/ReadTemp"), nullptr);  // an expert key
  OptionsDialog debug(M, true, false);
  EXPECT_TRUE(debug.HasPage(12));
  EXPECT_FALSE(debug.HasPage(13));
  OptionsDialog both(M, true, true);
  EXPECT_TRUE(both.ShowPage(13));
  EXPECT_EQ(both.CurrentPage(), 13);
  EXPECT_FALSE(both.ShowPage(15));
}

// On an 800 x 600 screen the dialog fits with its buttons, and every field of the tallest page
// (the alerts) can be scrolled into sight.
TEST_F(OptionsDialogTest, FitsASmallScreenAndEveryAlertFieldCanBeReached) {
  OptionsDialog d(M, false, false);
  d.FitInto(QRect(0, 0, 800, 600));
  EXPECT_LE(d.width(), 800 - OptionsDialog::FrameAllowance.width());
  EXPECT_LE(d.height(), 600 - OptionsDialog::FrameAllowance.height());
  ASSERT_TRUE(d.ShowPage(11));
  d.show();
  QCoreApplication::processEvents();
  const auto* buttons = d.findChild<QDialogButtonBox*>("buttons");
  EXPECT_TRUE(d.rect().contains(QRect(buttons->mapTo(&d, QPoint()), buttons->size())));
  auto* page = d.findChild<QScrollArea*>("page11");
  ASSERT_NE(page, nullptr);
  int fields = 0;
  for (QWidget* field : page->widget()->findChildren<QWidget*>()) {
    if (!qobject_cast<QLineEdit*>(field) && !qobject_cast<QCheckBox*>(field) && !qobject_cast<QPushButton*>(field)) continue;
    page->ensureWidgetVisible(field, 0, 0);
    ++fields;
    // A line edit is scrolled to its text cursor, at its left, half-way down.
    const QPoint textStart = field->mapTo(page->viewport(), QPoint(4, field->height() / 2));
    EXPECT_TRUE(page->viewport()->rect().contains(textStart)) << field->objectName().toStdString();
  }
  EXPECT_GT(fields, 80);
}

// Keys the monitor keeps for itself: window places, the uptime record, the update stamp and
// the fixed save intervals.
TEST(OptionRowsTest, EveryKeyAUserMaySetHasOneRow) {
  const std::set<std::string> own = {"upRecTime", "UpdateCheck", "ShowLight", "ShowBanner", "Left", "Top",
                                     "LightX", "LightY", "BannerX", "BannerY", "LightTime", "BannerTime"};
  std::map<std::string, int> rows;
  for (const tOptionRow& r : OptionRows()) {
    ++rows[std::string(r.file) + "/" + LowerCase(r.section) + "/" + r.key];
    EXPECT_NE(FindOptionPage(r.page), nullptr) << r.key;
  }
  for (const tSettingsKeyInfo& k : SettingsKeyList()) {
    if (own.count(k.key)) continue;
    EXPECT_EQ(rows[std::string(k.file) + "/" + LowerCase(k.section) + "/" + k.key], 1)
        << k.file << " [" << k.section << "] " << k.key;
  }
}

TEST_F(OptionsDialogTest, EachKindIsWrittenWithItsTypeAndTheMonitorIsToldOncePerSave) {
  int messages = 0;
  InstanceServer server([&](int m) { messages += m == WM_OPTIONS_CHANGED; });
  ASSERT_TRUE(server.Listen(InstanceSocketPath()));
  const auto waitFor = [&](int count) {
    QElapsedTimer t;
    t.start();
    while (messages < count && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  };

  kvtest::WriteFile(File(ClientIniName), "[Misc]\nBOINCPath=" + dir_.Path() + "\n");
  OptionsDialog d(M, true, true, [](const std::string&, const std::string&) { return false; });
  Type(d, "KVClient.ini/Misc/BOINCPath", "");  // emptied: the monitor looks for the folder itself
  Type(d, "KVServer.ini/FTP/Host", "ftp.example.org");
  Type(d, "KVServer.ini/FTP/FTPPassCrypt", "s3cret pass");
  Type(d, "KVServer.ini/FTP/Port", "2121");
  Field<QCheckBox>(d, "KVClient.ini/Banner/SaveBanner")->setChecked(true);
  Type(d, "KVDisplay.ini/Misc/StatsWidth", "800");
  Type(d, "KVClient.ini/Stats/SpanStats", "3.5");
  Type(d, "KVDisplay.ini/Misc/cBack", "#102030");
  Type(d, "KVDisplay.ini/Temperatures/colT3", "#0000ff");
  Type(d, "KVClient.ini/Temperatures/nameT2", "GPU");
  Type(d, "KVDisplay.ini/Temperatures/TMaxStats", "80");
  Type(d, "KVDisplay.ini/Memory/MemMax", "2048");
  Type(d, "KVClient.ini/Misc/LocalPath", dir_.Path());
  QComboBox* tls = Field<QComboBox>(d, "KVServer.ini/FTP/UseTLS");
  tls->setCurrentIndex(tls->findData("3"));
  emit tls->activated(tls->currentIndex());
  ASSERT_TRUE(d.Apply()) << d.Message().toStdString();
  waitFor(1);
  EXPECT_EQ(messages, 1);

  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.Host, "ftp.example.org");
  EXPECT_EQ(Settings.FTPPass, "s3cret pass");
  EXPECT_EQ(Settings.Port, 2121);
  EXPECT_EQ(Settings.UseTLS, 3);
  EXPECT_TRUE(Settings.SaveBanner);
  EXPECT_EQ(Settings.StatsWidth, 800);
  EXPECT_DOUBLE_EQ(Settings.SpanStats, 3.5);
  EXPECT_EQ(Settings.cBack, 0x302010u);
  EXPECT_EQ(Settings.TMaxStats, 8000);
  EXPECT_EQ(Settings.MemMax, 2048 * 1024);
  EXPECT_EQ(Settings.LocalPath, dir_.Path());
  EXPECT_EQ(Settings.BOINCPath, "");
  const IniFile client(File(ClientIniName)), display(File(DisplayIniName)), server2(File(ServerIniName));
  EXPECT_EQ(client.ReadString("Stats", "SpanStats", ""), "3,5");
  EXPECT_EQ(client.ReadString("Temperatures", "nameT2", ""), "GPU");
  EXPECT_EQ(display.ReadString("Temperatures", "colT3", ""), std::to_string(0xFF0000));
  EXPECT_EQ(client.ReadString("Banner", "SaveBanner", ""), "1");
  EXPECT_EQ(server2.ReadString("FTP", "FTPPassCrypt", ""), ScramblePassword("s3cret pass"));
  EXPECT_EQ(kvtest::ReadFile(File(ServerIniName)).find("s3cret"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(File(ServerIniName).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Only what was edited is written: the files hold no defaults the user never touched.
  EXPECT_FALSE(client.ValueExists("Misc", "ReadTemp"));

  EXPECT_TRUE(d.Apply());  // nothing changed: nothing written, nobody told
  Type(d, "KVClient.ini/Temperatures/nameT2", "GPU 2");
  EXPECT_TRUE(d.Apply());
  waitFor(2);
  EXPECT_EQ(messages, 2);
}

TEST_F(OptionsDialogTest, CancelWritesNothing) {
  {
    OptionsDialog d(M, false, false);
    Type(d, "KVServer.ini/FTP/Host", "ftp.example.org");
    Field<QCheckBox>(d, "KVDisplay.ini/Misc/OnTop")->setChecked(true);
    d.reject();
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(File(ClientIniName))));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(File(DisplayIniName))));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(File(ServerIniName))));
}

// A settings file the user made private stays private; buttons and page names are the language's.
TEST_F(OptionsDialogTest, SavingKeepsTheFilesModeAndTheTextsAreTheLanguages) {
  kvtest::WriteFile(File(ClientIniName), "[Misc]\r\nLangFile=Deutsch.lng\r\n[Temperatures]\r\nnameT1=CPU die\r\n");
  ASSERT_EQ(::chmod(File(ClientIniName).c_str(), 0600), 0);
  OptionsDialog d(M, false, false);
  Type(d, "KVClient.ini/Temperatures/nameT2", "GPU");
  ASSERT_TRUE(d.Apply()) << d.Message().toStdString();
  struct stat st {};
  ASSERT_EQ(::stat(File(ClientIniName).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const auto* buttons = d.findChild<QDialogButtonBox*>("buttons");
  ASSERT_NE(buttons, nullptr);
  EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
  EXPECT_EQ(buttons->button(QDialogButtonBox::Apply)->text(), QString::fromUtf8("Übernehmen"));
  const auto* pages = d.findChild<QListWidget*>("pages");
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(pages->findItems("Warnungen", Qt::MatchExactly).size(), 1);
  // The alert limits name their channel: a line per temperature, not a number shared with fans.
  int named = 0;
  for (const QLabel* label : d.findChildren<QLabel*>()) named += label->text() == "CPU die";
  EXPECT_EQ(named, 1);
}

TEST_F(OptionsDialogTest, BadInputIsRefusedWithItsMessageAndTheFieldKeepsItsValue) {
  kvtest::WriteFile(File(DisplayIniName), "[Misc]\nStatsWidth=640\n");
  OptionsDialog d(M, true, true);
  struct tCase {
    const char* id;
    const char* bad;
    const char* message;
  };
  const tCase cases[] = {
      {"KVServer.ini/FTP/Port", "0", "ValidPortsFTP"},
      {"KVServer.ini/FTP/Port", "70000", "ValidPortsFTP"},
      {"KVServer.ini/Proxy/ProxyPort", "-1", "ValidPortsFTPProxy"},
      {"KVServer.ini/SMTP/SMTPPort", "abc", "ValidPortsSMTP"},
      {"KVDisplay.ini/Misc/HTTPServerPort", "65536", "ValidPortsHTTPServer"},
      {"KVClient.ini/Misc/ReadTemp", "5", "ValidTime"},
      {"KVDisplay.ini/Misc/StatsWidth", "100", "ValidNumber"},
      {"KVDisplay.ini/Misc/StatsWidth", "7e2", "ValidNumber"},
      {"KVClient.ini/Stats/SpanStats", "0", "ValidNumber"},
      {"KVDisplay.ini/Misc/LightAlpha", "256", "ValidNumber"},
      {"KVClient.ini/Misc/LocalPath", "/no/such/folder/here", "LocalPathNotFound"},
      {"KVDisplay.ini/Misc/cBack", "blue", "InvalidColour"},
      {"KVDisplay.ini/Misc/cBack", "#12345", "InvalidColour"},
      {"KVDisplay.ini/Misc/cBack", "16777216", "InvalidColour"},
      {"KVClient.ini/Light/Light", "../kvlight.png", "InvalidFileName"},
      {"KVClient.ini/Banner/Banner", "pics/banner.png", "InvalidFileName"},
  };
  for (const tCase& c : cases) {
    QLineEdit* line = Field<QLineEdit>(d, c.id);
    const QString before = line->text();
    Type(d, c.id, c.bad);
    EXPECT_EQ(d.Message().toStdString(), Text(c.message)) << c.id << " " << c.bad;
    EXPECT_NE(Text(c.message), c.message);  // a real text from the language file
    EXPECT_EQ(line->text(), before) << c.id << " " << c.bad;
  }
  EXPECT_EQ(Field<QLineEdit>(d, "KVDisplay.ini/Misc/StatsWidth")->text(), "640");
  EXPECT_TRUE(d.Apply());  // nothing good was changed
  EXPECT_EQ(kvtest::ReadFile(File(DisplayIniName)), "[Misc]\nStatsWidth=640\n");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(File(ServerIniName))));
}

TEST_F(OptionsDialogTest, AFileChangedOnDiskIsNotSilentlyOverwritten) {
  kvtest::WriteFile(File(ClientIniName), "[Misc]\nReadTemp=30000\n");
  std::vector<std::string> asked;
  bool answer = false;
  OptionsDialog d(M, false, false, [&](const std::string&, const std::string& files) {
    asked.push_back(files);
    return answer;
  });
  Type(d, "KVClient.ini/Temperatures/nameT1", "CPU");
  const std::string theirs = "[Misc]\nReadTemp=30000\nForeign=kept\n";
  kvtest::WriteFile(File(ClientIniName), theirs);
  EXPECT_FALSE(d.Apply());
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], ClientIniName);
  EXPECT_EQ(kvtest::ReadFile(File(ClientIniName)), theirs);
  answer = true;
  EXPECT_TRUE(d.Apply());
  const IniFile client(File(ClientIniName));
  EXPECT_EQ(client.ReadString("Misc", "Foreign", ""), "kept");  // their change stays
  EXPECT_EQ(client.ReadString("Temperatures", "nameT1", ""), "CPU");
  EXPECT_EQ(asked.size(), 2u);
  // Once saved, the dialog's own write is no conflict.
  Type(d, "KVClient.ini/Temperatures/nameT1", "CPU die");
  EXPECT_TRUE(d.Apply());
  EXPECT_EQ(asked.size(), 2u);
}

// Limits are typed in the units the user sees and stored in the readings' units; an empty field
// is off, and a limit shown rounded is not rewritten by a save that did not touch it.
TEST_F(OptionsDialogTest, AlertLimitsAreEditedInTheUsersUnits) {
  kvtest::WriteFile(File(DisplayIniName), "[Temperatures]\nCelsius=0\n");
  kvtest::WriteFile(File(ClientIniName),
                    "[Alerts]\nhighT2=8000\n[Disk]\ndriveDisk1=/tmp\nenalDisk1=1\nalertDisk1=1000000\n");
  OptionsDialog d(M, false, false);
  EXPECT_EQ(Field<QLineEdit>(d, "KVClient.ini/Alerts/highT2")->text(), "176");  // 80 °C
  EXPECT_EQ(Field<QLineEdit>(d, "KVClient.ini/Alerts/lowT1")->text(), "");
  EXPECT_EQ(Field<QLineEdit>(d, "KVClient.ini/Disk/alertDisk1")->text(), "0,95");
  Type(d, "KVClient.ini/Alerts/highT1", "180.5");  // °F
  EXPECT_EQ(Field<QLineEdit>(d, "KVClient.ini/Alerts/highT1")->text(), "180,5");
  Type(d, "KVClient.ini/Alerts/highT2", "");
  Type(d, "KVClient.ini/Alerts/lowV3", "11,4");
  Type(d, "KVClient.ini/Alerts/highV4", "-11.4");  // a negative rail
  Type(d, "KVClient.ini/Alerts/lowF1", "600");
  Type(d, "KVClient.ini/Alerts/marginT", "9");     // a difference: no offset
  Type(d, "KVClient.ini/Alerts/alertBat", "15");
  for (const char* bad : {"hot", "1000", "1e400"}) {  // 1000 °F is past the 16-bit readings
    Type(d, "KVClient.ini/Alerts/highT1", bad);
    EXPECT_EQ(d.Message().toStdString(), Text("ValidNumber")) << bad;
    EXPECT_EQ(Field<QLineEdit>(d, "KVClient.ini/Alerts/highT1")->text(), "180,5") << bad;
  }
  Type(d, "KVClient.ini/Disk/alertDisk2", "");  // a disk limit has no off of its own
  EXPECT_EQ(d.Message().toStdString(), Text("ValidNumber"));
  ASSERT_TRUE(d.Apply()) << d.Message().toStdString();

  const IniFile client(File(ClientIniName));
  EXPECT_EQ(client.ReadString("Alerts", "highT1", ""), "8250");
  EXPECT_EQ(client.ReadString("Alerts", "highT2", ""), "32767");
  EXPECT_EQ(client.ReadString("Alerts", "marginT", ""), "500");
  EXPECT_EQ(client.ReadString("Disk", "alertDisk1", ""), "1000000");
  EXPECT_FALSE(client.ValueExists("Alerts", "lowT1"));
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.TCfg[0].AlertHigh, 8250);
  EXPECT_EQ(Settings.TCfg[1].AlertHigh, AlertOff);
  EXPECT_EQ(Settings.VCfg[2].AlertLow, 1140);
  EXPECT_EQ(Settings.VCfg[3].AlertHigh, -1140);
  EXPECT_EQ(Settings.FCfg[0].AlertLow, 600);
  EXPECT_EQ(Settings.alertBat, 15);
  EXPECT_EQ(Settings.DiskSlots[0].AlertKB, 1000000);

  // Switching to Celsius shows the same limits in °C.
  QCheckBox* celsius = Field<QCheckBox>(d, "KVDisplay.ini/Temperatures/Celsius");
  celsius->setChecked(true);
  EXPECT_EQ(Field<QLineEdit>(d, "KVClient.ini/Alerts/highT1")->text(), "82,5");
  EXPECT_EQ(Field<QLineEdit>(d, "KVClient.ini/Alerts/marginT")->text(), "5");
  Type(d, "KVClient.ini/Alerts/highT1", "90");
  ASSERT_TRUE(d.Apply());
  EXPECT_EQ(IniFile(File(ClientIniName)).ReadString("Alerts", "highT1", ""), "9000");
}

// The monitor's reader prefers an older plain password key; a saved password must replace it.
TEST_F(OptionsDialogTest, ASavedPasswordReplacesAnOlderPlainKey) {
  kvtest::WriteFile(File(ServerIniName), "[FTP]\nPass=old\n[Memory]\n");
  kvtest::WriteFile(File(DisplayIniName), "[Memory]\nNetHeight=90\n[Net]\nNetHeight=80\n");
  OptionsDialog d(M, false, false);
  EXPECT_EQ(Field<QLineEdit>(d, "KVServer.ini/FTP/FTPPassCrypt")->text(), "old");
  EXPECT_EQ(Field<QLineEdit>(d, "KVDisplay.ini/Net/NetHeight")->text(), "90");
  Type(d, "KVServer.ini/FTP/FTPPassCrypt", "new");
  Type(d, "KVDisplay.ini/Net/NetHeight", "120");
  ASSERT_TRUE(d.Apply());
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.FTPPass, "new");
  EXPECT_EQ(Settings.NetHeight, 120);
}

// The Test button mails with the account as typed, saves nothing, and shows how it went.
TEST_F(OptionsDialogTest, TestButtonMailsWithTheFieldsAsTypedAndShowsTheOutcome) {
  kvtest::MailPeer server("plain");
  OptionsDialog d(M, false, false);
  auto* test = d.findChild<QPushButton*>("mailTest");
  auto* result = d.findChild<QLabel*>("mailTestResult");
  ASSERT_TRUE(test && result);
  const auto clickAndWait = [&](const std::string& shown) {
    test->click();
    QElapsedTimer t;
    t.start();
    while (!result->text().startsWith(QString::fromStdString(shown)) && t.elapsed() < 10000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(result->text().startsWith(QString::fromStdString(shown))) << result->text().toStdString();
    EXPECT_TRUE(test->isEnabled());
  };
  Type(d, "KVServer.ini/SMTP/SMTPHost", "127.0.0.1");
  Type(d, "KVServer.ini/SMTP/SMTPPort", std::to_string(server.Port()));
  QComboBox* tls = Field<QComboBox>(d, "KVServer.ini/SMTP/SMTPTLS");
  tls->setCurrentIndex(tls->findData("0"));
  emit tls->activated(tls->currentIndex());
  clickAndWait(Text("NoMailTo"));
  Field<QLineEdit>(d, "KVServer.ini/SMTP/MailTo")->setText("admin@localhost");  // still in the field
  clickAndWait(Text("SentMailSuccessfully"));
  const std::vector<kvtest::ReceivedMail>& mails = server.Mails(1);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].to, std::vector<std::string>{"admin@localhost"});
  EXPECT_EQ(mails[0].subject, "Kelvara test mail");

  Type(d, "KVServer.ini/SMTP/SMTPPort", std::to_string(kvtest::FreePort()));
  clickAndWait(Text("MailFailed") + " (\"Failed to connect to 127.0.0.1 port");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(File(ServerIniName))));
}

}  // namespace
}  // namespace kv
