// Fuzzes what the program and the lh5 tool do with an archive they are
// given: header parsing, then the -lh5- decoder on each member's data (its
// output bounded so that a claimed 4 GiB member cannot exhaust memory), and
// the raw decoder on the input as a bare stream of a size taken from it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/lh5/lh5.h"

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
    Bounded b{1u << 22};
    lh5::decompress(data + h.dataOffset, h.packedSize, h.originalSize, consume, &b);
    pos = h.dataOffset + h.packedSize;
  }
  // As a bare stream: the first two bytes give the unpacked size.
  if (size >= 2) {
    uint64_t outSize = (uint64_t)(data[0] | data[1] << 8) * 16;
    Bounded b{1u << 22};
    lh5::decompress(data + 2, size - 2, outSize, consume, &b);
  }
  return 0;
}
