// The -lh5- codec in process: what goes in comes out, for every kind of
// input, the encoder really uses the whole window and the longest match,
// and the decoder stops on cut, inflated and damaged streams.
#include <gtest/gtest.h>

#include <functional>

#include "helpers.h"
#include "platform/lh5/lh5.h"

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
    if (c.maxPacked) {
      EXPECT_LT(packed.size(), c.maxPacked) << c.what;
    }
    EXPECT_GE(packed.size(), c.minPacked) << c.what;
  }
}

TEST(Codec, TheDecoderStopsOnCutInflatedAndDamagedStreams) {
  Bytes pic = testutil::picture(5);
  Bytes packed = lh5::compress(pic.data(), pic.size());
  Bytes out(pic.size());
  for (size_t keep : {size_t(0), size_t(1), size_t(2), size_t(10), packed.size() / 2, packed.size() - 1})
    EXPECT_EQ(lh5::decompressToBuffer(packed.data(), keep, out.data(), out.size()), lh5::DecodeStatus::truncated)
        << keep;
  // A claimed size far beyond what the data holds ends as soon as the data does.
  uint64_t produced = 0;
  auto count = [](void *c, const uint8_t *, size_t n) {
    *static_cast<uint64_t *>(c) += n;
    return true;
  };
  EXPECT_EQ(lh5::decompress(packed.data(), packed.size(), 1ull << 40, count, &produced), lh5::DecodeStatus::truncated);
  EXPECT_LT(produced, pic.size() + (1u << 20));
  // Damage shows (the member's CRC catches the rest).
  std::mt19937 rng(7);
  int failures = 0;
  for (int round = 0; round < 300; round++) {
    Bytes bad = packed;
    for (int k = 0; k < 1 + round % 4; k++)
      bad[rng() % std::min<size_t>(bad.size(), 64 + round * 40)] ^= uint8_t(1 + rng() % 255);
    lh5::DecodeStatus status = lh5::decompressToBuffer(bad.data(), bad.size(), out.data(), out.size());
    failures += status != lh5::DecodeStatus::ok || out != pic;
  }
  EXPECT_GT(failures, 250);
}
