// The -lh5- encoder.
//
// Matches are found through hash chains over three-byte prefixes. A first
// parse chooses lazily (a match is taken only when the next position does
// not start a longer one; short matches far away are dropped). Its code
// statistics then price every choice, and a parse by price finds the
// cheapest coding under those prices; that is done twice, each round priced
// by the one before. The codes are cut into Huffman blocks of several sizes
// in turn, and the smallest result of all is kept. Encoding runs at build
// time, so it spends time for size; the speed that matters is decoding.
#include <algorithm>
#include <cstring>
#include <queue>

#include "lh5/format.h"
#include "lh5/lh5.h"

namespace lh5 {
namespace {

// One code of the stream: a literal (c < 256) or a match (c = 256 + length - 3).
struct Token {
  uint16_t c;
  uint16_t distance;  // 1..8192 for a match
};

constexpr int MAX_HASH_BITS = 15;
constexpr size_t CHAIN_RING = 2 * WINDOW_SIZE;  // entries younger than the window never wrap
constexpr int FAR_SHORT_MATCH = 2048;           // a 3-byte match farther than this is not worth it

struct MatchFinder {
  const uint8_t *data;
  size_t size;
  int maxChain;
  int hashBits = hashBitsFor(size);
  std::vector<int32_t> head = std::vector<int32_t>((size_t)1 << hashBits, -1);
  size_t ringMask = ringSizeFor(size) - 1;
  std::vector<int32_t> prev = std::vector<int32_t>(ringMask + 1, -1);

  // Small inputs get small tables: setting them up would cost more than the search.
  static int hashBitsFor(size_t size) {
    int bits = 8;
    while (bits < MAX_HASH_BITS && ((size_t)1 << bits) < size) bits++;
    return bits;
  }
  static size_t ringSizeFor(size_t size) {
    size_t ring = 256;
    while (ring < CHAIN_RING && ring < size) ring *= 2;
    return ring;
  }

