#pragma once
// The XDG autostart entry that starts the monitor at login. Only an entry carrying our marker
// key is ours to replace or remove; anything else at that name belongs to the user.
#include <string>

namespace kv {

enum class tAutostartState { Absent, Ours, Foreign };

// $XDG_CONFIG_HOME/autostart/kelvara.desktop ($XDG_CONFIG_HOME absolute, else ~/.config);
// empty when no home folder is known.
std::string AutostartPath();
// What is at path; a link, a folder or an unreadable file counts as foreign.
tAutostartState AutostartStateOf(const std::string& path);
// The entry's text, starting program (an absolute path); empty when the path cannot be written
// into an Exec line.
std::string AutostartText(const std::string& program);
// Writes the entry atomically (0644), creating missing folders; false on failure (logged).
bool WriteAutostart(const std::string& path, const std::string& program);
// Removes the entry; an entry already gone is no failure.
bool RemoveAutostart(const std::string& path);

}  // namespace kv
