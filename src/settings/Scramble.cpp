#include "settings/Scramble.h"

#include <cstdint>
#include <stdexcept>

#include "core/EventLog.h"

namespace kv {

namespace {

constexpr uint64_t Multiplier = 36017;
constexpr uint64_t Increment = 19457;
constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The state is a signed 64-bit value in the stored format; unsigned arithmetic gives the same
// bits with defined wrap-around. The shift is arithmetic, so it is done on the signed value.
uint8_t KeyByte(uint64_t key) {
  return static_cast<uint8_t>((static_cast<int64_t>(key) >> 8) & 0xFF);
}

uint64_t NextKey(uint64_t key, uint8_t scrambled) {
  return (key + scrambled) * Multiplier + Increment;
}

int DecodeChar(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t j = 0; j < 3; ++j)
      group = (group << 8) | (j < n ? static_cast<uint8_t>(bytes[i + j]) : 0u);
    for (size_t j = 0; j < 4; ++j)
      out += j <= n ? Alphabet[(group >> (18 - 6 * j)) & 0x3F] : '=';
  }
  return out;
}

std::optional<std::string> Base64Decode(const std::string& text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t group = 0;
    int padding = 0;
    for (size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      // "=" only at the very end, at most two of them.
      if (c == '=' && i + 4 == text.size() && j >= 2) {
        ++padding;
        group <<= 6;
        continue;
      }
      const int v = DecodeChar(c);
      if (v < 0 || padding > 0) return std::nullopt;
      group = (group << 6) | static_cast<uint32_t>(v);
    }
    out += static_cast<char>((group >> 16) & 0xFF);
    if (padding < 2) out += static_cast<char>((group >> 8) & 0xFF);
    if (padding < 1) out += static_cast<char>(group & 0xFF);
  }
  return out;
}

std::string ScramblePassword(const std::string& text, uint64_t startKey) {
  try {
    std::string scrambled(text.size(), '\0');
    uint64_t key = startKey;
    for (size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<uint8_t>(static_cast<uint8_t>(text[i]) ^ KeyByte(key));
      scrambled[i] = static_cast<char>(c);
      key = NextKey(key, c);
    }
    return Base64Encode(scrambled);
  } catch (const std::exception& e) {
    LogError("enc1 ", e);
    return {};
  }
}

std::string UnscramblePassword(const std::string& stored, uint64_t startKey) {
  try {
    const std::optional<std::string> scrambled = Base64Decode(stored);
    if (!scrambled) throw std::runtime_error("not a Base64 text");
    std::string text(scrambled->size(), '\0');
    uint64_t key = startKey;
    for (size_t i = 0; i < scrambled->size(); ++i) {
      const auto c = static_cast<uint8_t>((*scrambled)[i]);
      text[i] = static_cast<char>(c ^ KeyByte(key));
      key = NextKey(key, c);
    }
    return text;
  } catch (const std::exception& e) {
    LogError("dec1 ", e);
    return {};
  }
}

}  // namespace kv
