#include "readvalue/Readings.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "core/EventLog.h"
#include "support/PassState.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

// Little-endian value of `size` bytes at `offset`, assembled byte by byte.
template <typename Record>
uint64_t BytesAt(const Record& r, size_t offset, size_t size) {
  unsigned char raw[sizeof(Record)];
  std::memcpy(raw, &r, sizeof raw);
  uint64_t v = 0;
  for (size_t i = 0; i < size; ++i) v |= uint64_t{raw[offset + i]} << (8 * i);
  return v;
}

uint64_t DoubleBits(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return bits;
}

class ReadingsReset : public testing::Test, public kvtest::PassState {};
class ReadingsUptime : public testing::Test, public kvtest::PassState {};

TEST(ReadingsLayout, MainRecordBytes) {
  tReadings r;
  std::memset(&r, 0xAA, sizeof r);
  r.Time = 45000.75;
  for (int i = 0; i < TChannels; ++i) r.T[i] = static_cast<int16_t>(100 + i);
  for (int i = 0; i < VChannels; ++i) r.V[i] = static_cast<int16_t>(200 + i);
  for (int i = 0; i < FChannels; ++i) r.F[i] = static_cast<int16_t>(-300 - i);
  for (int i = 0; i < CPUChannels; ++i) r.CPU[i] = static_cast<int16_t>(9990 + i);
  for (int i = 0; i < NetChannels; ++i) {
    r.NetIn[i] = 0x01020300 + i;
    r.NetOut[i] = 0x0A0B0C00 + i;
  }
  r.MemUsed = 1001;
  r.MemFree = 1002;
  r.PageUsed = 1003;
  r.PageFree = 1004;
  r.Cache = 1005;
  r.Freq = 3000000;
  r.BatCap = 45000;
  r.BatFull = 50000;
  r.BatOnline = 1;

  EXPECT_EQ(sizeof r, 141u);
  EXPECT_EQ(BytesAt(r, 0, 8), DoubleBits(45000.75));
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(BytesAt(r, 8 + 2 * i, 2), 100 + i) << "T" << i + 1;
    EXPECT_EQ(BytesAt(r, 28 + 2 * i, 2), 200 + i) << "V" << i + 1;
    EXPECT_EQ(BytesAt(r, 48 + 2 * i, 2), static_cast<uint16_t>(-300 - static_cast<int>(i))) << "F" << i + 1;
  }
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(BytesAt(r, 68 + 2 * i, 2), 9990 + i) << "CPU" << i + 1;
    EXPECT_EQ(BytesAt(r, 76 + 4 * i, 4), 0x01020300 + i) << "NetIn" << i + 1;
    EXPECT_EQ(BytesAt(r, 92 + 4 * i, 4), 0x0A0B0C00 + i) << "NetOut" << i + 1;
  }
  struct {
    size_t offset;
    uint64_t value;
  } const scalars[] = {{108, 1001}, {112, 1002}, {116, 1003}, {120, 1004}, {124, 1005},
                       {128, 3000000}, {132, 45000}, {136, 50000}};
  for (const auto& s : scalars) EXPECT_EQ(BytesAt(r, s.offset, 4), s.value) << "offset " << s.offset;
  EXPECT_EQ(BytesAt(r, 140, 1), 1u);  // BatOnline is the last byte
}

TEST(ReadingsLayout, ExtraRecordBytes) {
  tReadingsExtra x;
  std::memset(&x, 0xAA, sizeof x);
  x.Time2 = 45000.25;
  x.UserSecs = 0x00123456;
  for (int i = 0; i < 40; ++i) x.Reserved[i] = NoValue32 - i;

  EXPECT_EQ(sizeof x, 172u);
  EXPECT_EQ(BytesAt(x, 0, 8), DoubleBits(45000.25));
  EXPECT_EQ(BytesAt(x, 8, 4), 0x00123456u);
  for (size_t i = 0; i < 40; ++i) EXPECT_EQ(BytesAt(x, 12 + 4 * i, 4), 0x7FFFFFFFu - i);
}

