#include "readvalue/Everest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

class EverestTest : public kvtest::SourceTest {
 protected:
  std::unique_ptr<SourceBlock> Publish(const char* name, const std::string& text, size_t size = 0) {
    auto block = std::make_unique<SourceBlock>(name, size ? size : text.size() + 1);
    block->PutText(0, text.substr(0, size ? std::min(size, text.size()) : text.size()));
    return block;
  }
};

std::string Element(const char* kind, const std::string& label, const std::string& value) {
  return "<" + std::string(kind) + "><id>X</id><label>" + label + "</label><value>" + value + "</value></" + kind + ">";
}

TEST_F(EverestTest, ElementsAreCountedOnlyWithAValue) {
  auto block = Publish("AIDA64_SensorValues", Element("temp", "Motherboard", "") + Element("temp", "CPU", "45.5") +
                                                  Element("temp", "GPU", "61"));
  ReadEverest(Ctx, true);
  EXPECT_EQ(Readings.T[0], 4550);
  EXPECT_EQ(Readings.T[1], 6100);
  EXPECT_EQ(Readings.T[2], NoValue16);
  EXPECT_EQ(Settings.TCfg[0].Name, "CPU");
  EXPECT_EQ(Settings.TCfg[1].Name, "GPU");
  EXPECT_FALSE(EverestNamesPending);
}

TEST_F(EverestTest, MapEntriesMatchNumberOrLabel) {
  Settings.AIDAOrderT[0] = "GPU Diode";
  Settings.AIDAOrderT[1] = "";
  Settings.AIDAOrderF[2] = "1";
  Settings.AIDAOrderV[0] = "+12 V";
  Settings.TCfg[0].Name = "Graphics";
  auto block = Publish("AIDA64_SensorValues",
                       Element("sys", "CPU Clock", "3000.4") + Element("temp", "CPU", "40") +
                           Element("temp", "GPU Diode", "55.25") + Element("fan", "CPU", "1980") +
                           Element("volt", "CPU Core", "1.312") + Element("volt", "+12 V", "12.16"));
  ReadEverest(Ctx, true);
  EXPECT_EQ(Readings.T[0], 5525);
  EXPECT_EQ(Readings.T[1], NoValue16);  // an empty entry never matches
  EXPECT_EQ(Readings.F[0], 1980);
  EXPECT_EQ(Readings.F[2], 1980);
  EXPECT_EQ(Readings.V[0], 1216);
  EXPECT_EQ(Readings.V[1], 1216);  // map entry "2": the second volt element
  EXPECT_EQ(Settings.TCfg[0].Name, "Graphics");
  EXPECT_EQ(Settings.FCfg[2].Name, "CPU");
  EXPECT_EQ(Readings.Freq, 3000400);
  EXPECT_EQ(FreqMax, 3000400);
}

TEST_F(EverestTest, NumbersThatDoNotParseShowNoValueAndTheRestGoesOn) {
  Readings.T[0] = 4000;
  Readings.F[0] = 1000;
  auto block = Publish("EVEREST_SensorValues", Element("temp", "CPU", "45,5") + Element("temp", "GPU", "50") +
                                                   Element("fan", "CPU", "12.5") + Element("sys", "CPU Clock", "fast"));
  ReadEverest(Ctx, false);
  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_EQ(Readings.T[1], 5000);
  EXPECT_EQ(Readings.F[0], NoValue16);
  EXPECT_EQ(Readings.Freq, NoValue32);
  EXPECT_TRUE(Logged("] re2 '45,5' is not a valid number"));
  EXPECT_TRUE(Logged("] re2 '12.5' is not a valid integer"));
}

TEST_F(EverestTest, OnlyTheFirstCpuClockCounts) {
  Readings.Freq = NoValue32;
  auto block = Publish("AIDA64_SensorValues", Element("sys", "CPU Clock Ratio", "12") + Element("sys", "CPU Clock", "") +
                                                  Element("sys", "CPU Clock", "2000"));
  ReadEverest(Ctx, true);
  EXPECT_EQ(Readings.Freq, NoValue32);
}

