// The -lh5- decoder.
//
// Speed: a 64-bit bit buffer refilled once per code, Huffman codes looked up
// in one table step (two for long codes), and the output decoded straight
// into a large window that holds the last 8 KiB before it, so that matches
// are plain forward copies without wrap-around or bounds checks.
//
// Hostile input: every count and run in the block headers is checked before
// it is used, over-subscribed Huffman codes are refused, a code that falls
// into a hole of an incomplete code is an error, a block of zero codes is an
// error, and reading past the end of the input stops the decoding at once
// (so a member size far beyond the data cannot make it run on).
#include <algorithm>
#include <cstring>
#include <memory>

#include "lh5/format.h"
#include "lh5/lh5.h"

namespace lh5 {
namespace {

// A decoding table entry: symbol (or subtable start) in bits 0-15, code
// length in bits 16-20, flags above.
constexpr uint32_t ENTRY_VALID = 1u << 24;
constexpr uint32_t ENTRY_SUBTABLE = 1u << 25;

constexpr int C_ROOT_BITS = 12;
constexpr int P_ROOT_BITS = 8;  // also used for the T tree

// Root table of 2^rootBits entries; codes longer than rootBits continue in a
// subtable of 2^(16 - rootBits) entries, indexed by the following bits.
template <int ROOT_BITS, int SYMBOLS>
struct HuffmanTable {
  static constexpr int SUB_BITS = MAX_CODE_LENGTH - ROOT_BITS;
  uint32_t entries[(1 << ROOT_BITS) + SYMBOLS * (1 << SUB_BITS)];
};

// Builds the table from code lengths. False for an over-subscribed code.
template <int ROOT_BITS, int SYMBOLS>
bool buildTable(HuffmanTable<ROOT_BITS, SYMBOLS> &table, const uint8_t *lengths, int count) {
  constexpr int SUB_BITS = MAX_CODE_LENGTH - ROOT_BITS;
  unsigned perLength[MAX_CODE_LENGTH + 1] = {};
  for (int i = 0; i < count; i++) perLength[lengths[i]]++;
  uint32_t next[MAX_CODE_LENGTH + 2];
  uint32_t code = 0;
  for (int len = 1; len <= MAX_CODE_LENGTH; len++) {
    next[len] = code;
    code = (code + perLength[len]) << 1;
  }
  // Kraft sum over 2^16: more than the whole code space is no prefix code.
  uint64_t space = 0;
  for (int len = 1; len <= MAX_CODE_LENGTH; len++) space += (uint64_t)perLength[len] << (MAX_CODE_LENGTH - len);
  if (space > (1u << MAX_CODE_LENGTH)) return false;

  uint32_t *root = table.entries;
  std::fill(root, root + (1 << ROOT_BITS), 0u);
  uint32_t nextSub = 1 << ROOT_BITS;
  for (int sym = 0; sym < count; sym++) {
    int len = lengths[sym];
    if (!len) continue;
    uint32_t c = next[len]++;
    uint32_t entry = ENTRY_VALID | ((uint32_t)len << 16) | (uint32_t)sym;
    if (len <= ROOT_BITS) {
      uint32_t first = c << (ROOT_BITS - len);
      uint32_t n = 1u << (ROOT_BITS - len);
      for (uint32_t k = 0; k < n; k++) root[first + k] = entry;
    } else {
      uint32_t prefix = c >> (len - ROOT_BITS);
      if (!(root[prefix] & ENTRY_SUBTABLE)) {
        root[prefix] = ENTRY_SUBTABLE | nextSub;
        std::fill(table.entries + nextSub, table.entries + nextSub + (1 << SUB_BITS), 0u);
        nextSub += 1 << SUB_BITS;
      }
      uint32_t *sub = table.entries + (root[prefix] & 0xFFFF);
      uint32_t low = (c << (MAX_CODE_LENGTH - len)) & ((1u << SUB_BITS) - 1);
      uint32_t n = 1u << (MAX_CODE_LENGTH - len);
      for (uint32_t k = 0; k < n; k++) sub[low + k] = entry;
    }
  }
  return true;
}

// Every code decodes to sym and takes no bits: the form a block uses when
// only one symbol occurs.
template <int ROOT_BITS, int SYMBOLS>
void buildSingle(HuffmanTable<ROOT_BITS, SYMBOLS> &table, int sym) {
  std::fill(table.entries, table.entries + (1 << ROOT_BITS), ENTRY_VALID | (uint32_t)sym);
}

// Tops the bit buffer up to at least 56 bits from 8 readable input bytes.
// Takes the buffer as references so that the hot loop can keep it in locals.
inline void refillFromEightBytes(uint64_t &bits, int &count, const uint8_t *&p) {
  uint64_t v;
  memcpy(&v, p, 8);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  bits |= v >> count;
  int bytes = (63 - count) >> 3;
  p += bytes;
  count += bytes * 8;
}

struct BitReader {
  const uint8_t *p;
  const uint8_t *end;
  uint64_t bits = 0;    // next bits, most significant first
  int count = 0;        // how many of them are real
  int padding = 0;      // zero bits appended after the end of the input
  bool overrun = false; // bits past the end of the input were used