TEST_F(ReadingsReset, PutsNoValueMarkersAndRaisesNameFlags) {
  std::memset(&Readings, 0x11, sizeof Readings);
  ReadingsExtra.UserSecs = 99;
  FreqMax = 5;
  CPUCount = 8;
  PassCount = 12;
  SFNamesPending = HWMNamesPending = EverestNamesPending = false;
  int enumerations = 0;
  Pass.Sources.ResetBatteries = [&](tPassContext&) { ++enumerations; };

  Pass.ResetReadings();

  for (int i = 0; i < TChannels; ++i) EXPECT_EQ(Readings.T[i], 32767);
  for (int i = 0; i < VChannels; ++i) EXPECT_EQ(Readings.V[i], 32767);
  for (int i = 0; i < FChannels; ++i) EXPECT_EQ(Readings.F[i], 32767);
  for (int i = 0; i < CPUChannels; ++i) EXPECT_EQ(Readings.CPU[i], 32767);
  for (int i = 0; i < NetChannels; ++i) {
    EXPECT_EQ(Readings.NetIn[i], 2147483647);
    EXPECT_EQ(Readings.NetOut[i], 2147483647);
  }
  for (int32_t field : {Readings.MemUsed, Readings.MemFree, Readings.PageUsed, Readings.PageFree,
                        Readings.Cache, Readings.Freq})
    EXPECT_EQ(field, 2147483647);
  EXPECT_EQ(FreqMax, 0);
  EXPECT_EQ(CPUCount, 0);
  EXPECT_EQ(ReadingsExtra.UserSecs, 0);
  EXPECT_EQ(PassCount, 0);
  EXPECT_TRUE(SFNamesPending);
  EXPECT_TRUE(HWMNamesPending);
  EXPECT_TRUE(EverestNamesPending);
  EXPECT_EQ(enumerations, 1);
}

TEST_F(ReadingsReset, FailingBatteryEnumerationIsLoggedAndResetCompletes) {
  kvtest::TempDir dir;
  SetEventLogPath(dir.File("KVEvents.txt"));
  SetDebugMode(true);
  Pass.Sources.ResetBatteries = [](tPassContext&) { throw std::runtime_error("no power supply class"); };
  Readings.T[0] = 4000;

  Pass.ResetReadings();
  SetDebugMode(false);
  SetEventLogPath("");

  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_NE(kvtest::ReadFile(dir.File("KVEvents.txt")).find("] ib1 no power supply class"), std::string::npos);
}

TEST(ReadingsRounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(0.5), 0.0);
  EXPECT_EQ(RoundHalfEven(1.5), 2.0);
  EXPECT_EQ(RoundHalfEven(2.5), 2.0);
  EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
  EXPECT_EQ(RoundHalfEven(-3.5), -4.0);
  EXPECT_EQ(RoundHalfEven(2.4999), 2.0);
  EXPECT_EQ(RoundHalfEven(2.5001), 3.0);
  EXPECT_EQ(RoundHalfEven(-0.7), -1.0);
}

TEST(ReadingsRounding, StoreTimes100) {
  // Exactly representable halves, so the tie is real.
  EXPECT_EQ(StoreTimes100(0.125), 12);
  EXPECT_EQ(StoreTimes100(0.375), 38);
  EXPECT_EQ(StoreTimes100(-0.125), -12);
  EXPECT_EQ(StoreTimes100(47.5), 4750);
  EXPECT_EQ(StoreTimes100(12.05), 1205);
  EXPECT_EQ(StoreTimes100(-327.68), -32768);
  EXPECT_EQ(StoreTimes100(327.66), 32766);
}

TEST(ReadingsRounding, StoreAsIs) {
  EXPECT_EQ(StoreAsIs(2.5), 2);
  EXPECT_EQ(StoreAsIs(3.5), 4);
  EXPECT_EQ(StoreAsIs(1199.6), 1200);
  EXPECT_EQ(StoreAsIs32(3000000.5), 3000000);
  EXPECT_EQ(StoreAsIs32(-2147483648.0), std::numeric_limits<int32_t>::min());
}

TEST(ReadingsRounding, UnholdableValuesBecomeNoValue) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double v : {400.0, -400.0, 1e300, inf, -inf, nan}) EXPECT_EQ(StoreTimes100(v), NoValue16) << v;
  for (double v : {32768.0, -32769.0, inf, nan}) EXPECT_EQ(StoreAsIs(v), NoValue16) << v;
  for (double v : {2147483648.0, -2147483649.0, 1e12, inf, nan}) EXPECT_EQ(StoreAsIs32(v), NoValue32) << v;
}

