#pragma once
// The statistics files: per series a main file of 141-byte records and a companion file of
// 172-byte records, in SettingsDir.
#include <string>

#include "statistics/StatStore.h"

namespace kv {

// More records than this in one file are not history but damage; only the newest are loaded.
constexpr size_t MaxFileRecords = 100000;

// A fresh forced pass and sample, then the three series written (with .backup copies first).
void SaveStatistics(bool backup);
void SaveStore(const tStatStore& series, const std::string& baseName, bool backup);
// Test hook: called between the main file's and the companion file's rename.
void SetPairRenameHook(void (*hook)());
// Loads the three series, then inserts a break.
void LoadStatistics();
void LoadStore(tStatStore& series, const std::string& baseName);
// For programs that only look: a missing file is read from its backup in place, never copied
// back, so nothing in SettingsDir changes.
void LoadStoreReadOnly(tStatStore& series, const std::string& baseName);

}  // namespace kv
