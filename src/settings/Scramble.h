#pragma once
// Reversible scrambling of the passwords stored in KVServer.ini. It hides them from a casual
// look at the file; it is not encryption.
#include <cstdint>
#include <optional>
#include <string>

namespace kv {

constexpr uint64_t PasswordScrambleKey = 41263;
// The update check's user agent hides the host name with the same scrambling from another key.
constexpr uint64_t HostNameScrambleKey = 8394;

// Errors are logged ("enc1 ", "dec1 ") and give an empty result.
std::string ScramblePassword(const std::string& text, uint64_t startKey = PasswordScrambleKey);
std::string UnscramblePassword(const std::string& stored,
                               uint64_t startKey = PasswordScrambleKey);

// RFC 4648 Base64 with padding and no line breaks; nullopt for text that is not Base64.
std::string Base64Encode(const std::string& bytes);
std::optional<std::string> Base64Decode(const std::string& text);

}  // namespace kv
