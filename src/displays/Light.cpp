#include "displays/Light.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/EventLog.h"
#include "core/Process.h"
#include "core/Text.h"
#include "displays/Canvas.h"
#include "displays/DisplayData.h"
#include "displays/ContrastColours.h"
#include "displays/Formatting.h"
#include "displays/Placeholders.h"
#include "displays/SegmentDigits.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

const char* const ProductWebSite = "www.kelvara.org";
const char* const LightTemplateName = "KVLight.txt";

namespace {

constexpr int FullWidth = 110;
constexpr int FullHeight = 500;
constexpr int MiniSize = 80;
constexpr int TextLineHeight = 9;
constexpr int CreditsX = 69;  // where a BOINC project's credit figure starts
// Template lines stop here, so the gap, the uptime line and the footer still fit the bitmap.
constexpr int TemplateBottom = FullHeight - 3 - 2 * TextLineHeight;

// A template is a few lines of text; a huge or binary file is cut, never read whole.
constexpr size_t TemplateReadLimit = 64 * 1024;
constexpr size_t TemplateLineLimit = 512;

const char* TemperatureUnit(const tSettings& s) { return s.Celsius ? "°C" : "°F"; }

bool HasValue(const tChannelCfg& cfg, int16_t value) { return cfg.Vis != 0 && value != NoValue16; }

// The numbers in which the two variants' first steps differ.
struct tOpening {
  int width, height;
  int fontHeight;
  int dateAt;      // the date line's position and contrast pixel
  int yAfterDate;
};
constexpr tOpening MiniOpening{MiniSize, MiniSize, 8, 0, 9};
constexpr tOpening FullOpening{FullWidth, FullHeight, 10, 2, 14};

// Background, border rectangle and the optional date line; returns the first free y.
int Opening(const tDisplayData& d, Canvas& c, const tOpening& o) {
  c.Resize(o.width, o.height);
  c.penStyle = tPenStyle::Solid;
  c.penColour = d.Settings.cBorder;
  c.brushStyle = tBrushStyle::Solid;
  c.brushColour = d.Settings.cBack;
  c.Rectangle(0, 0, o.width, o.height);
  c.brushStyle = tBrushStyle::Clear;
  c.SetFont(tFont{FontSmall, o.fontHeight, false, 0});
  if (!d.Settings.DisplayDateTime) return 2;
  c.SetFontColour(PickContrastColours(c, o.dateAt + 1, o.dateAt + 1).Main);
  c.FitText(o.dateAt, o.width - 1, o.dateAt, o.dateAt, ReadingsTimeText(d.Current, d.Settings), 1);
  return o.yAfterDate;
}

void DrawMiniLight(const tDisplayData& d, Canvas& c) {
  int y = Opening(d, c, MiniOpening);
  for (int i = 0; i < TChannels && y <= 50; ++i) {
    if (!HasValue(d.Settings.TCfg[i], d.Current.Readings.T[i])) continue;
    const tColour colour = d.Settings.TCfg[i].Colour;
    const std::string label = FillTemplate(d, d.Settings.TCfg[i].Name, d.Current.Readings.Time);
    c.SetFontColour(colour);
    c.SetFontHeight(8);
    c.TextOut(71, y - 2, TemperatureUnit(d.Settings));
    c.SetFontHeight(11);
    c.TextRect(0, y, 55, y + 20, 0, y, label);
    const double v = ToDisplayTemperature(d.Current.Readings.T[i], d.Settings.Celsius);
    DrawSegmentNumber(c, colour, Nearest(v), 1, 0, 4, y, 70);
    y += 13;
  }
  c.SetFontHeight(9);
  if (d.Current.Readings.Freq != NoValue32 && d.Current.Readings.Freq > 0) {
    c.SetFontColour(d.Settings.cFreq);
    DrawSegmentNumber(c, d.Settings.cFreq, Nearest(d.Current.Readings.Freq / 1000.0), 2, 1, 5, 61, 51);
    c.TextOut(54, 68, "MHz");
    if (!CoresText(d.Current).empty()) c.TextOut(54, 61, CoresText(d.Current));
  }
  DrawOuterFrame(c, d.Settings, MiniSize - 1, MiniSize - 1);
}

int TemperatureRows(const tDisplayData& d, Canvas& c, int y) {
  bool drawn = false;
  for (int i = 0; i < TChannels; ++i) {
    if (!HasValue(d.Settings.TCfg[i], d.Current.Readings.T[i])) continue;
    const tColour colour = d.Settings.TCfg[i].Colour;
    const std::string label = FillTemplate(d, d.Settings.TCfg[i].Name, d.Current.Readings.Time);
    const double v = ToDisplayTemperature(d.Current.Readings.T[i], d.Settings.Celsius);
    // Whole and tenth come from the value's hundredths: cut from the double itself, 45.30
    // (held as 45.2999...) would show a tenth of 2.
    const long long h = std::llround(v * 100);
    const double whole = static_cast<double>(h / 100);  // both truncate toward zero
    const int tenth = static_cast<int>(std::llabs(h / 10 % 10));
    c.SetFont(tFont{FontArial, 14, false, colour});
    c.penColour = colour;
    c.TextRect(2, y, 65, y + 20, 2, y, label);
    c.SetFontHeight(12);
    c.TextOut(96, y - 2, TemperatureUnit(d.Settings));
    DrawSegmentNumber(c, colour, whole, 1, 1, 7, y - 1, 94);
    if (tenth > 0) {
      DrawSegmentNumber(c, colour, tenth, 1, 0, 3, y + 9, 101);
      c.SetPixel(95, y + 17, colour);
    }
    y += 21;
    drawn = true;
  }
  return drawn ? y + 4 : y;
}

int FanRows(const tDisplayData& d, Canvas& c, int y) {
  const auto texts = Texts();
  bool drawn = false;
  c.SetFont(tFont{FontSmall, 10, false, c.Font().colour});
  for (int i = 0; i < FChannels; ++i) {
    const int f = d.Current.Readings.F[i];
    if (!HasValue(d.Settings.FCfg[i], d.Current.Readings.F[i])) continue;
    const tColour colour = d.Settings.FCfg[i].Colour;
    const std::string label = FillTemplate(d, d.Settings.FCfg[i].Name, d.Current.Readings.Time);
    c.SetFontColour(colour);
    c.TextRect(2, y, 50, y + 20, 2, y, label);
    c.FitText(83, FullWidth - 1, 83, y - 4, f < 0 ? texts->LH : texts->RPM, 2);
    DrawSegmentNumber(c, colour, f < 0 ? -f / 100.0 : f, 1, 0.6, 5, y - 2, 81);
    y += 15;
    drawn = true;
  }
  return drawn ? y + 4 : y;
}

int ClockRow(const tDisplayData& d, Canvas& c, int y) {
  c.SetFont(tFont{FontArial, 12, false, c.Font().colour});
  if (d.Current.Readings.Freq == NoValue32) return y;
  c.SetFontColour(d.Settings.cFreq);
  DrawSegmentNumber(c, d.Settings.cFreq, Nearest(d.Current.Readings.Freq / 1000.0), 2, 1, 7, y - 2, 62);
  if (!CoresText(d.Current).empty()) c.TextOut(66, y + 7, CoresText(d.Current));
  c.TextOut(66, y - 3, "MHz");
  return y + 23;
}

// The BOINC figure a credits line asks for by the words it contains.
double CreditFigure(const tBOINCProject& p, const std::string& lowerLine) {
  const bool total = lowerLine.find("total") != std::string::npos;
  const bool user = lowerLine.find("user") != std::string::npos;
  if (total) return user ? p.UserTotalCredit : p.HostTotalCredit;
  return user ? p.UserExpAvgCredit : p.HostExpAvgCredit;
}

// BOINC lines keep the colour of the text drawn before them.
int TemplateLines(const tDisplayData& d, Canvas& c, int y) {
  c.SetFont(tFont{FontCourier, 13, false, c.Font().colour});
  const auto lines = ReadTemplateLines(d.Process.SettingsDir + LightTemplateName);
  if (!lines) return y;
  for (const std::string& raw : *lines) {
    if (y + TextLineHeight > TemplateBottom) break;
    const std::string line = FillLightTemplate(d, raw, d.Current.Readings.Time);
    const std::string lower = LowerCase(line);
    if (lower.find("%boincstats%") != std::string::npos) {
      if (!d.Settings.ReadSETI) continue;
      for (const tBOINCActiveTask& task : d.Current.BOINCTasks) {
        if (y + TextLineHeight > TemplateBottom) break;
        c.TextOut(8, y - 5, FormatPattern(task.FractionDone * 100, 0) + "%");
        c.TextOut(45, y - 5, "(" + task.CPUTime + ")");
        y += TextLineHeight;
      }
    } else if (lower.find("%boinccredits") != std::string::npos) {
      if (!d.Settings.ReadSETI) continue;
      for (const tBOINCProject& project : d.Current.BOINCProjects) {
        if (y + TextLineHeight > TemplateBottom) break;
        // The figure keeps its place; the name gets the room before it.
        c.FitText(8, CreditsX - 2, 8, y - 5, project.ProjectName);
        c.FitText(CreditsX, FullWidth - 1, CreditsX, y - 5, FormatSiCount(0, CreditFigure(project, lower)));
        y += TextLineHeight;
      }
    } else {
      c.SetFontColour(d.Settings.cInfo);
      c.TextRect(2, y - 5, 106, y + 15, 2, y - 5, line);
      y += TextLineHeight;
    }
  }
  return y + 3;
}

int UptimeLine(const tDisplayData& d, Canvas& c, int y, const tContrast& contrast) {
  try {
    const std::string text = UptimeLineText(d.Current);
    c.SetFontColour(contrast.Dim);
    // Rows are TextLineHeight apart: the line is lifted until its descenders clear the
    // footer's capitals below.
    const int footerTop = c.InkRect(2, y + TextLineHeight - 4, ProductVersion).top();
    const int lift = std::max(0, c.InkRect(2, y - 4, text).bottom() + 1 - footerTop);
    c.FitText(2, FullWidth - 1, 2, y - 4 - lift, text, 1);
    return y + TextLineHeight;
  } catch (const std::exception& e) {
    LogError("dl2 ", e);
    return y;
  }
}

void DrawFullLight(const tDisplayData& d, Canvas& c) {
  int y = Opening(d, c, FullOpening);
  c.SetFont(tFont{FontArial, 15, false, 0});
  const tContrast title = PickContrastColours(c, 4, y - 3);
  c.SetFontColour(title.Shadow);
  c.TextOut(3, y - 5, ProductWebSite);
  c.SetFontColour(title.Main);
  c.TextOut(2, y - 4, ProductWebSite);
  y += 15;

  y = TemperatureRows(d, c, y);
  y = FanRows(d, c, y);
  y = ClockRow(d, c, y);
  y = TemplateLines(d, c, y);

  const tContrast footer = PickContrastColours(c, 4, y - 2);
  c.SetFont(tFont{FontSmall, 10, false, c.Font().colour});
  if (d.Settings.ReadUpTime) y = UptimeLine(d, c, y, footer);
  c.SetFontColour(footer.Shadow);
  c.TextOut(3, y - 3, ProductVersion);
  c.SetFontColour(footer.Highlight);
  c.TextOut(2, y - 4, ProductVersion);
  y += TextLineHeight;

  DrawOuterFrame(c, d.Settings, FullWidth - 1, y - 1);
  c.Resize(FullWidth, y);
}

}  // namespace

