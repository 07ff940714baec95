// Fuzzes what the program and the lh5 tool do with an archive they are
// given: header parsing, then the -lh5- decoder on each member's data (its
// output bounded so that a claimed 4 GiB member cannot exhaust memory), and
// the raw decoder on the input as a bare stream of a size taken from it.
// Finally the input goes through the encoder and must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lh5/lh5.h"

namespace {

struct Bounded {
  uint64_t left;
  uint16_t crc = 0;
};

bool consume(void *context, const uint8_t *data, size_t size) {
  auto *b = static_cast<Bounded *>(context);
  if (size > b->left) return false;
  b->left -= size;
  b->crc = lh5::crc16(data, size, b->crc);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // As an archive.
  size_t pos = 0;
  for (int members = 0; members < 64; members++) {
    lh5::MemberHeader h;
    std::string error;
    if (lh5::readHeader(data, size, pos, &h, &error) != lh5::HeaderResult::member) break;
    lh5::isSafeMemberName(h.name);
    Bounded b{1u << 20};
    lh5::decompress(data + h.dataOffset, h.packedSize, h.originalSize, consume, &b);
    pos = h.dataOffset + h.packedSize;
  }
  // As a bare stream: the first two bytes give the unpacked size.
  if (size >= 2) {
    uint64_t outSize = (uint64_t)(data[0] | data[1] << 8) * 16;
    Bounded b{1u << 20};
    lh5::decompress(data + 2, size - 2, outSize, consume, &b);
  }
  // Round trip, with small blocks now and then to reach the block edges.
  lh5::EncodeOptions options;
  options.maxChain = 64;
  if (size > 0 && data[0] < 16) options.maxBlockCodes = 1 + data[0] * 7u;
  std::vector<uint8_t> packed = lh5::compress(data, size, options);
  std::vector<uint8_t> back(size);
  if (lh5::decompressToBuffer(packed.data(), packed.size(), back.data(), size) != lh5::DecodeStatus::ok ||
      (size && memcmp(back.data(), data, size) != 0))
    abort();
  return 0;
}
