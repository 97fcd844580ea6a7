#include "tools/SysInfo.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "alerts/AlertActions.h"
#include "alerts/Alerts.h"
#include "platform/SharedMemory.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Everest.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "support/MonitorState.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

TEST(SysInfoArguments, SwitchesAndBadInput) {
  EXPECT_FALSE(ParseSysInfoArguments({}).json);
  EXPECT_EQ(ParseSysInfoArguments({}).passes, 1);
  const tSysInfoOptions o = ParseSysInfoArguments({"-JSON", "/passes", "7"});
  EXPECT_TRUE(o.ok);
  EXPECT_TRUE(o.json);
  EXPECT_EQ(o.passes, 7);
  EXPECT_TRUE(ParseSysInfoArguments({"1"}).ok);  // as the monitor starts it
  EXPECT_EQ(ParseSysInfoArguments({"-Light", "out.gif"}).lightFile, "out.gif");
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"-passes"}, {"-passes", "0"}, {"-passes", "x"}, {"-passes", "-3"}, {"--json"}, {"-light"}}) {
    EXPECT_FALSE(ParseSysInfoArguments(bad).ok) << bad[0];
  }
}

// A monitor of the test's own, its readings as kvsysinfo -json prints them.
class SysInfoJson : public testing::Test, public kvtest::MonitorState {
 protected:
  void SetUp() override { ResetReadings(Current); }
  std::string Json(const std::vector<tJsonMember>& extra = {}) {
    return ReadingsJson(Current, Settings, M.Pass.StepHealth(), extra);
  }
};

TEST_F(SysInfoJson, RawFiguresNamesAndEscaping) {
  SetDefaultChannelNames(Settings);
  Readings.T[0] = 4550;
  Readings.F[2] = -150;
  Readings.NetIn[3] = 123456789;
  Readings.BatOnline = 1;
  Settings.TCfg[0].Name = "CPU \"die\"\\1";
  Current.NetMons = {{"eth0", "192.168.1.2", "00-11-22-33-44-55", 7}};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(Json()));
  ASSERT_TRUE(doc.isObject());
  const QJsonObject o = doc.object();
  EXPECT_EQ(o["T"].toArray().size(), 10);
  EXPECT_EQ(o["T"].toArray()[0].toInt(), 4550);
  EXPECT_EQ(o["T"].toArray()[1].toInt(), 32767);
  EXPECT_EQ(o["F"].toArray()[2].toInt(), -150);
  EXPECT_EQ(o["CPU"].toArray().size(), 4);
  EXPECT_EQ(o["NetIn"].toArray()[3].toInteger(), 123456789);
  EXPECT_EQ(o["MemUsed"].toInteger(), 2147483647);
  EXPECT_EQ(o["BatOnline"].toInt(), 1);
  for (const char* key : {"Time", "Time2", "UserSecs", "FreqMax", "MemTotal", "PageTotal", "BatDesign",
                          "BatRelative", "UpSecs", "UpDays", "CPUCount", "PassCount", "CPUPower", "DiskMons"})
    EXPECT_TRUE(o.contains(key)) << key;
  EXPECT_EQ(o["Names"].toObject()["T"].toArray()[0].toString(), "CPU \"die\"\\1");
  EXPECT_EQ(o["Names"].toObject()["Net"].toArray().size(), 4);
  EXPECT_EQ(o["NetMons"].toArray()[0].toObject()["Mac"].toString(), "00-11-22-33-44-55");
}

// Parses JSON the way scripts that read kvsysinfo do; false when python3 rejects it.
bool PythonAccepts(const std::string& json) {
  QProcess python;
  python.start(QStringLiteral("python3"), {"-c", "import json,sys; json.load(sys.stdin)"});
  if (!python.waitForStarted(5000)) return false;
  python.write(QByteArray::fromStdString(json));
  python.closeWriteChannel();
  return python.waitForFinished(10000) && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
}

TEST_F(SysInfoJson, LabelsFromASensorBlockGiveValidJson) {
  kvtest::TempDir dir;
  SetSharedMemoryPrefix("kvsysinfo-" + std::to_string(::getpid()) + "-");
  SetDefaultChannelNames(Settings);
  for (int i = 1; i <= TempChannels; ++i) Settings.AIDAOrderT[static_cast<size_t>(ChannelIndex(i))] = std::to_string(i);
  {
    const std::string text = "<temp><label>Geh\xe4use\x01\x1f\\\"</label><value>40</value></temp>";
    SharedMemoryBlock block;
    ASSERT_TRUE(block.Create("AIDA64_SensorValues", text.size() + 1)) << block.LastError();
    ASSERT_TRUE(block.Map());
    std::memcpy(block.Bytes().data(), text.c_str(), text.size() + 1);
    tPassContext ctx = M.Pass.Context();
    ReadEverest(ctx, true);
  }
  SetSharedMemoryPrefix("");
  // A name read from an old settings file may still hold bytes that are not UTF-8.
  Settings.VCfg[0].Name = "Volt\xff\x02";
  const std::string json = Json();
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
  ASSERT_TRUE(doc.isObject()) << error.errorString().toStdString() << "\n" << json;
  EXPECT_EQ(doc.object()["T"].toArray()[0].toInt(), 4000);
  EXPECT_EQ(doc.object()["Names"].toObject()["T"].toArray()[0].toString(), QString::fromUtf8("Geh\u00e4use\\\""));
  EXPECT_EQ(doc.object()["Names"].toObject()["V"].toArray()[0].toString(), QString::fromUtf8("Volt\ufffd\x02"));
  EXPECT_TRUE(PythonAccepts(json));
}

