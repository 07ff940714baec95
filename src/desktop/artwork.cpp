// The disk's logo as a PNG file for the desktop. See artwork.h.
//
// A PNG of 256 x 256 texels is small enough to go uncompressed: the image
// data is a zlib stream of "stored" deflate blocks, so no compression
// library is needed, only the two checksums the format asks for.
#include "desktop/artwork.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ports/ports.h"

namespace {

char path[600] = "";
std::string url;

uint32_t crc32Of(const unsigned char *data, size_t n, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < n; i++) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; bit++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void putBig32(std::string *out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(value >> shift));
}

// One chunk: length, type, data, and the checksum of type and data.
void putChunk(std::string *out, const char *type, const std::string &data) {
  putBig32(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out->append(body);
  putBig32(out, crc32Of(reinterpret_cast<const unsigned char *>(body.data()), body.size()));
}

std::string pngOf(const uint32_t *texels, int size) {
  std::string rows;  // each row: filter 0, then red, green, blue, alpha
  for (int y = 0; y < size; y++) {
    rows.push_back('\0');
    for (int x = 0; x < size; x++) {
      uint32_t texel = texels[y * size + x];
      for (int shift : {16, 8, 0, 24}) rows.push_back(static_cast<char>(texel >> shift));
    }
  }
  std::string zlib = "\x78\x01";
  uint32_t a = 1, b = 0;  // Adler-32
  for (size_t at = 0; at < rows.size();) {
    size_t n = std::min<size_t>(rows.size() - at, 65535);
    zlib.push_back(at + n == rows.size() ? '\1' : '\0');  // stored; the last block says so
    for (uint32_t word : {uint32_t(n), uint32_t(~n & 0xFFFF)}) {
      zlib.push_back(static_cast<char>(word));
      zlib.push_back(static_cast<char>(word >> 8));
    }
    for (size_t i = at; i < at + n; i++) {
      a = (a + static_cast<unsigned char>(rows[i])) % 65521;
      b = (b + a) % 65521;
    }
    zlib.append(rows, at, n);
    at += n;
  }
  putBig32(&zlib, (b << 16) | a);
  std::string header;
  putBig32(&header, static_cast<uint32_t>(size));
  putBig32(&header, static_cast<uint32_t>(size));
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  putChunk(&png, "IHDR", header);
  putChunk(&png, "IDAT", zlib);
  putChunk(&png, "IEND", "");
  return png;
}

void removeLogo() {
  if (path[0]) unlink(path);
}

}  // namespace

bool writeLogoPicture(const uint32_t *texels, int size) {
  if (!texels || size <= 0 || !url.empty()) return !url.empty();
  char directory[512];
  if (!portDirectory(directory, sizeof directory, true)) {
    fprintf(stderr, "musicdisk: no folder for the desktop's picture of the disk: %s\n", strerror(errno));
    return false;
  }
  snprintf(path, sizeof path, "%s/logo.png", directory);
  std::string png = pngOf(texels, size);
  FILE *out = fopen(path, "wb");
  bool written = out && fwrite(png.data(), 1, png.size(), out) == png.size();
  if (out && fclose(out) != 0) written = false;
  if (!written) {
    fprintf(stderr, "musicdisk: cannot write the desktop's picture of the disk %s: %s\n", path, strerror(errno));
    if (out) unlink(path);
    path[0] = '\0';
    return false;
  }
  atexit(removeLogo);
  url = std::string("file://") + path;
  return true;
}

const char *logoPictureUrl() { return url.empty() ? nullptr : url.c_str(); }
