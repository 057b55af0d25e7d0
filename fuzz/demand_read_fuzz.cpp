// A file read through its prefix, with bounded reads as the parsers ask for bytes, gives the
// record its bytes in memory give, whatever they hold. The input is made larger than what is
// read at once: the first two bytes (little-endian) choose where 80 KiB of filler go.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "metadata/pipeline/read.h"
#include "support/same_record.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

constexpr std::size_t kFiller = 80 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::size_t body = size - 2;
  const std::size_t at = (data[0] | std::size_t{data[1]} << 8) % (body + 1);
  std::vector<uint8_t> file(data + 2, data + 2 + at);
  for (std::size_t i = 0; i < kFiller; ++i) file.push_back(static_cast<uint8_t>(i * 7 + 1));
  file.insert(file.end(), data + 2 + at, data + size);

  static const std::string path = "/tmp/orvel-demand-fuzz-" + std::to_string(::getpid());
  std::FILE* out = std::fopen(path.c_str(), "wb");
  check(out != nullptr && std::fwrite(file.data(), 1, file.size(), out) == file.size());
  std::fclose(out);
  const auto fromFile =
      orvel::metadata::pipeline::readMetadata(path, orvel::metadata::pipeline::kDefaultReadPrefix);
  check(orvel::testing::sameRecord(fromFile, orvel::metadata::pipeline::readMetadataFromBytes(file)));
  return 0;
}
