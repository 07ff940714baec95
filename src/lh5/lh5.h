// The LHA codec: the "-lh5-" method (LZSS over an 8 KiB window with
// Huffman-coded blocks), CRC-16, and level-0 archives on disk.
//
// Used by the lh5 tool (creating, listing, testing, extracting archives) and
// by the program, which extracts its embedded archives into the staging
// directory. Extraction never writes outside the target directory and never
// leaves a partly written member under its final name: a member is written
// to a temporary name beside it and renamed only when its CRC is right.
//
// Not handled: header levels 1 and 2, methods other than "-lh5-" (written
// and read) and "-lh0-" (stored, read only), directories in member names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lh5 {

// CRC-16 as LHA uses it (polynomial 0x8005, reflected, initial value 0).
// Pass the previous result to continue over more data.
uint16_t crc16(const uint8_t *data, size_t size, uint16_t crc = 0);

// --- The -lh5- method ----------------------------------------------------

constexpr int WINDOW_SIZE = 8192;  // farthest match distance
constexpr int MAX_MATCH = 256;     // longest match
constexpr int MIN_MATCH = 3;       // shortest match

struct EncodeOptions {
  int maxChain = 2048;            // match candidates tried per position
  unsigned maxBlockCodes = 0;     // codes per Huffman block; 0 = chosen by the encoder
};

// Compresses size bytes into an -lh5- stream (any size, including 0).
std::vector<uint8_t> compress(const uint8_t *data, size_t size, const EncodeOptions &options = {});

enum class DecodeStatus {
  ok,
  truncated,   // the stream ended before outSize bytes were produced
  corrupt,     // a table or block header that no encoder writes
  sinkFailed,  // the sink returned false
};

// Receives the decoded bytes in order, in pieces; false stops the decoding.
using Sink = bool (*)(void *context, const uint8_t *data, size_t size);

// Decodes an -lh5- stream of inSize bytes that unpacks to outSize bytes,
// handing the output to sink. Memory use does not depend on outSize.
DecodeStatus decompress(const uint8_t *in, size_t inSize, uint64_t outSize, Sink sink, void *context);
// The same into a buffer of outSize bytes.
DecodeStatus decompressToBuffer(const uint8_t *in, size_t inSize, uint8_t *out, size_t outSize);

const char *describe(DecodeStatus status);

// --- Level-0 archives ----------------------------------------------------

struct MemberHeader {
  size_t headerOffset = 0;    // where the member's header starts in the archive
  size_t dataOffset = 0;      // where its packed data starts
  char method[6] = {};        // "-lh5-", NUL-terminated
  uint32_t packedSize = 0;
  uint32_t originalSize = 0;
  uint32_t dosTime = 0;       // MS-DOS date and time, local time
  uint8_t attribute = 0;
  uint16_t crc = 0;
  std::string name;           // as stored, not yet checked
};

enum class HeaderResult { member, end, error };

// Reads the member header at offset pos of an archive held in memory. On
// error, *error says what is wrong (without archive or member name), and
// header->name holds the member's name when it could be read.
HeaderResult readHeader(const uint8_t *archive, size_t size, size_t pos, MemberHeader *header, std::string *error);

// True when name is a plain file name: no directory part ("/" or "\"), no
// drive part (":"), not "." or "..", no control characters, not empty.
bool isSafeMemberName(const std::string &name);

// Appends one -lh5- member (level-0 header, then the packed data).
// False with *error when the name cannot be stored or the data is too large.
bool appendMember(std::vector<uint8_t> &archive, const std::string &name, const uint8_t *data, size_t size,
                  int64_t unixTime, std::string *error, const EncodeOptions &options = {});
// Appends the end-of-archive mark (one zero byte).
void appendEndMark(std::vector<uint8_t> &archive);

// The operations of the tool on archive files. Each failure is reported as
// one line (without line end) through report, naming the archive and, where
// there is one, the member; the result is true only when everything worked.
using Report = void (*)(void *context, const std::string &line);

// Creates archivePath from files (member names without directory part).
bool createArchive(const char *archivePath, const char *const *files, int count, Report report, void *context);

enum class Action { list, test, extract };

// What extraction tells about each member it has dealt with successfully.
using MemberDone = void (*)(void *context, const MemberHeader &header);

// Lists, tests or extracts (into directory, made when missing) the archive.
// The archive's display name in messages is archivePath.
bool processArchive(const char *archivePath, Action action, const char *directory, Report report,
                    MemberDone done, void *context);
// The same for an archive held in memory; displayName names it in messages.
bool processArchiveData(const uint8_t *archive, size_t size, const char *displayName, Action action,
                        const char *directory, Report report, MemberDone done, void *context);

}  // namespace lh5
