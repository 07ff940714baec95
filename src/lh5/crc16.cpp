// CRC-16 of LHA members (the "ARC" CRC: polynomial 0x8005 reflected, start 0),
// eight bytes per step through eight tables: extraction checks every byte.
#include <cstring>

#include "lh5/lh5.h"

namespace lh5 {
namespace {

struct CrcTables {
  uint16_t t[8][256];
  CrcTables() {
    for (unsigned i = 0; i < 256; i++) {
      unsigned c = i;
      for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
      t[0][i] = (uint16_t)c;
    }
    for (unsigned i = 0; i < 256; i++)
      for (int k = 1; k < 8; k++) t[k][i] = (uint16_t)((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  }
};

const CrcTables tables;

}  // namespace

uint16_t crc16(const uint8_t *data, size_t size, uint16_t crc) {
  const auto &t = tables.t;
  unsigned c = crc;
  while (size >= 8) {
    uint32_t lo, hi;
    memcpy(&lo, data, 4);
    memcpy(&hi, data + 4, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    lo = __builtin_bswap32(lo);
    hi = __builtin_bswap32(hi);
#endif
    lo ^= c;
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
        t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    data += 8;
    size -= 8;
  }
  while (size--) c = (c >> 8) ^ t[0][(c ^ *data++) & 0xFF];
  return (uint16_t)c;
}

}  // namespace lh5
