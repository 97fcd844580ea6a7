#include "readvalue/Aquaero.h"

#include <sys/stat.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "SystemTree.h"

namespace kv {
namespace {

class AquaeroTest : public kvtest::SystemTreeTest {
 protected:
  void SetUp() override {
    SystemTreeTest::SetUp();
    Process.AppDir = Root() + "app/";
    Process.SettingsDir = Root() + "settings/";
    kvtest::MakeFolder(Root(), "app");
    kvtest::MakeFolder(Root(), "settings");
    Settings.AquaeroPath = Root() + "aquasuite/";
    kvtest::MakeFolder(Root(), "aquasuite");
  }
};

TEST_F(AquaeroTest, ElementsFillChannelsByTheOrderMaps) {
  ReadAquaeroText(Ctx, "<aquaero>\r\n"
                  "  <Sensor1>31,5</Sensor1>\r\n"
                  "  <Sensor10>99</Sensor10>\r\n"  // not Sensor1
                  "  <Flow1Hour>84.2</Flow1Hour>\r\n"
                  "  <Fan1Rpm>1200</Fan1Rpm><Fan2Rpm>255</Fan2Rpm><Fan3Rpm>254.5</Fan3Rpm>\r\n"
                  "  <Fan4Rpm>0</Fan4Rpm>\r\n"
                  "  <Aquastream1Voltage>12,04</Aquastream1Voltage>\r\n"
                  "</aquaero>");
  EXPECT_EQ(Readings.T[0], 3150);
  EXPECT_EQ(Readings.F[4], -8420);
  EXPECT_EQ(Readings.F[0], 1200);
  EXPECT_EQ(Readings.F[1], 255);
  EXPECT_EQ(Readings.F[2], -25450);
  EXPECT_EQ(Readings.F[3], NoValue16) << "a stopped fan leaves its channel";
  EXPECT_EQ(Readings.V[0], 1204);
  for (int k = 1; k < TempChannels; ++k) EXPECT_EQ(Readings.T[k], NoValue16) << k;

  // Per channel the temperature element wins; a bad number lets the voltage element through.
  Settings.AquaeroOrderV[0] = "Pump";
  ReadAquaeroText(Ctx, "<Sensor1>45</Sensor1><Pump>11.5</Pump>\n");
  EXPECT_EQ(Readings.T[0], 4500);
  EXPECT_EQ(Readings.V[0], 1204);
  ReadAquaeroText(Ctx, "<Sensor1>n/a</Sensor1><Pump>11.5</Pump>\n");
  EXPECT_EQ(Readings.T[0], 4500);
  EXPECT_EQ(Readings.V[0], 1150);
}

TEST_F(AquaeroTest, BadNumbersLeaveTheChannels) {
  Readings.T[0] = 1234;
  Readings.F[0] = 900;
  ReadAquaeroText(Ctx, "<Sensor1>nan</Sensor1>\n<Sensor1>1e400</Sensor1>\n<Sensor1>inf</Sensor1>\n"
                  "<Sensor1>12,5,5</Sensor1>\n<Sensor1></Sensor1>\n<Sensor1>40\n"
                  "<Fan1Rpm>-300</Fan1Rpm>\n<Fan1Rpm>nan</Fan1Rpm>\n");
  EXPECT_EQ(Readings.T[0], 1234);
  EXPECT_EQ(Readings.F[0], 900);
  // A number no channel can hold is shown as none rather than as a wrong figure.
  ReadAquaeroText(Ctx, "<Sensor2>1e30</Sensor2>\n<Fan2Rpm>1e9</Fan2Rpm>\n");
  EXPECT_EQ(Readings.T[1], NoValue16);
  EXPECT_EQ(Readings.F[1], NoValue16);
}

TEST_F(AquaeroTest, FileLookupOrder) {
  // In AquaeroPath: read from there.
  kvtest::Put(Root(), "aquasuite/aquaero.xml", "<Sensor1>20</Sensor1>\n");
  kvtest::Put(Root(), "app/aquaero.xml", "<Sensor1>40</Sensor1>\n");
  ReadAquaeroFile(Ctx);
  EXPECT_EQ(Readings.T[0], 2000);
  EXPECT_EQ(Settings.AquaeroPath, Root() + "aquasuite/");

  // Not there: the program folder, which becomes AquaeroPath.
  kvtest::Remove(Root(), "aquasuite/aquaero.xml");
  ReadAquaeroFile(Ctx);
  EXPECT_EQ(Readings.T[0], 4000);
  EXPECT_EQ(Settings.AquaeroPath, Process.AppDir);

  // Settings and program folder both: the user's own copy in the settings folder wins, so an
  // installed, read-only program folder never has to be edited.
  Settings.AquaeroPath.clear();
  kvtest::Put(Root(), "settings/aquaero.xml", "<Sensor1>30</Sensor1>\n");
  ReadAquaeroFile(Ctx);
  EXPECT_EQ(Readings.T[0], 3000);
  EXPECT_EQ(Settings.AquaeroPath, Process.SettingsDir);

  kvtest::Remove(Root(), "app/aquaero.xml");
  Settings.AquaeroPath.clear();
  ReadAquaeroFile(Ctx);
  EXPECT_EQ(Readings.T[0], 3000);
  EXPECT_EQ(Settings.AquaeroPath, Process.SettingsDir);

  // Nowhere: nothing happens.
  kvtest::Remove(Root(), "settings/aquaero.xml");
  Readings.T[0] = 0;
  Settings.AquaeroPath.clear();
  ReadAquaeroFile(Ctx);
  EXPECT_EQ(Readings.T[0], 0);
  EXPECT_EQ(Settings.AquaeroPath, "");
}

TEST_F(AquaeroTest, PipesLinksHugeFilesAndGarbage) {
  const std::string file = Settings.AquaeroPath + AquaeroFile;
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(ReadAquaeroFile(Ctx), std::runtime_error);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  kvtest::Remove(Root(), "aquasuite/aquaero.xml");

  kvtest::Put(Root(), "secret.xml", "<Sensor1>20</Sensor1>\n");
  kvtest::Link(Root(), "aquasuite/aquaero.xml", Root() + "secret.xml");
  EXPECT_THROW(ReadAquaeroFile(Ctx), std::runtime_error);
  EXPECT_EQ(Readings.T[0], NoValue16);
  kvtest::Remove(Root(), "aquasuite/aquaero.xml");

  kvtest::Put(Root(), "aquasuite/aquaero.xml", "<Sensor1>20</Sensor1>\n" + std::string(MaxAquaeroFile, '\n'));
  EXPECT_THROW(ReadAquaeroFile(Ctx), std::runtime_error);
  EXPECT_EQ(Readings.T[0], NoValue16);

  std::string garbage;
  for (int i = 0; i < 100000; ++i) garbage += static_cast<char>((i * 131 + i / 7) % 256);
  kvtest::Put(Root(), "aquasuite/aquaero.xml", garbage + "\n<Sensor3>55,25</Sensor3>\n" + garbage);
  ReadAquaeroFile(Ctx);
  EXPECT_EQ(Readings.T[2], 5525);
}

TEST_F(AquaeroTest, AquasuiteFolderFromItsProcess) {
  kvtest::Link(Root(), "proc/12/exe", "/opt/aquasuite/aquasuite");
  std::string folder;
  FindAquasuiteFolder(folder, Pass.Sources.SystemRoot);
  EXPECT_EQ(folder, Root() + "opt/aquasuite/");
  folder = "/kept/";
  FindAquasuiteFolder(folder, Pass.Sources.SystemRoot);
  EXPECT_EQ(folder, "/kept/");
}

}  // namespace
}  // namespace kv
