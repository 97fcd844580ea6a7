#pragma once
// What kvsysinfo prints: the readings table after a pass, as JSON for other tools or as a
// table for people.
#include <string>
#include <vector>

namespace kv {

struct tSysInfoOptions {
  bool json = false;
  int passes = 1;
  std::string lightFile;  // -light FILE: the light of the last pass is drawn into FILE
  std::string bannerFile;  // -banner FILE: the banner of the statistics files and the last pass
  bool ok = true;        // false when an argument was not understood
  std::string error;
};
tSysInfoOptions ParseSysInfoArguments(const std::vector<std::string>& args);

// The readings table, its companion values, the channel names and the health of every pass
// step as one JSON object.
std::string ReadingsJson();
// The same for people: one line per figure that holds a value.
std::string ReadingsTable();

// Draws the light of the current readings into file (PNG, or GIF by the extension rule);
// false with the reason in error.
bool RenderLightFile(const std::string& file, std::string& error);

// Loads the fine series from the user's statistics files without changing anything there.
void LoadBannerStatistics();
// Draws the banner of the loaded series and the current readings into file; false with the
// reason in error, and nothing written, while the series holds fewer than two samples.
bool RenderBannerFile(const std::string& file, std::string& error);

// The whole program: settings read (never written), passes run, output printed or drawn.
int RunSysInfo(int argc, char** argv);

}  // namespace kv
