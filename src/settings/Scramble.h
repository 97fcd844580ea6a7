#pragma once
// Reversible scrambling of the passwords stored in KVServer.ini. It hides them from a casual
// look at the file; it is not encryption.
#include <optional>
#include <string>

namespace kv {

// Errors are logged ("enc1 ", "dec1 ") and give an empty result.
std::string ScramblePassword(const std::string& text);
std::string UnscramblePassword(const std::string& stored);

// RFC 4648 Base64 with padding and no line breaks; nullopt for text that is not Base64.
std::string Base64Encode(const std::string& bytes);
std::optional<std::string> Base64Decode(const std::string& text);

}  // namespace kv
