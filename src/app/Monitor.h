#pragma once
// The state of one monitor, made once by the composition root (RunKelvara, each tool's main) and
// passed by reference to what uses it: the process's folders and switches, the settings with the
// channel records, the readings table, the acquisition pass over its sources, the three series,
// the upload queue of the timed pictures and the alerts. Main thread only; worker threads take
// copies of what they need.
#include "alerts/Alerts.h"
#include "core/DateTime.h"
#include "core/Process.h"
#include "displays/DisplayData.h"
#include "displays/ImageSaving.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"

namespace kv {

struct tMonitor {
  explicit tMonitor(const Clock& clock = SystemTime());
  tMonitor(const tMonitor&) = delete;
  tMonitor& operator=(const tMonitor&) = delete;

  // Loads the settings files of the settings folder into Settings.
  void ReadSettings();
  // What the pictures and texts show.
  tDisplayData Display() { return {Settings, Current, Series, Process}; }

  const Clock& Time;
  tProcessFacts Process;
  tSettings Settings;
  tPowerQuery PowerAllowed;  // asked at every settings load; empty: nothing is allowed
  tReadingsState Current;
  tAcquisition Pass;
  tStatistics Series;
  tPictureQueue Pictures;
  tAlerts Alerts;
};

}  // namespace kv
