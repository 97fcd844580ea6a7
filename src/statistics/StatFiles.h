#pragma once
// The statistics files: per series a main file of 141-byte records and a companion file of
// 172-byte records, in the settings folder.
#include <functional>
#include <string>

#include "statistics/StatStore.h"

namespace kv {

// More records than this in one file are not history but damage; only the newest are loaded.
constexpr size_t MaxFileRecords = 100000;

// Writes one series as dir + baseName + "6" and "7" (with .backup copies first when backup); a
// write that fails leaves the old files whole. betweenRenames runs between the main file's and
// the companion file's rename.
void SaveStore(const tStatStore& series, const std::string& dir, const std::string& baseName, bool backup,
               const std::function<void()>& betweenRenames = {});
// Loads one series; a record more than a day after now is damage.
void LoadStore(tStatStore& series, const std::string& dir, const std::string& baseName, TDateTime now);
// For programs that only look: a missing file is read from its backup in place, never copied
// back, so nothing in the folder changes.
void LoadStoreReadOnly(tStatStore& series, const std::string& dir, const std::string& baseName, TDateTime now);

}  // namespace kv
