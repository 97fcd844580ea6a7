#include "readvalue/Aquaero.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "core/Process.h"
#include "core/Text.h"
#include "platform/DataFiles.h"
#include "platform/Files.h"
#include "platform/OutsideFile.h"
#include "readvalue/Procs.h"
#include "readvalue/Readings.h"
#include "readvalue/XmlLines.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kv {

const char* const AquaeroFile = "aquaero.xml";

namespace {

std::optional<double> MappedNumber(std::string_view line, const std::string& element) {
  if (element.empty()) return std::nullopt;
  return DecimalNumber(ElementText(line, element));
}

// Per channel the first group whose element the line holds with a number wins.
void AquaeroLine(std::string_view line) {
  for (int k = 0; k < TempChannels; ++k) {
    if (const auto t = MappedNumber(line, AquaeroOrderT[k])) {
      Readings.T[k] = StoreTimes100(*t);
    } else if (const auto v = MappedNumber(line, AquaeroOrderV[k])) {
      Readings.V[k] = StoreTimes100(*v);
    } else if (const auto f = MappedNumber(line, AquaeroOrderF[k]); f && *f > 0) {
      // Small figures are flows in litres per hour, stored in the negative two-decimal form.
      Readings.F[k] = *f >= 255 ? StoreAsIs(*f) : StoreTimes100(-*f);
    }
  }
}

}  // namespace

void ReadAquaeroText(std::string_view text) {
  std::string line;
  while (!text.empty()) {
    line = NextTextLine(text);
    std::replace(line.begin(), line.end(), ',', '.');  // decimal commas
    AquaeroLine(line);
  }
}

void ReadAquaeroFile() {
  std::string& folder = Settings.AquaeroPath;
  if (folder.empty() || !FileExists(folder + AquaeroFile)) {
    const std::string found = DataFolder(AquaeroFile);
    if (FileExists(found + AquaeroFile)) folder = found;
  }
  if (folder.empty()) return;
  const std::string path = folder + AquaeroFile;
  std::string content, why;
  switch (ReadOutsideFile(path, MaxAquaeroFile, content, why)) {
    case tOutsideFile::Missing: return;
    case tOutsideFile::Refused:
    case tOutsideFile::Failed: throw std::runtime_error(path + " " + why);
    case tOutsideFile::Read: break;
  }
  ReadAquaeroText(content);
}

void FindAquasuiteFolder(std::string& folder) {
  if (!folder.empty()) return;
  folder = FolderOfRunningProgram("aquasuite");
  if (!folder.empty()) folder = IncludeTrailingSlash(folder);
}

void ReadAquaeroStep() {
  FindAquasuiteFolder(Settings.AquaeroPath);
  ReadAquaeroFile();
}

}  // namespace kv
