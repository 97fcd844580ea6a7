#include "core/DateTime.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <atomic>
#include <cmath>
#include <ctime>

namespace kv {

namespace {

const SystemClock systemClock;

QDateTime ToQt(TDateTime t, Qt::TimeSpec spec) {
  QDateTime dt = QDateTime::fromMSecsSinceEpoch(UnixMsFromDateTime(t), Qt::UTC);
  if (spec == Qt::LocalTime) {
    // The double holds wall-clock fields; reinterpret them as local.
    dt = QDateTime(dt.date(), dt.time(), Qt::LocalTime);
  }
  return dt;
}

TDateTime FieldsToDateTime(const QDateTime& dt) {
  const QDateTime asUtc(dt.date(), dt.time(), Qt::UTC);
  return DateTimeFromUnixMs(asUtc.toMSecsSinceEpoch());
}

// Long time formats of many locales carry the zone name ("HH:mm:ss (t)", "h:mm:ss AP, t",
// "t HH:mm:ss"); the log wants the clock only. Zone letters inside quoted text are text, and the
// brackets and separators that only framed the zone go with it.
QString StripZone(const QString& format) {
  QString out;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (quoted || c != QLatin1Char('t')) out += c;
  }
  // "( )" and "[ ]" with nothing but blanks inside held only the zone. A plain loop, not a
  // regular expression: this runs at start, and the expression engine costs half a megabyte.
  QString unframed;
  for (qsizetype i = 0; i < out.size(); ++i) {
    const QChar c = out[i];
    if (c == QLatin1Char('(') || c == QLatin1Char('[')) {
      const QChar close = c == QLatin1Char('(') ? QLatin1Char(')') : QLatin1Char(']');
      qsizetype j = i + 1;
      while (j < out.size() && out[j].isSpace()) ++j;
      if (j < out.size() && out[j] == close) {
        i = j;
        continue;
      }
    }
    unframed += c;
  }
  auto loose = [](QChar c) { return c.isSpace() || c == QLatin1Char(','); };
  qsizetype first = 0, end = unframed.size();
  while (first < end && loose(unframed[first])) ++first;
  while (end > first && loose(unframed[end - 1])) --end;
  return unframed.mid(first, end - first);
}

}  // namespace

TDateTime DateTimeFromUnixMs(int64_t unixMs) {
  return UnixEpochDays + static_cast<double>(unixMs) / MsPerDay;
}

int64_t UnixMsFromDateTime(TDateTime t) {
  return static_cast<int64_t>(std::llround((t - UnixEpochDays) * MsPerDay));
}

TDateTime EncodeDateTime(const tDateParts& p) {
  const QDate date(p.year, p.month, p.day);
  const qint64 days = QDate(1899, 12, 30).daysTo(date);
  return static_cast<double>(days) +
         (p.hour * 3600000.0 + p.minute * 60000.0 + p.second * 1000.0 + p.msec) / MsPerDay;
}

tDateParts DecodeDateTime(TDateTime t) {
  const int64_t ms = UnixMsFromDateTime(t);
  const QDateTime dt = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
  tDateParts p;
  p.year = dt.date().year();
  p.month = dt.date().month();
  p.day = dt.date().day();
  p.hour = dt.time().hour();
  p.minute = dt.time().minute();
  p.second = dt.time().second();
  p.msec = dt.time().msec();
  return p;
}

int64_t SystemClock::UtcMs() const { return QDateTime::currentMSecsSinceEpoch(); }

int64_t SystemClock::MonotonicMs() const {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

const Clock& SystemTime() { return systemClock; }

TDateTime UtcNow() { return systemClock.UtcNow(); }
TDateTime LocalNow() { return UtcToLocal(UtcNow()); }

TDateTime UtcToLocal(TDateTime utc) {
  const QDateTime dt = QDateTime::fromMSecsSinceEpoch(UnixMsFromDateTime(utc), Qt::UTC);
  return FieldsToDateTime(dt.toLocalTime());
}

TDateTime LocalToUtc(TDateTime local) {
  // The instants whose local time shows these fields, found from the offsets in force fifteen
  // hours either side (no two changes lie closer). Asking the C library to resolve the fields
  // instead would depend on its last guess: a repeated hour would come back either way.
  const int64_t fieldsMs = UnixMsFromDateTime(local);
  const auto offsetAt = [](int64_t ms) {
    return static_cast<int64_t>(QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime).offsetFromUtc()) * 1000;
  };
  const int64_t before = offsetAt(fieldsMs - 15 * 3600000LL);
  const int64_t after = offsetAt(fieldsMs + 15 * 3600000LL);
  std::optional<int64_t> instant;
  for (const int64_t offset : {before, after}) {
    const int64_t candidate = fieldsMs - offset;
    // A repeated hour is still daylight time until the change: the earlier instant.
    if (offsetAt(candidate) == offset && (!instant || candidate < *instant)) instant = candidate;
  }
  if (instant) return DateTimeFromUnixMs(*instant);
  // Skipped by a forward change: the time already lies in the new period and takes its offset.
  return DateTimeFromUnixMs(fieldsMs - offsetAt(fieldsMs - before));
}

TDateTime DisplayTime(TDateTime utc, bool timeInUtc) { return timeInUtc ? utc : UtcToLocal(utc); }

std::string ShortDateText(TDateTime t) {
  const QDateTime dt = ToQt(t, Qt::UTC);
  const QLocale loc;  // the system locale unless a test sets another default
  return loc.toString(dt.date(), loc.dateFormat(QLocale::ShortFormat)).toStdString();
}

std::string LongTimeText(TDateTime t) {
  const QDateTime dt = ToQt(t, Qt::UTC);
  const QLocale loc;  // the system locale unless a test sets another default
  return loc.toString(dt.time(), StripZone(loc.timeFormat(QLocale::LongFormat))).toStdString();
}

std::string ShortTimeText(TDateTime t) {
  const QDateTime dt = ToQt(t, Qt::UTC);
  const QLocale loc;  // the system locale unless a test sets another default
  return loc.toString(dt.time(), StripZone(loc.timeFormat(QLocale::ShortFormat))).toStdString();
}

std::string TimeFormatWithoutZone(const std::string& format) {
  return StripZone(QString::fromStdString(format)).toStdString();
}

std::string DateTimeText(TDateTime t) {
  const int64_t msOfDay = ((UnixMsFromDateTime(t) % 86400000) + 86400000) % 86400000;
  if (msOfDay == 0) return ShortDateText(t);
  return ShortDateText(t) + " " + LongTimeText(t);
}

}  // namespace kv
