#include "readvalue/Mbm5.h"

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

class Mbm5Test : public kvtest::SourceTest {};

constexpr size_t Record(int r) { return 88 + 80 * static_cast<size_t>(r); }

void PutRecord(SourceBlock& block, int r, uint8_t kind, double value) {
  block.Put<uint8_t>(Record(r), kind);
  block.Put<double>(Record(r) + 16, value);
}

TEST_F(Mbm5Test, Layout519TemperaturesByOrderMapWhateverTheKind) {
  SourceBlock block("$M$B$M$5$S$D$", Record(100));
  PutRecord(block, 0, 1, 44.5);
  PutRecord(block, 1, 2, 47.0);  // a voltage record, taken as a temperature because the map says so
  PutRecord(block, 42, 1, 60.0);
  Settings.MBMOrderT[2] = 42;

  ReadMBM5190(Ctx);

  EXPECT_EQ(Readings.T[0], 4450);
  EXPECT_EQ(Readings.T[1], 4700);
  EXPECT_EQ(Readings.T[2], 6000);
  EXPECT_EQ(Readings.T[3], NoValue16);  // record 3 holds 0
}

TEST_F(Mbm5Test, Layout519VoltagesAndFansCountEvenWhenRefused) {
  Settings.MBMOrderT.fill(99);  // keep the ordered temperatures out of the way
  SourceBlock block("$M$B$M$5$S$D$", Record(100));
  PutRecord(block, 5, 2, 1.25);   // first voltage
  PutRecord(block, 6, 3, 255);    // first fan: refused, still counts
  PutRecord(block, 7, 2, 0.0);    // second voltage: refused, still counts
  PutRecord(block, 8, 2, -12.2);  // third voltage
  PutRecord(block, 9, 3, 1234.5); // second fan, rounded to even
  for (int r = 10; r < 30; ++r) PutRecord(block, r, 2, 5.0);  // voltages past V10 are dropped

  ReadMBM5190(Ctx);

  EXPECT_EQ(Readings.V[0], 125);
  EXPECT_EQ(Readings.V[1], NoValue16);
  EXPECT_EQ(Readings.V[2], -1220);
  for (int i = 3; i < 10; ++i) EXPECT_EQ(Readings.V[i], 500);
  EXPECT_EQ(Readings.F[0], NoValue16);
  EXPECT_EQ(Readings.F[1], 1234);
  EXPECT_EQ(Readings.F[2], NoValue16);
}

TEST_F(Mbm5Test, Layout519ShortBlockIsLoggedAndChangesNothing) {
  SourceBlock block("$M$B$M$5$S$D$", Record(99));
  PutRecord(block, 0, 1, 44.5);
  ReadMBM5190(Ctx);
  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_TRUE(Logged("] rv17 "));
}

// The two older layouts share one block name; each checks its own validity count.
TEST_F(Mbm5Test, OlderLayoutsReadOnlyBehindTheirValidityCounts) {
  SourceBlock block("$M$B$M$5$D$", 164);
  block.Put<int32_t>(0, 40);
  block.Put<int32_t>(36, 49);              // T10
  block.Put<double>(40, 1.6);              // V1
  block.Put<double>(40 + 8 * 8, 5.04);     // V9 in 5.1.0.7
  block.Put<int32_t>(96, 3100);            // F1 in 5.0.9, V8 in 5.1.0.7
  block.Put<int32_t>(120, 2200);           // F1 in 5.1.0.7
  block.Put<int32_t>(124, 255);            // F2: refused

  ReadMBM5107(Ctx);
  ReadMBM509x(Ctx);
  EXPECT_EQ(Readings.T[0], NoValue16);

  block.Put<int32_t>(160, 1);
  ReadMBM5107(Ctx);
  EXPECT_EQ(Readings.T[0], 4000);
  EXPECT_EQ(Readings.T[9], 4900);
  EXPECT_EQ(Readings.V[0], 160);
  EXPECT_EQ(Readings.V[8], 504);
  EXPECT_EQ(Readings.F[0], 2200);
  EXPECT_EQ(Readings.F[1], NoValue16);

  Pass.ResetReadings();
  block.Put<int32_t>(160, 0);
  block.Put<int32_t>(112, 3);
  ReadMBM509x(Ctx);
  EXPECT_EQ(Readings.T[0], 4000);
  EXPECT_EQ(Readings.V[0], 160);
  EXPECT_EQ(Readings.V[7], NoValue16);  // only seven voltages in this layout
  EXPECT_EQ(Readings.F[0], 3100);
}

}  // namespace