std::string ReadingsTimeText(const tReadingsState& current, const tSettings& settings) {
  const TDateTime t = DisplayTime(current.Readings.Time, settings.TimeInUTC);
  return FormatWithText(Texts()->Time, ShortDateText(t) + " " + LongTimeText(t));
}

std::string CoresText(const tReadingsState& current) {
  if (current.CPUCount == 0) return {};
  if (current.CPUCount == 1) return "1 core";
  return std::to_string(current.CPUCount) + " cores";
}

std::string UptimeLineText(const tReadingsState& c) {
  return Texts()->Uptime + " " + UptimeText(c.UpDays, c.UpHours, c.UpMins, c.UpSecsPart);
}

void DrawOuterFrame(Canvas& c, const tSettings& settings, int right, int bottom) {
  c.penStyle = tPenStyle::Solid;
  c.penColour = settings.cBorder2;
  c.MoveTo(0, bottom);
  c.LineTo(0, 0);
  c.LineTo(right, 0);
  c.penColour = settings.cBorder;
  c.LineTo(right, bottom);
  c.LineTo(-1, bottom);
}

// Opened without blocking and only as a plain file, so a pipe or device put in its place cannot
// stall the drawing.
std::optional<std::vector<std::string>> ReadTemplateLines(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw std::runtime_error(path + ": " + std::strerror(errno));
  }
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  std::string content(regular ? TemplateReadLimit : 0, '\0');
  size_t got = 0;
  ssize_t n = 0;
  while (got < content.size() && (n = ::read(fd, content.data() + got, content.size() - got)) > 0) got += n;
  const int readError = errno;
  ::close(fd);
  if (!regular) throw std::runtime_error(path + ": not a plain file");
  if (n < 0) throw std::runtime_error(path + ": " + std::strerror(readError));
  content.resize(got);

  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find_first_of("\r\n", start);
    if (end == std::string::npos) end = content.size();
    lines.push_back(content.substr(start, std::min(end - start, TemplateLineLimit)));
    start = end + (content.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

void DrawLight(QImage& image, const tDisplayData& d, std::vector<tDrawnText>* texts) {
  Canvas canvas(image);
  canvas.drawnTexts = texts;
  if (d.Settings.MiniLight) DrawMiniLight(d, canvas);
  else DrawFullLight(d, canvas);
}

}  // namespace kv
