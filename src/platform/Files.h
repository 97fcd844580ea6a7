#pragma once
// File and folder operations. None of them throws; failures answer false.
#include <string>

namespace kv {

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Renames; across file systems copies and deletes the source.
bool MoveFile(const std::string& from, const std::string& to);
bool DeleteFile(const std::string& path);
// Copies a regular file (a link at either name is never followed) through a temporary file and a
// rename: a failed copy leaves the old target whole.
bool CopyFile(const std::string& from, const std::string& to);
// Creates the folder and its parents; new folders get the given mode.
bool CreateFolder(const std::string& path, unsigned mode = 0700);
// Writes a whole file through a temporary name, fsync and rename, so readers and a crash see
// either the old or the new content.
bool WriteFileAtomic(const std::string& path, const std::string& content, unsigned mode = 0644);
// The two halves of WriteFileAtomic, for callers that must rename several files close together:
// WriteTempFile creates a fresh temporary file beside path (exclusively, never through a link),
// writes and syncs it and returns its name in temp; CommitTempFile renames it over path, or
// removes it when that fails.
bool WriteTempFile(const std::string& path, const std::string& content, unsigned mode,
                   std::string& temp);
bool CommitTempFile(const std::string& temp, const std::string& path);
// Removes the temporary files that killed writers of this program left in a folder: regular
// files named by the temporary pattern whose process is gone. Answers how many went.
int RemoveStaleTempFiles(const std::string& dir);
// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content);
bool SetCurrentFolder(const std::string& path);

}  // namespace kv