// The health of the pass steps comes after every other key, one entry per step in pass order,
// and a failing step's text survives quotes, backslashes, control characters and stray bytes.
TEST_F(SysInfoJson, StepsComeLastAndShowAFailingSource) {
  SetDefaultChannelNames(Settings);
  SilenceSources();
  M.Pass.Sources.Rows[static_cast<size_t>(tPassStep::Battery)].read = [](tPassContext&) {
    throw std::runtime_error("BAT0 \"gone\"\\\n\x01 \xff!");
  };
  M.Pass.ReadAllValues(false);
  const std::string text = Json();

  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text));
  ASSERT_TRUE(doc.isObject()) << text;
  EXPECT_LT(text.find("\"Names\""), text.find("\"Steps\""));
  EXPECT_EQ(text.find("\"Steps\"", text.find("\"Steps\"") + 1), std::string::npos);
  const QJsonArray steps = doc.object()["Steps"].toArray();
  ASSERT_EQ(steps.size(), static_cast<qsizetype>(PassStepCount));
  for (size_t i = 0; i < PassStepCount; ++i) {
    const QJsonObject step = steps[static_cast<qsizetype>(i)].toObject();
    EXPECT_EQ(step["name"].toString().toStdString(), PassStepName(static_cast<tPassStep>(i)));
    EXPECT_TRUE(step["us"].isDouble());
    if (static_cast<tPassStep>(i) == tPassStep::Battery) {
      EXPECT_FALSE(step["ok"].toBool());
      EXPECT_EQ(step["error"].toString(), QString::fromUtf8("BAT0 \"gone\"\\\n\x01 \xEF\xBF\xBD!"));
    } else {
      EXPECT_TRUE(step["ok"].toBool()) << step["name"].toString().toStdString();
      EXPECT_EQ(step["error"].toString(), "");
    }
  }
}

TEST(SysInfoProgram, RunsPassesAndNeverWritesSettings) {
  kvtest::TempDir data;
  const std::string settings = data.Path() + "kelvara/";
  ASSERT_EQ(::mkdir(settings.c_str(), 0700), 0);
  // A plain password would be converted and written back by the monitor.
  kvtest::WriteFile(settings + "KVServer.ini", "[FTP]\nPass=secret\n");
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_DATA_HOME", QString::fromStdString(data.Path()));
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {"-json", "-passes", "3"});
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput());
  ASSERT_TRUE(doc.isObject());
  EXPECT_EQ(doc.object()["PassCount"].toInt(), 3);
  EXPECT_EQ(doc.object()["Steps"].toArray().size(), static_cast<qsizetype>(PassStepCount));
  EXPECT_EQ(kvtest::ReadFile(settings + "KVServer.ini"), "[FTP]\nPass=secret\n");
  EXPECT_FALSE(kvtest::ReadFile(settings + "KVClient.ini").size());
  EXPECT_FALSE(kvtest::ReadFile(settings + "KVEvents.txt").size());

  p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {"-passes"});
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitCode(), 2);
}

TEST(SysInfoProgram, DrawsTheLightIntoAFileByTheExtensionRule) {
  kvtest::TempDir data;
  ASSERT_EQ(::mkdir((data.Path() + "kelvara/").c_str(), 0700), 0);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_DATA_HOME", QString::fromStdString(data.Path()));
  QProcess p;
  p.setProcessEnvironment(env);
  for (const auto& [given, written] : {std::pair{"light.GIF", "light.GIF"}, std::pair{"light.jpg", "light.jpg.png"}}) {
    p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {"-light", QString::fromStdString(data.File(given))});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QImage light(QString::fromStdString(data.File(written)));
    EXPECT_EQ(light.width(), 110) << written;
    EXPECT_GE(light.height(), 26) << written;
  }
  EXPECT_EQ(kvtest::ReadFile(data.File("light.GIF")).substr(0, 4), "GIF8");

  p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {"-light", QString::fromStdString(data.File("none/x.png"))});
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitCode(), 1);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// The active alerts follow the step health, channel names escaped like every other text.
TEST_F(SysInfoJson, ActiveAlertsAreListedAfterTheSteps) {
  SetDefaultChannelSettings(Settings);
  Settings.AlertPasses = 1;
  Settings.TCfg[0].Name = "CPU \"die\"";
  Settings.TCfg[0].AlertHigh = 8000;
  Readings.T[0] = 8500;
  M.Alerts.Evaluate();
  const std::string text = Json({{"Alerts", AlertsJson(M.Alerts.Active())}});

  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text));
  ASSERT_TRUE(doc.isObject()) << text;
  EXPECT_LT(text.find("\"Steps\""), text.find("\"Alerts\""));
  const QJsonArray alerts = doc.object()["Alerts"].toArray();
  ASSERT_EQ(alerts.size(), 1) << text;
  EXPECT_EQ(alerts[0].toObject()["rule"].toString(), "highT1");
  EXPECT_EQ(alerts[0].toObject()["channel"].toString(), "CPU \"die\"");
  EXPECT_EQ(alerts[0].toObject()["value"].toInt(), 8500);
  EXPECT_EQ(alerts[0].toObject()["limit"].toInt(), 8000);
}

}  // namespace
}  // namespace kv