TEST_F(EverestTest, TextWithoutClosingTagEndsTheScan) {
  auto block = Publish("AIDA64_SensorValues", Element("temp", "CPU", "45") + "<temp><label>GPU</label><value>60</value>");
  ReadEverest(Ctx, true);
  EXPECT_EQ(Readings.T[0], 4500);
  EXPECT_EQ(Readings.T[1], NoValue16);
}

TEST_F(EverestTest, TextEndsAtTheBlockOr4096Characters) {
  std::string text = Element("temp", "CPU", "45");
  text += std::string(4096 - text.size() - 10, ' ') + Element("temp", "GPU", "60");
  auto block = Publish("AIDA64_SensorValues", text, text.size());  // no terminating zero
  ReadEverest(Ctx, true);
  EXPECT_EQ(Readings.T[0], 4500);
  EXPECT_EQ(Readings.T[1], NoValue16);  // cut at 4096
}

TEST_F(EverestTest, NamesComeFromTheFirstBlockRead) {
  auto aida = Publish("AIDA64_SensorValues", Element("temp", "CPU", "45"));
  auto everest = Publish("EVEREST_SensorValues", Element("temp", "Diode", "47"));
  ReadEverest(Ctx, true);
  ReadEverest(Ctx, false);
  EXPECT_EQ(Readings.T[0], 4700);
  EXPECT_EQ(Settings.TCfg[0].Name, "CPU");
}

TEST(EverestElements, NextElementContinuesInsideTheContent) {
  std::string_view text = "<a>1<a>2</a></a><a>3</a>";
  EXPECT_EQ(NextElement(text, "a"), "1<a>2");
  EXPECT_EQ(NextElement(text, "a"), "2");
  EXPECT_EQ(NextElement(text, "a"), "3");
  EXPECT_EQ(NextElement(text, "a"), std::nullopt);
  std::string_view open = "<b>never closed";
  EXPECT_EQ(NextElement(open, "b"), std::nullopt);
}

TEST_F(EverestTest, LabelsBecomeCleanUtf8Names) {
  // An old sensor program writes its labels in Windows-1252 and lets control bytes through.
  Settings.AIDAOrderT[1] = "Geh\u00e4use";
  auto block = Publish("AIDA64_SensorValues", Element("temp", "Geh\xe4use\x01\x1b", "40") +
                                                  Element("temp", "CPU \x80\x7f", "41") +
                                                  Element("volt", "Vcore \xc3\xa4\x02", "1.2"));
  ReadEverest(Ctx, true);
  EXPECT_EQ(Settings.TCfg[0].Name, "Geh\u00e4use");
  EXPECT_EQ(Readings.T[1], 4000);  // the decoded label matches the saved map entry
  EXPECT_EQ(Settings.TCfg[1].Name, "Geh\u00e4use");
  EXPECT_EQ(Settings.TCfg[2].Name, "T3");
  EXPECT_EQ(Readings.T[2], NoValue16);
  EXPECT_EQ(Settings.VCfg[0].Name, "Vcore \u00e4");  // valid UTF-8 stays as it is
}

TEST_F(EverestTest, PlantedFifoIsAnAbsentBlockAndDoesNotHang) {
  const std::string fifo = "/dev/shm" + SharedMemoryPath("EVEREST_SensorValues");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  auto read = std::async(std::launch::async, [this] { ReadEverest(Ctx, false); });
  const bool prompt = read.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
  if (!prompt) {
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // frees the stuck open
    if (writer >= 0) ::close(writer);  // closed at once: the stuck read then sees the end
    read.wait();
  }
  ::unlink(fifo.c_str());
  ASSERT_TRUE(prompt) << "the pass hung on a FIFO";
  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_TRUE(EverestNamesPending);
}

}  // namespace
