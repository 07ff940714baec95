// The -lh5- codec in process: what goes in comes out, for every kind of
// input, and the encoder really uses the whole window and the longest match.
#include <gtest/gtest.h>

#include "helpers.h"
#include "platform/lh5/lh5.h"

using testutil::Bytes;

namespace {

Bytes roundTrip(const Bytes &in, const lh5::EncodeOptions &options = {}, size_t *packedSize = nullptr) {
  Bytes packed = lh5::compress(in.data(), in.size(), options);
  if (packedSize) *packedSize = packed.size();
  Bytes out(in.size(), 0xEE);
  lh5::DecodeStatus status = lh5::decompressToBuffer(packed.data(), packed.size(), out.data(), out.size());
  EXPECT_EQ(status, lh5::DecodeStatus::ok) << lh5::describe(status);
  return out;
}

}  // namespace

TEST(Crc16, MatchesTheKnownCheckValue) {
  const char *text = "123456789";
  EXPECT_EQ(lh5::crc16(reinterpret_cast<const uint8_t *>(text), 9), 0xBB3D);  // CRC-16/ARC check value
  // In pieces the same as in one go, whatever the cut.
  Bytes data = testutil::randomBytes(1000, 1);
  uint16_t whole = lh5::crc16(data.data(), data.size());
  for (size_t cut : {0, 1, 7, 8, 9, 500, 999})
    EXPECT_EQ(lh5::crc16(data.data() + cut, data.size() - cut, lh5::crc16(data.data(), cut)), whole) << cut;
}

TEST(Codec, EmptyAndOneByteInputsRoundTrip) {
  EXPECT_TRUE(lh5::compress(nullptr, 0).empty());
  Bytes one = {0x42};
  size_t packed = 0;
  EXPECT_EQ(roundTrip(one, {}, &packed), one);
  EXPECT_GT(packed, 0u);
}

TEST(Codec, RepetitiveInputShrinksToAlmostNothingAndUsesTheLongestMatch) {
  Bytes same(300000, 'a');
  size_t packed = 0;
  EXPECT_EQ(roundTrip(same, {}, &packed), same);
  // Matches of at most 256 bytes: about 1200 codes of a bit or two.
  EXPECT_LT(packed, 600u);
  // A run of exactly 257 bytes: one literal and one match of the longest length.
  Bytes run(257, 'z');
  EXPECT_EQ(roundTrip(run, {}, &packed), run);
  Bytes pattern;
  for (int i = 0; i < 100000; i++) pattern.push_back((uint8_t)(i % 7 * 31));
  EXPECT_EQ(roundTrip(pattern), pattern);
}

TEST(Codec, IncompressibleInputRoundTripsWithLittleGrowth) {
  Bytes noise = testutil::randomBytes(300000, 2);
  size_t packed = 0;
  EXPECT_EQ(roundTrip(noise, {}, &packed), noise);
  EXPECT_LT(packed, noise.size() + noise.size() / 50);
}

TEST(Codec, PicturesRoundTripAndShrink) {
  for (uint32_t seed = 1; seed <= 4; seed++) {
    Bytes pic = testutil::picture(seed);
    size_t packed = 0;
    EXPECT_EQ(roundTrip(pic, {}, &packed), pic);
    EXPECT_LT(packed, pic.size() * 3 / 4);
  }
}

TEST(Codec, MatchesReachExactlyTheWindowEdge) {
  // A random block repeated: the only repeats are a block length away.
  Bytes block = testutil::randomBytes(lh5::WINDOW_SIZE, 3);
  Bytes edge;
  for (int i = 0; i < 4; i++) edge.insert(edge.end(), block.begin(), block.end());
  size_t packed = 0;
  EXPECT_EQ(roundTrip(edge, {}, &packed), edge);
  EXPECT_LT(packed, block.size() + block.size() / 4) << "matches at distance 8192 were not used";
  // One byte farther is out of reach: nothing to gain, and still correct.
  Bytes far = testutil::randomBytes(lh5::WINDOW_SIZE + 1, 4);
  Bytes beyond;
  for (int i = 0; i < 4; i++) beyond.insert(beyond.end(), far.begin(), far.end());
  EXPECT_EQ(roundTrip(beyond, {}, &packed), beyond);
  EXPECT_GT(packed, beyond.size() * 9 / 10);
}

TEST(Codec, ManySmallBlocksPerMemberRoundTrip) {
  Bytes pic = testutil::picture(9);
  lh5::EncodeOptions options;
  Bytes part(pic.begin(), pic.begin() + 20000);
  for (unsigned blockCodes : {1u, 2u, 100u}) {
    options.maxBlockCodes = blockCodes;
    EXPECT_EQ(roundTrip(part, options), part) << blockCodes;
  }
  for (unsigned blockCodes : {4097u, 65535u}) {
    options.maxBlockCodes = blockCodes;
    EXPECT_EQ(roundTrip(pic, options), pic) << blockCodes;
  }
  // Blocks that hold a single literal value or a single match length use the
  // one-symbol table form.
  Bytes same(5000, 7);
  options.maxBlockCodes = 3;
  EXPECT_EQ(roundTrip(same, options), same);
}

TEST(Codec, DecoderStopsOnTruncatedOrInflatedStreams) {
  Bytes pic = testutil::picture(5);
  Bytes packed = lh5::compress(pic.data(), pic.size());
  Bytes out(pic.size());
  for (size_t keep : {(size_t)0, (size_t)1, (size_t)2, (size_t)10, packed.size() / 2, packed.size() - 1})
    EXPECT_EQ(lh5::decompressToBuffer(packed.data(), keep, out.data(), out.size()), lh5::DecodeStatus::truncated)
        << keep;
  // A claimed size far beyond what the data holds ends as soon as the data does.
  struct Counter {
    uint64_t bytes = 0;
  } counter;
  auto count = [](void *c, const uint8_t *, size_t n) {
    static_cast<Counter *>(c)->bytes += n;
    return true;
  };
  EXPECT_EQ(lh5::decompress(packed.data(), packed.size(), 1ull << 40, count, &counter),
            lh5::DecodeStatus::truncated);
  EXPECT_LT(counter.bytes, pic.size() + (1u << 20));
}

TEST(Codec, DecoderSurvivesDamagedStreams) {
  Bytes pic = testutil::picture(6);
  Bytes packed = lh5::compress(pic.data(), pic.size());
  Bytes out(pic.size());
  std::mt19937 rng(7);
  int failures = 0;
  for (int round = 0; round < 300; round++) {
    Bytes bad = packed;
    for (int k = 0; k < 1 + round % 4; k++) bad[rng() % std::min<size_t>(bad.size(), 64 + round * 40)] ^= (uint8_t)(1 + rng() % 255);
    lh5::DecodeStatus status = lh5::decompressToBuffer(bad.data(), bad.size(), out.data(), out.size());
    if (status != lh5::DecodeStatus::ok || out != pic) failures++;
  }
  EXPECT_GT(failures, 250);  // damage shows (the CRC catches the rest)
}
