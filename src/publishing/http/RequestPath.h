#pragma once
// From a request's target to a file the server may read. Pure functions without other layers,
// so the fuzz harness compiles this file on its own.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

// The path part of a request target (query and fragment dropped), percent-decoded. nullopt for
// a broken escape or a NUL anywhere: such a request names nothing.
std::optional<std::string> DecodeRequestPath(std::string_view target);

// The document name the handler looks up: backslashes read as "/", every ".." removed, lower
// case, every "./" removed, one leading "/" removed, "" or "." taken as "index.html", one
// trailing "/" removed. Shaping only: it does not make the name safe by itself.
std::string DocName(std::string_view path);

// root + "/" + doc with every link resolved, when that exists and lies inside the resolved
// root (the root itself included); empty otherwise. doc is never read as absolute.
std::string ConfinedPath(const std::string& root, const std::string& doc);
// The same inside a root whose links ResolvedPath has resolved already.
std::string ConfinedPathIn(const std::string& resolvedRoot, const std::string& doc);
// path with every link resolved; empty when it does not exist.
std::string ResolvedPath(const std::string& path);

// The one range a Range header asks of a body of size bytes, clipped to it: nullopt when the
// header asks for no single range (absent, another unit, several: the whole body), unsatisfiable
// when nothing of it lies inside.
struct tByteRange {
  bool satisfiable = false;
  uint64_t first = 0, last = 0;
};
std::optional<tByteRange> RequestedRange(std::string_view header, uint64_t size);

// doc with each component that does not exist as spelled replaced by the first entry of its
// folder that equals it without regard to ASCII case, so lower-cased names still find
// "Chart.PNG". Components that match nothing stay as they are. Confine the result afterwards.
std::string MatchCase(const std::string& root, const std::string& doc);

}  // namespace kv
