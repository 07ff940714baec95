// The -lh5- codec in process: what goes in comes out, for every kind of
// input, and the encoder really uses the whole window and the longest match.
// Cut and damaged streams are the hostile archives' tests (through the real
// tool) and the fuzz target's.
#include <gtest/gtest.h>

#include "helpers.h"
#include "lh5/lh5.h"

using testutil::Bytes;

namespace {

Bytes repeated(const Bytes &block, int times) {
  Bytes out;
  for (int i = 0; i < times; i++) out.insert(out.end(), block.begin(), block.end());
  return out;
}

}  // namespace

TEST(Codec, EveryKindOfInputComesBackWholeAndShrinksAsItShould) {
  Bytes pattern, block = testutil::randomBytes(lh5::WINDOW_SIZE, 3),
                 far = testutil::randomBytes(lh5::WINDOW_SIZE + 1, 4);
  for (int i = 0; i < 100000; i++) pattern.push_back(uint8_t(i % 7 * 31));
  Bytes picture = testutil::picture(9);
  Bytes part(picture.begin(), picture.begin() + 20000);
  const struct {
    const char *what;
    Bytes data;
    unsigned blockCodes;  // codes per Huffman block; 0: the encoder's choice
    size_t maxPacked;     // 0: no bound
    size_t minPacked;
  } cases[] = {
      {"one byte", {0x42}, 0, 0, 1},
      {"a run of 300000", Bytes(300000, 'a'), 0, 600, 0},  // matches of at most 256: ~1200 short codes
      {"a pattern", pattern, 0, 0, 0},
      {"noise", testutil::randomBytes(300000, 2), 0, 306000, 0},
      {"a picture", testutil::picture(1), 0, 196623 * 3 / 4, 0},
      {"repeats exactly at the window's edge", repeated(block, 4), 0, 8192 + 2048, 0},
      {"repeats one byte beyond it", repeated(far, 4), 0, 0, 8193 * 4 * 9 / 10},
      {"blocks of one code", part, 1, 0, 0},
      {"blocks of 100 codes", Bytes(257, 'z'), 100, 0, 0},  // a literal and the longest match
      {"blocks of 4097 codes", picture, 4097, 0, 0},
      {"blocks of 65535 codes", picture, 65535, 0, 0},
      {"blocks of a single symbol", Bytes(5000, 7), 3, 0, 0},
  };
  EXPECT_TRUE(lh5::compress(nullptr, 0).empty());
  for (const auto &c : cases) {
    lh5::EncodeOptions options;
    options.maxBlockCodes = c.blockCodes;
    Bytes packed = lh5::compress(c.data.data(), c.data.size(), options);
    Bytes out(c.data.size(), 0xEE);
    lh5::DecodeStatus status = lh5::decompressToBuffer(packed.data(), packed.size(), out.data(), out.size());
    EXPECT_EQ(status, lh5::DecodeStatus::ok) << c.what << ": " << lh5::describe(status);
    EXPECT_TRUE(out == c.data) << c.what;
    EXPECT_TRUE(c.maxPacked == 0 || packed.size() < c.maxPacked) << c.what << ": " << packed.size();
    EXPECT_GE(packed.size(), c.minPacked) << c.what;
  }
}
