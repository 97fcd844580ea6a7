#include "readvalue/Aquaero.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "core/Text.h"
#include "platform/DataFiles.h"
#include "platform/Files.h"
#include "platform/OutsideFile.h"
#include "readvalue/PassContext.h"
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
void AquaeroLine(tPassContext& ctx, std::string_view line) {
  const tSettings& s = ctx.Settings;
  tReadings& r = ctx.Current.Readings;
  for (int k = 0; k < TempChannels; ++k) {
    if (const auto t = MappedNumber(line, s.AquaeroOrderT[k])) {
      r.T[k] = StoreTimes100(*t);
    } else if (const auto v = MappedNumber(line, s.AquaeroOrderV[k])) {
      r.V[k] = StoreTimes100(*v);
    } else if (const auto f = MappedNumber(line, s.AquaeroOrderF[k]); f && *f > 0) {
      // Small figures are flows in litres per hour, stored in the negative two-decimal form.
      r.F[k] = *f >= 255 ? StoreAsIs(*f) : StoreTimes100(-*f);
    }
  }
}

}  // namespace

void ReadAquaeroText(tPassContext& ctx, std::string_view text) {
  std::string line;
  while (!text.empty()) {
    line = NextTextLine(text);
    std::replace(line.begin(), line.end(), ',', '.');  // decimal commas
    AquaeroLine(ctx, line);
  }
}

void ReadAquaeroFile(tPassContext& ctx) {
  std::string& folder = ctx.Settings.AquaeroPath;
  if (folder.empty() || !FileExists(folder + AquaeroFile)) {
    const std::string found = DataFolder(AquaeroFile, ctx.Process);
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
  ReadAquaeroText(ctx, content);
}

void FindAquasuiteFolder(std::string& folder, const std::string& systemRoot) {
  if (!folder.empty()) return;
  folder = FolderOfRunningProgram(systemRoot, "aquasuite");
  if (!folder.empty()) folder = IncludeTrailingSlash(folder);
}

void ReadAquaeroStep(tPassContext& ctx) {
  FindAquasuiteFolder(ctx.Settings.AquaeroPath, ctx.SystemRoot);
  ReadAquaeroFile(ctx);
}

}  // namespace kv
