// The update server's replies: the release information, split and judged, the question built
// from it, its installer address; the same bytes as a checksum file.
#include <string>

#include "FuzzSupport.h"
#include "publishing/update/ReleaseInfo.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The client refuses anything longer before it gets here.
  if (size > kv::MaxReleaseInfoBytes) return 0;
  const std::string reply(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = kv::SplitReplyLines(reply);
  size_t bytes = 0;
  for (const std::string& line : lines) {
    if (line.find('\n') != std::string::npos) kvfuzz::Fail("a line holds a line break");
    bytes += line.size();
  }
  if (bytes > size) kvfuzz::Fail("the lines hold more than the reply");

  const kv::tReleaseVerdict verdict = kv::JudgeRelease(lines, "2011-04-15");
  if ((verdict == kv::tReleaseVerdict::Unchanged) != (lines.size() <= 2))
    kvfuzz::Fail("a short reply judged, or a long one not");
  if (verdict == kv::tReleaseVerdict::Newer) {
    const std::string question = kv::UpdateQuestion(lines, "New: %s", "Download?");
    if (question.size() > 2 * size + 64) kvfuzz::Fail("the question grew beyond the reply");
    const std::string name = kv::InstallerFileName(lines[2]);
    if (name.empty() || name.size() > 64 || name[0] == '.' ||
        name.find('/') != std::string::npos)
      kvfuzz::Fail("an unsafe installer file name");
    if (kv::IsHttpsAddress(lines[2]) && lines[2].size() <= 8) kvfuzz::Fail("an https address without a host");
  }

  const std::optional<std::string> digest = kv::ParseChecksum(reply);
  if (digest && (digest->size() != 64 ||
                 digest->find_first_not_of("0123456789abcdef") != std::string::npos))
    kvfuzz::Fail("a checksum that is not 64 lower-case hex digits");
  return 0;
}