TEST(ReadingsFans, DivisorsThenZeroBecomesNoValue) {
  tReadings r{};
  struct {
    double div;
    int16_t raw;
    int16_t expected;
  } const cases[FChannels] = {
      {2, 3001, 1500},        // truncates
      {-10, 3000, -30000},    // flow form: 300.00 l/h
      {0, 1234, 1234},        // a divisor of 0 acts as 1
      {1, 0, NoValue16},      // stopped fan
      {2, NoValue16, NoValue16},
      {2, -150, -150},        // already a flow: divisors apply to positive figures only
      {2, 1, NoValue16},      // 1 / 2 truncates to 0, which is no value
      {-1, 400, NoValue16},   // -40000 does not fit
      {0.5, 20000, NoValue16},
      {-7, 1000, -14285},     // truncated toward zero, not down
  };
  std::array<double, FChannels> divisors{};
  for (int i = 0; i < FChannels; ++i) {
    divisors[static_cast<size_t>(i)] = cases[i].div;
    r.F[i] = cases[i].raw;
  }
  PostProcessFans(r, divisors);
  for (int i = 0; i < FChannels; ++i) EXPECT_EQ(r.F[i], cases[i].expected) << "F" << i + 1;
}

TEST(ReadingsFans, OnlyFansAreTouched) {
  tReadings r{};  // T and V at 0 stay 0: the zero rule is for fans
  std::array<double, FChannels> ones;
  ones.fill(1.0);
  PostProcessFans(r, ones);
  for (int i = 0; i < FChannels; ++i) EXPECT_EQ(r.F[i], NoValue16);
  for (int i = 0; i < TChannels; ++i) EXPECT_EQ(r.T[i], 0);
  for (int i = 0; i < VChannels; ++i) EXPECT_EQ(r.V[i], 0);
}

TEST(ReadingsNames, OnlyADefaultNameIsReplaced) {
  std::string name = "T1";
  EXPECT_FALSE(ReplaceDefaultName(name, "T1", ""));
  EXPECT_EQ(name, "T1");
  EXPECT_TRUE(ReplaceDefaultName(name, "T1", "Core 0"));
  EXPECT_EQ(name, "Core 0");
  EXPECT_FALSE(ReplaceDefaultName(name, "T1", "Package"));  // the first supplied name is kept
  EXPECT_EQ(name, "Core 0");

  std::string user = "CPU";
  EXPECT_FALSE(ReplaceDefaultName(user, "T3", "Temp3"));
  EXPECT_EQ(user, "CPU");
  std::string other = "T10";
  EXPECT_FALSE(ReplaceDefaultName(other, "T1", "GPU"));  // a prefix is not the default
}

TEST_F(ReadingsUptime, SplitsIntoParts) {
  SetUpSecs(Current, 2 * 86400 + 23 * 3600 + 59 * 60 + 58);
  EXPECT_EQ(UpSecs, 259198u);
  EXPECT_EQ(UpDays, 2);
  EXPECT_EQ(UpHours, 23);
  EXPECT_EQ(UpMins, 59);
  EXPECT_EQ(UpSecsPart, 58);
  SetUpSecs(Current, 0xFFFFFFFFu);
  EXPECT_EQ(UpDays, 49710);
  EXPECT_EQ(UpHours, 6);
  EXPECT_EQ(UpMins, 28);
  EXPECT_EQ(UpSecsPart, 15);
}

// The table and its companions are one bundle: one assignment puts all of it back.
TEST(ReadingsState, OneClearPutsTheWholeBundleBack) {
  tReadingsState state;
  state.Readings.T[0] = 4000;
  state.ReadingsExtra.UserSecs = 7;
  state.FreqMax = 3000000;
  state.PassCount = 5;
  state.NetMons = {{"eth0", "10.0.0.1", "00-11-22-33-44-55", 1}};
  state.DiskMons = {{"/", "root"}};
  state.BOINCTasks.resize(2);
  state.HwmonNamesPending = true;

  state = tReadingsState{};
  EXPECT_EQ(state.Readings.T[0], 0);
  EXPECT_EQ(state.ReadingsExtra.UserSecs, 0);
  EXPECT_EQ(state.FreqMax, 0);
  EXPECT_EQ(state.PassCount, 0);
  EXPECT_TRUE(state.NetMons.empty());
  EXPECT_TRUE(state.DiskMons.empty());
  EXPECT_TRUE(state.BOINCTasks.empty());
  EXPECT_FALSE(state.HwmonNamesPending);
}

}  // namespace
