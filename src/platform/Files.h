#pragma once
// File and folder operations. None of them throws; failures answer false.
#include <string>

namespace kv {

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Renames; across file systems copies and deletes the source.
bool MoveFile(const std::string& from, const std::string& to);
bool DeleteFile(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to);
// Creates the folder and its parents; new folders get the given mode.
bool CreateFolder(const std::string& path, unsigned mode = 0700);
// Writes a whole file through a temporary name, fsync and rename, so readers and a crash see
// either the old or the new content.
bool WriteFileAtomic(const std::string& path, const std::string& content, unsigned mode = 0644);
// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content);
bool SetCurrentFolder(const std::string& path);

}  // namespace kv
