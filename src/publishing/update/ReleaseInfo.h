#pragma once
// The update server's replies, read without any network: the release information (version,
// date, installer address, notes), the checksum file beside an installer, and the question
// the user is asked. Pure functions, so every reply from outside can be fuzzed.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kv {

// Larger replies are refused before they are read further.
constexpr size_t MaxReleaseInfoBytes = 64 * 1024;
constexpr size_t MaxChecksumBytes = 4 * 1024;

// The reply split at LF, a CR before it dropped; a final line break ends the last line.
std::vector<std::string> SplitReplyLines(const std::string& reply);

enum class tReleaseVerdict {
  Unchanged,  // two lines or fewer: nothing is logged, shown or stamped
  Newer,      // a newer release: ask; the check counts as completed
  SiteError,  // the date line sorts below "2000": an error page; not completed
  NotNewer,   // completed without update
};

// Line 1 compared as text: above releaseDate and not above "2050" is newer; below "2000" an
// error page; anything else (also a line starting with "<" or a letter) no update.
tReleaseVerdict JudgeRelease(const std::vector<std::string>& lines, const std::string& releaseDate);

// The question: updateAvailable with line 0 in its "%s", a blank line, the notes from line 3
// on, one per line, a blank line and downloadUpdate.
std::string UpdateQuestion(const std::vector<std::string>& lines, const std::string& updateAvailable,
                           const std::string& downloadUpdate);

// An address the update client may follow: "https://" and a host (case-insensitive scheme).
bool IsHttpsAddress(const std::string& address);

// The SHA-256 in a checksum file: its first word, 64 hex digits, in lower case ("sha256sum"
// output and a bare digest both qualify); nullopt for anything else.
std::optional<std::string> ParseChecksum(const std::string& text);

// A file name for the download taken from the address's last path piece (query and fragment
// cut): only letters, digits, ".", "-", "_" are kept, no leading dot, at most 64 characters;
// "setup" when nothing usable is left.
std::string InstallerFileName(const std::string& address);

}  // namespace kv