  uint32_t hash(size_t p) const {
    uint32_t v = (uint32_t)data[p] << 16 | (uint32_t)data[p + 1] << 8 | data[p + 2];
    return (v * 2654435761u) >> (32 - hashBits);
  }
  void insert(size_t p) {
    if (p + MIN_MATCH > size) return;
    uint32_t h = hash(p);
    prev[p & ringMask] = head[h];
    head[h] = (int32_t)p;
  }
  // Length of the common prefix of the bytes at a and b, at most limit.
  int common(size_t a, size_t b, int limit) const {
    int n = 0;
    while (n + 8 <= limit) {
      uint64_t x, y;
      memcpy(&x, data + a + n, 8);
      memcpy(&y, data + b + n, 8);
      if (x != y) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        return n + (__builtin_ctzll(x ^ y) >> 3);
#else
        return n + (__builtin_clzll(x ^ y) >> 3);
#endif
      }
      n += 8;
    }
    while (n < limit && data[a + n] == data[b + n]) n++;
    return n;
  }
  // The longest match at p longer than atLeast (0 when there is none).
  int find(size_t p, int atLeast, int *distance) const {
    if (p + MIN_MATCH > size) return 0;
    int limit = (int)std::min<size_t>(MAX_MATCH, size - p);
    int best = std::max(atLeast, MIN_MATCH - 1);
    if (best >= limit) return 0;
    int found = 0;
    int chain = atLeast >= 32 ? maxChain / 4 : maxChain;
    for (int32_t cand = head[hash(p)]; cand >= 0 && chain-- > 0; cand = prev[(size_t)cand & ringMask]) {
      size_t dist = p - (size_t)cand;
      if (dist > (size_t)WINDOW_SIZE) break;
      if (data[cand + best] != data[p + best] || data[cand] != data[p]) continue;
      int len = common((size_t)cand, p, limit);
      if (len > best) {
        best = len;
        found = len;
        *distance = (int)dist;
        if (len >= limit) break;
      }
    }
    return found;
  }
  // Every match length at p with the nearest distance that reaches it:
  // distances[len] for len from MIN_MATCH to the returned longest length.
  int findAll(size_t p, uint16_t *distances) const {
    if (p + MIN_MATCH > size) return 0;
    int limit = (int)std::min<size_t>(MAX_MATCH, size - p);
    int best = MIN_MATCH - 1;
    int chain = maxChain;
    for (int32_t cand = head[hash(p)]; cand >= 0 && chain-- > 0; cand = prev[(size_t)cand & ringMask]) {
      size_t dist = p - (size_t)cand;
      if (dist > (size_t)WINDOW_SIZE) break;
      if (data[cand + best] != data[p + best] || data[cand] != data[p]) continue;
      int len = common((size_t)cand, p, limit);
      for (int l = best + 1; l <= len; l++) distances[l] = (uint16_t)dist;
      if (len > best) {
        // Once a long match is in hand, farther ones rarely pay: look less.
        if (best < 32 && len >= 32) chain /= 4;
        best = len;
      }
      if (best >= limit) break;
    }
    return best >= MIN_MATCH ? best : 0;
  }
};

std::vector<Token> parse(const uint8_t *data, size_t size, int maxChain) {
  std::vector<Token> tokens;
  tokens.reserve(size / 2 + 16);
  MatchFinder mf{data, size, maxChain};
  auto worthIt = [](int len, int dist) { return len > MIN_MATCH || (len == MIN_MATCH && dist <= FAR_SHORT_MATCH); };
  size_t p = 0;
  bool pending = false;  // the byte at p - 1 waits for a decision
  int prevLen = 0, prevDist = 0;
  while (p < size) {
    int dist = 0;
    int len = prevLen >= MAX_MATCH ? 0 : mf.find(p, pending ? prevLen : 0, &dist);
    if (len && !worthIt(len, dist)) len = 0;
    mf.insert(p);
    if (pending && prevLen >= MIN_MATCH && len <= prevLen) {
      tokens.push_back({(uint16_t)(256 + prevLen - MIN_MATCH), (uint16_t)prevDist});
      size_t end = p - 1 + (size_t)prevLen;
      for (size_t q = p + 1; q < end; q++) mf.insert(q);
      p = end;
      pending = false;
      prevLen = 0;
    } else {
      if (pending) tokens.push_back({data[p - 1], 0});
      pending = true;
      prevLen = len;
      prevDist = dist;
      p++;
    }
  }
  if (pending) tokens.push_back({data[p - 1], 0});
  return tokens;
}

// Code lengths of at most MAX_CODE_LENGTH bits for the frequencies; returns
// how many symbols occur. With one symbol its length stays 0 (the block then
// uses the single-symbol form).
int makeLengths(const uint32_t *freq, int n, uint8_t *lengths) {
  std::fill(lengths, lengths + n, 0);
  std::vector<uint64_t> f(freq, freq + n);
  int used = 0;
  for (int i = 0; i < n; i++) used += f[i] != 0;
  if (used < 2) return used;
  for (;;) {
    // Huffman's construction; nodes 0..n-1 are leaves.
    std::vector<int> parent(2 * n, -1);
    using Node = std::pair<uint64_t, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
    for (int i = 0; i < n; i++)
      if (f[i]) heap.push({f[i], i});
    int next = n;
    while (heap.size() > 1) {
      Node a = heap.top();
      heap.pop();
      Node b = heap.top();
      heap.pop();
      parent[a.second] = parent[b.second] = next;
      heap.push({a.first + b.first, next++});
    }
    int longest = 0;
    for (int i = 0; i < n; i++) {
      if (!f[i]) continue;
      int depth = 0;
      for (int k = i; parent[k] >= 0; k = parent[k]) depth++;
      lengths[i] = (uint8_t)std::min(depth, 255);
      longest = std::max(longest, depth);
    }
    if (longest <= MAX_CODE_LENGTH) return used;
    // Too deep: flatten the frequencies and build again.
    for (int i = 0; i < n; i++)
      if (f[i]) f[i] = (f[i] + 1) / 2;
  }
}

void makeCodes(const uint8_t *lengths, int n, uint16_t *codes) {
  unsigned perLength[MAX_CODE_LENGTH + 1] = {};
  for (int i = 0; i < n; i++) perLength[lengths[i]]++;
  perLength[0] = 0;
  uint32_t next[MAX_CODE_LENGTH + 1];
  uint32_t code = 0;
  for (int len = 1; len <= MAX_CODE_LENGTH; len++) {
    next[len] = code;
    code = (code + perLength[len]) << 1;
  }
  for (int i = 0; i < n; i++) codes[i] = lengths[i] ? (uint16_t)next[lengths[i]]++ : 0;
}

struct BitWriter {
  std::vector<uint8_t> &out;
  uint64_t acc = 0;
  int pending = 0;
  void put(int bits, uint32_t value) {
    acc = (acc << bits) | value;
    pending += bits;
    while (pending >= 8) {
      pending -= 8;
      out.push_back((uint8_t)(acc >> pending));
    }
  }
  void flush() {
    if (pending) out.push_back((uint8_t)(acc << (8 - pending)));
    pending = 0;
  }
};

int bitLength(uint32_t v) { return v ? 32 - __builtin_clz(v) : 0; }

void writePtLengths(BitWriter &w, const uint8_t *lengths, int symbols, int countBits, int special) {
  int n = symbols;
  while (n > 0 && lengths[n - 1] == 0) n--;
  w.put(countBits, (uint32_t)n);
  int i = 0;
  while (i < n) {
    int len = lengths[i++];
    if (len <= 6)
      w.put(3, (uint32_t)len);
    else
      w.put(len - 3, (1u << (len - 3)) - 2);  // (len - 4) ones, then a zero
    if (i == special) {
      while (i < 6 && i < n && lengths[i] == 0) i++;
      w.put(2, (uint32_t)(i - special));
    }
  }
}

// The T symbols that code the C lengths, in order, with their extra bits.
template <typename Fn>
void forEachCLengthCode(const uint8_t *cLengths, Fn emit) {
  int n = NC;
  while (n > 0 && cLengths[n - 1] == 0) n--;
  int i = 0;
  while (i < n) {
    int len = cLengths[i++];
    if (len) {
      emit(len + 2, 0, 0);
      continue;
    }
    int run = 1;
    while (i < n && cLengths[i] == 0) {
      i++;
      run++;
    }
    if (run <= 2) {
      for (int k = 0; k < run; k++) emit(0, 0, 0);
    } else if (run <= 18) {
      emit(1, 4, run - 3);
    } else if (run == 19) {
      emit(0, 0, 0);
      emit(1, 4, 15);
    } else {
      emit(2, CBIT, run - 20);
    }
  }
}

void writeBlock(BitWriter &w, const Token *tokens, size_t count) {
  uint32_t cFreq[NC] = {}, pFreq[NP] = {}, tFreq[NT] = {};
  for (size_t i = 0; i < count; i++) {
    cFreq[tokens[i].c]++;
    if (tokens[i].c >= 256) pFreq[bitLength(tokens[i].distance - 1u)]++;
  }
  uint8_t cLen[NC], pLen[NP], tLen[NT];
  uint16_t cCode[NC], pCode[NP], tCode[NT];
  int cUsed = makeLengths(cFreq, NC, cLen);
  int pUsed = makeLengths(pFreq, NP, pLen);
  makeCodes(cLen, NC, cCode);
  makeCodes(pLen, NP, pCode);

  w.put(16, (uint32_t)count);
  if (cUsed >= 2) {
    forEachCLengthCode(cLen, [&](int t, int, int) { tFreq[t]++; });
    int tUsed = makeLengths(tFreq, NT, tLen);
    makeCodes(tLen, NT, tCode);
    if (tUsed >= 2) {
      writePtLengths(w, tLen, NT, TBIT, T_SPECIAL);
    } else {
      int only = (int)(std::find_if(tFreq, tFreq + NT, [](uint32_t f) { return f != 0; }) - tFreq);
      w.put(TBIT, 0);
      w.put(TBIT, (uint32_t)only);
    }
    int n = NC;
    while (n > 0 && cLen[n - 1] == 0) n--;
    w.put(CBIT, (uint32_t)n);
    forEachCLengthCode(cLen, [&](int t, int extraBits, int extra) {
      w.put(tLen[t], tCode[t]);
      if (extraBits) w.put(extraBits, (uint32_t)extra);
    });
  } else {
    int only = (int)(std::find_if(cFreq, cFreq + NC, [](uint32_t f) { return f != 0; }) - cFreq);
    w.put(TBIT, 0);
    w.put(TBIT, 0);
    w.put(CBIT, 0);
    w.put(CBIT, (uint32_t)only);
  }
  if (pUsed >= 2) {
    writePtLengths(w, pLen, NP, PBIT, -1);
  } else {
    int only = pUsed ? (int)(std::find_if(pFreq, pFreq + NP, [](uint32_t f) { return f != 0; }) - pFreq) : 0;
    w.put(PBIT, 0);
    w.put(PBIT, (uint32_t)only);
  }

  for (size_t i = 0; i < count; i++) {
    const Token &t = tokens[i];
    w.put(cLen[t.c], cCode[t.c]);
    if (t.c < 256) continue;
    uint32_t j = t.distance - 1u;
    int pc = bitLength(j);
    w.put(pLen[pc], pCode[pc]);
    if (pc > 1) w.put(pc - 1, j & ((1u << (pc - 1)) - 1));
  }
}

std::vector<uint8_t> writeBlocks(const std::vector<Token> &tokens, size_t blockCodes) {
  std::vector<uint8_t> out;
  out.reserve(tokens.size() + 64);
  BitWriter w{out};
  for (size_t i = 0; i < tokens.size(); i += blockCodes)
    writeBlock(w, tokens.data() + i, std::min(blockCodes, tokens.size() - i));
  w.flush();
  return out;
}

// A parse by price: with the bit costs of the codes in a previous parse, the
// cheapest way to code the input from each position on, found front to back
// (every match length at every position, at its nearest distance).
std::vector<Token> parseByPrice(const uint8_t *data, size_t size, int maxChain, const std::vector<Token> &previous) {
  uint32_t cFreq[NC] = {}, pFreq[NP] = {};
  for (const Token &t : previous) {
    cFreq[t.c]++;
    if (t.c >= 256) pFreq[bitLength(t.distance - 1u)]++;
  }
  uint8_t cLen[NC], pLen[NP];
  makeLengths(cFreq, NC, cLen);
  makeLengths(pFreq, NP, pLen);
  // Codes that did not occur: priced as long ones, so they are used only where it clearly pays.
  uint32_t cCost[NC], pCost[NP];
  for (int i = 0; i < NC; i++) cCost[i] = cFreq[i] ? std::max<uint32_t>(cLen[i], 1) : MAX_CODE_LENGTH;
  for (int i = 0; i < NP; i++)
    pCost[i] = (pFreq[i] ? std::max<uint32_t>(pLen[i], 1) : MAX_CODE_LENGTH) + (i > 1 ? (uint32_t)(i - 1) : 0u);

  constexpr uint32_t UNREACHED = 0xFFFFFFFFu;
  std::vector<uint32_t> price(size + 1, UNREACHED);
  std::vector<Token> how(size + 1);  // the code that reaches each position most cheaply
  price[0] = 0;
  MatchFinder mf{data, size, maxChain};
  uint16_t distances[MAX_MATCH + 1];
  for (size_t i = 0; i < size; i++) {
    uint32_t here = price[i];
    uint32_t viaLiteral = here + cCost[data[i]];
    if (viaLiteral < price[i + 1]) {
      price[i + 1] = viaLiteral;
      how[i + 1] = {data[i], 0};
    }
    int longest = mf.findAll(i, distances);
    mf.insert(i);
    // In a long repeat every length is as good as the next: try the short
    // ones and the longest only.
    int lastShort = longest >= MAX_MATCH ? std::min(longest, 18) : longest;
    for (int len = MIN_MATCH; len <= longest; len++) {
      if (len > lastShort && len != longest) continue;
      uint32_t cost = here + cCost[256 + len - MIN_MATCH] + pCost[bitLength(distances[len] - 1u)];
      if (cost < price[i + len]) {
        price[i + len] = cost;
        how[i + len] = {(uint16_t)(256 + len - MIN_MATCH), distances[len]};
      }
    }
  }
  std::vector<Token> tokens;
  for (size_t at = size; at > 0;) {
    const Token &t = how[at];
    tokens.push_back(t);
    at -= t.c < 256 ? 1 : (size_t)(t.c - 256 + MIN_MATCH);
  }
  std::reverse(tokens.begin(), tokens.end());
  return tokens;
}

// The smallest coding of the tokens over a few block sizes.
std::vector<uint8_t> writeBest(const std::vector<Token> &tokens) {
  std::vector<uint8_t> best;
  for (size_t blockCodes : {4096u, 8192u, 16384u, 32768u, 65535u}) {
    std::vector<uint8_t> out = writeBlocks(tokens, blockCodes);
    if (best.empty() || out.size() < best.size()) best.swap(out);
    if (blockCodes >= tokens.size()) break;
  }
  return best;
}

}  // namespace

std::vector<uint8_t> compress(const uint8_t *data, size_t size, const EncodeOptions &options) {
  if (size == 0) return {};
  std::vector<Token> tokens = parse(data, size, std::max(1, options.maxChain));
  if (options.maxBlockCodes) return writeBlocks(tokens, std::min<size_t>(options.maxBlockCodes, 65535));
  // The lazy parse's statistics price the first parse by price, whose own
  // price the second; the smallest of the three codings is kept.
  std::vector<uint8_t> best = writeBest(tokens);
  for (int round = 0; round < 2; round++) {
    tokens = parseByPrice(data, size, std::max(1, std::min(options.maxChain, 256)), tokens);
    std::vector<uint8_t> out = writeBest(tokens);
    if (out.size() < best.size()) best.swap(out);
  }
  return best;
}

}  // namespace lh5
