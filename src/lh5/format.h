// The constants of the -lh5- bit stream, shared by encoder and decoder.
//
// A member is a sequence of blocks. Each block: 16 bits "number of codes",
// the code lengths of the T tree (which codes the C lengths), the C lengths
// (literals 0-255 and match lengths 256-509), the lengths of the P tree
// (position bit counts 0-13), then the codes. Huffman codes are canonical and
// at most 16 bits long; bits are read most significant first. A match of
// length L at distance D is C symbol 256 + L - 3 followed by P symbol
// bitLength(D - 1) and, for P symbol k > 1, the k - 1 low bits of D - 1.
#pragma once

namespace lh5 {

constexpr int NC = 256 + 256 - 3 + 1;  // C alphabet: 256 literals, lengths 3..256
constexpr int NT = 19;                 // T alphabet: 0-2 zero runs, 3-18 lengths 1-16
constexpr int NP = 14;                 // P alphabet: distance bit counts 0..13
constexpr int CBIT = 9;                // bits of a C count or single C symbol
constexpr int TBIT = 5;                // bits of a T count or single T symbol
constexpr int PBIT = 4;                // bits of a P count or single P symbol
constexpr int MAX_CODE_LENGTH = 16;
constexpr int T_SPECIAL = 3;           // after 3 T lengths: 2 bits of zero run

}  // namespace lh5