  // Makes at least 56 bits available.
  inline void refill() {
    if (end - p >= 8) {
      refillFromEightBytes(bits, count, p);
      return;
    }
    slowRefill();
  }
  void slowRefill() {
    // Padding bits that have left the buffer were consumed: the stream was
    // cut short.
    if (padding > count) overrun = true;
    while (count <= 56) {
      uint64_t b = 0;
      if (p < end)
        b = *p++;
      else
        padding += 8;
      bits |= b << (56 - count);
      count += 8;
    }
  }
  inline uint32_t peek16() const { return (uint32_t)(bits >> 48); }
  inline void skip(int n) {
    bits <<= n;
    count -= n;
  }
  // n from 1 to 16; the caller has refilled.
  inline uint32_t take(int n) {
    uint32_t v = (uint32_t)(bits >> (64 - n));
    skip(n);
    return v;
  }
  uint32_t get(int n) {
    if (count < n) refill();
    return take(n);
  }
  bool exhausted() const { return overrun || padding > count; }
};

template <int ROOT_BITS, int SYMBOLS>
inline uint32_t lookup(const HuffmanTable<ROOT_BITS, SYMBOLS> &table, uint32_t window16) {
  uint32_t e = table.entries[window16 >> (MAX_CODE_LENGTH - ROOT_BITS)];
  if (e & ENTRY_SUBTABLE)
    e = table.entries[(e & 0xFFFF) + (window16 & ((1u << (MAX_CODE_LENGTH - ROOT_BITS)) - 1))];
  return e;
}

constexpr size_t HISTORY = WINDOW_SIZE;
constexpr size_t MAX_BUFFER_BODY = 1 << 18;            // decoded bytes between flushes
constexpr size_t BUFFER_SLACK = MAX_MATCH + 16;         // a match may run past the flush mark

using CTable = HuffmanTable<C_ROOT_BITS, NC>;
using PTable = HuffmanTable<P_ROOT_BITS, NT>;  // T and P trees (NT > NP)

struct Decoder {
  BitReader in;
  CTable cTable;
  PTable pTable;
  PTable tTable;
  uint8_t cLengths[NC];
  uint8_t ptLengths[NT];
};

// Lengths of the T or P tree. special: after that many lengths, two bits give
// a run of zero lengths (the T tree only; -1 for none).
bool readPtLengths(Decoder &d, PTable &table, int symbols, int countBits, int special) {
  BitReader &in = d.in;
  int n = (int)in.get(countBits);
  if (n == 0) {
    int sym = (int)in.get(countBits);
    if (sym >= symbols) return false;
    buildSingle(table, sym);
    return true;
  }
  if (n > symbols) return false;
  int i = 0;
  while (i < n) {
    in.refill();
    uint32_t w = in.peek16();
    int len = (int)(w >> 13);
    if (len == 7) {
      // 7 and up: "111" followed by (len - 7) one bits and a zero bit.
      uint32_t mask = 1u << 12;
      while (w & mask) {
        len++;
        mask >>= 1;
      }
      if (len > MAX_CODE_LENGTH) return false;
      in.skip(len - 3);
    } else {
      in.skip(3);
    }
    d.ptLengths[i++] = (uint8_t)len;
    if (i == special) {
      int zeros = (int)in.get(2);
      if (i + zeros > symbols) return false;
      while (zeros--) d.ptLengths[i++] = 0;
    }
  }
  while (i < symbols) d.ptLengths[i++] = 0;
  return buildTable(table, d.ptLengths, symbols);
}

bool readCLengths(Decoder &d) {
  BitReader &in = d.in;
  int n = (int)in.get(CBIT);
  if (n == 0) {
    int sym = (int)in.get(CBIT);
    if (sym >= NC) return false;
    buildSingle(d.cTable, sym);
    return true;
  }
  if (n > NC) return false;
  int i = 0;
  while (i < n) {
    in.refill();
    uint32_t e = lookup(d.tTable, in.peek16());
    if (!(e & ENTRY_VALID)) return false;
    in.skip((e >> 16) & 0x1F);
    int c = (int)(e & 0xFFFF);
    if (c <= 2) {
      int run = c == 0 ? 1 : c == 1 ? (int)in.get(4) + 3 : (int)in.get(CBIT) + 20;
      if (i + run > NC) return false;
      memset(d.cLengths + i, 0, run);
      i += run;
    } else {
      d.cLengths[i++] = (uint8_t)(c - 2);
    }
  }
  if (i < NC) memset(d.cLengths + i, 0, NC - i);
  return buildTable(d.cTable, d.cLengths, NC);
}

bool readBlockHeader(Decoder &d, uint32_t *codes) {
  *codes = d.in.get(16);
  if (*codes == 0) return false;
  return readPtLengths(d, d.tTable, NT, TBIT, T_SPECIAL) && readCLengths(d) &&
         readPtLengths(d, d.pTable, NP, PBIT, -1);
}

}  // namespace

DecodeStatus decompress(const uint8_t *input, size_t inSize, uint64_t outSize, Sink sink, void *context) {
  if (outSize == 0) return DecodeStatus::ok;
  std::unique_ptr<Decoder> owner(new Decoder);
  Decoder &d = *owner;
  BitReader &in = d.in;
  in.p = input;
  in.end = input + inSize;
  in.refill();

  // Small members need no large window.
  const size_t BUFFER_BODY = outSize < MAX_BUFFER_BODY ? (size_t)outSize : MAX_BUFFER_BODY;
  std::unique_ptr<uint8_t[]> window(new uint8_t[HISTORY + BUFFER_BODY + BUFFER_SLACK]);
  uint8_t *const buf = window.get();
  // Before the first byte the window holds spaces, as in every LHA decoder.
  memset(buf, ' ', HISTORY);
  uint8_t *out = buf + HISTORY;
  uint8_t *const flushMark = buf + HISTORY + BUFFER_BODY;
  uint64_t remaining = outSize;  // bytes not yet handed to the sink
  uint32_t blockCodes = 0;

  for (;;) {
    uint8_t *const start = buf + HISTORY;  // out == start here
    uint8_t *stop = remaining < BUFFER_BODY ? start + remaining : flushMark;
    // The hot loop: one code (and its match) per turn. The bit buffer lives
    // in locals here: stores through out could alias the reader's fields
    // and would force them through memory on every byte.
    uint64_t bits = in.bits;
    int count = in.count;
    const uint8_t *p = in.p;
    const uint8_t *const end = in.end;
    const uint32_t *const cEntries = d.cTable.entries;
    const uint32_t *const pEntries = d.pTable.entries;
    while (out < stop) {
      if (blockCodes == 0) {
        in.bits = bits, in.count = count, in.p = p;
        if (!readBlockHeader(d, &blockCodes)) return in.exhausted() ? DecodeStatus::truncated : DecodeStatus::corrupt;
        bits = in.bits, count = in.count, p = in.p;
      }
      blockCodes--;
      if (end - p >= 8) {
        refillFromEightBytes(bits, count, p);
      } else {
        in.bits = bits, in.count = count, in.p = p;
        in.slowRefill();
        if (in.overrun) return DecodeStatus::truncated;
        bits = in.bits, count = in.count, p = in.p;
      }
      uint32_t window16 = (uint32_t)(bits >> 48);
      uint32_t e = cEntries[window16 >> (MAX_CODE_LENGTH - C_ROOT_BITS)];
      if (e & ENTRY_SUBTABLE) e = cEntries[(e & 0xFFFF) + (window16 & ((1u << (MAX_CODE_LENGTH - C_ROOT_BITS)) - 1))];
      if (!(e & ENTRY_VALID)) return DecodeStatus::corrupt;
      int used = (int)((e >> 16) & 0x1F);
      bits <<= used;
      count -= used;
      uint32_t c = e & 0xFFFF;
      if (c < 256) {
        *out++ = (uint8_t)c;
        continue;
      }
      uint32_t length = c - 256 + MIN_MATCH;
      window16 = (uint32_t)(bits >> 48);
      uint32_t pe = pEntries[window16 >> (MAX_CODE_LENGTH - P_ROOT_BITS)];
      if (pe & ENTRY_SUBTABLE) pe = pEntries[(pe & 0xFFFF) + (window16 & ((1u << (MAX_CODE_LENGTH - P_ROOT_BITS)) - 1))];
      if (!(pe & ENTRY_VALID)) return DecodeStatus::corrupt;
      used = (int)((pe >> 16) & 0x1F);
      bits <<= used;
      count -= used;
      uint32_t pcode = pe & 0xFFFF;
      uint32_t distance = pcode + 1;  // codes 0 and 1 are distances 1 and 2
      if (pcode > 1) {
        int extra = (int)pcode - 1;
        distance = ((1u << extra) | (uint32_t)(bits >> (64 - extra))) + 1;
        bits <<= extra;
        count -= extra;
      }
      const uint8_t *from = out - distance;
      uint8_t *to = out;
      out += length;
      if (distance >= 8) {
        // Whole words; may write up to 7 bytes past the match (slack holds them).
        do {
          memcpy(to, from, 8);
          to += 8;
          from += 8;
        } while (to < out);
      } else if (distance == 1) {
        memset(to, *from, length);
      } else {
        for (uint32_t k = 0; k < length; k++) to[k] = from[k];
      }
    }
    in.bits = bits, in.count = count, in.p = p;
    if (in.exhausted()) return DecodeStatus::truncated;
    // Everything decoded so far goes out, a match's bytes past the mark too.
    size_t produced = (size_t)(out - start);
    size_t give = produced < remaining ? produced : (size_t)remaining;
    if (!sink(context, start, give)) return DecodeStatus::sinkFailed;
    remaining -= give;
    if (remaining == 0) return DecodeStatus::ok;
    // The last 8 KiB stay in front of the next piece for later matches.
    memmove(buf, out - HISTORY, HISTORY);
    out = buf + HISTORY;
  }
}

namespace {
struct BufferSink {
  uint8_t *out;
  size_t left;
};
bool toBuffer(void *context, const uint8_t *data, size_t size) {
  auto *s = static_cast<BufferSink *>(context);
  if (size > s->left) return false;
  memcpy(s->out, data, size);
  s->out += size;
  s->left -= size;
  return true;
}
}  // namespace

DecodeStatus decompressToBuffer(const uint8_t *in, size_t inSize, uint8_t *out, size_t outSize) {
  BufferSink s{out, outSize};
  return decompress(in, inSize, outSize, toBuffer, &s);
}

const char *describe(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::ok: return "ok";
    case DecodeStatus::truncated: return "packed data ends early";
    case DecodeStatus::corrupt: return "packed data is corrupt";
    case DecodeStatus::sinkFailed: return "cannot write the output";
  }
  return "?";
}

}  // namespace lh5
