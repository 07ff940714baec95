// Level-0 LHA archives: member headers, creating an archive from files, and
// listing, testing and extracting one.
//
// Header of a level-0 member (little-endian numbers):
//   0  size H of the header after its first two bytes    1  checksum of those H bytes
//   2  method "-lh5-"   7  packed size   11  original size   15  MS-DOS time
//   19 attribute        20 level (0)     21  name length N   22  name
//   22+N CRC-16 of the original data; bytes up to 2+H are an extension we skip.
// The archive ends with a single zero byte where the next header would start.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "lh5/lh5.h"

namespace lh5 {
namespace {

constexpr size_t BASE_HEADER = 22;  // header bytes before the name
constexpr size_t MAX_NAME = 255 - 22;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
void put32(std::vector<uint8_t> &v, uint32_t x) {
  for (int i = 0; i < 4; i++) v.push_back((uint8_t)(x >> (8 * i)));
}

uint32_t dosTimeOf(int64_t unixTime) {
  time_t t = (time_t)unixTime;
  struct tm tm;
  if (!localtime_r(&t, &tm) || tm.tm_year < 80) return (1 << 21) | (1 << 16);  // 1980-01-01
  if (tm.tm_year > 80 + 127) tm.tm_year = 80 + 127;
  return (uint32_t)(tm.tm_year - 80) << 25 | (uint32_t)(tm.tm_mon + 1) << 21 | (uint32_t)tm.tm_mday << 16 |
         (uint32_t)tm.tm_hour << 11 | (uint32_t)tm.tm_min << 5 | (uint32_t)(tm.tm_sec / 2);
}

time_t unixTimeOf(uint32_t dos) {
  struct tm tm = {};
  tm.tm_year = (int)(dos >> 25) + 80;
  tm.tm_mon = (int)((dos >> 21) & 15) - 1;
  tm.tm_mday = (int)((dos >> 16) & 31);
  tm.tm_hour = (int)((dos >> 11) & 31);
  tm.tm_min = (int)((dos >> 5) & 63);
  tm.tm_sec = (int)(dos & 31) * 2;
  tm.tm_isdst = -1;
  return mktime(&tm);
}

// A member name as it may appear in a message: non-printable bytes become '?'.
std::string printable(const std::string &name) {
  std::string s;
  for (unsigned char ch : name) s += (ch < 0x20 || ch == 0x7F) ? '?' : (char)ch;
  return s;
}

std::string errnoText(const char *what) { return std::string(what) + ": " + strerror(errno); }

bool writeAll(int fd, const uint8_t *data, size_t size) {
  while (size) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= (size_t)n;
  }
  return true;
}

bool readWholeFile(const char *path, std::vector<uint8_t> *data, struct stat *st, std::string *error) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errnoText("cannot open");
    return false;
  }
  bool ok = fstat(fd, st) == 0;
  if (ok && !S_ISREG(st->st_mode)) {
    *error = "not a regular file";
    close(fd);
    return false;
  }
  data->clear();
  if (ok) data->reserve((size_t)st->st_size);
  uint8_t chunk[1 << 16];
  while (ok) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    data->insert(data->end(), chunk, chunk + n);
  }
  if (!ok) *error = errnoText("cannot read");
  close(fd);
  return ok;
}

// Creates a new file with a fresh hidden name beside base in directory dirFd.
int createTemporary(int dirFd, const std::string &base, std::string *name) {
  static unsigned counter;
  for (int attempt = 0; attempt < 100; attempt++) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    unsigned tag = (unsigned)getpid() * 2654435761u ^ (unsigned)ts.tv_nsec ^ (++counter * 40503u);
    char suffix[16];
    snprintf(suffix, sizeof suffix, ".%06x", tag & 0xFFFFFF);
    *name = "." + base + suffix;
    int fd = openat(dirFd, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

const char *baseName(const char *path) {
  const char *slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

}  // namespace

bool isSafeMemberName(const std::string &name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char ch : name)
    if (ch == '/' || ch == '\\' || ch == ':' || ch < 0x20 || ch == 0x7F) return false;
  return true;
}

HeaderResult readHeader(const uint8_t *a, size_t size, size_t pos, MemberHeader *h, std::string *error) {
  *h = MemberHeader();
  h->headerOffset = pos;
  if (pos >= size) {
    *error = "archive ends without the end-of-archive mark";
    return HeaderResult::error;
  }
  size_t headerSize = a[pos];
  if (headerSize == 0) return HeaderResult::end;
  size_t avail = size - pos;
  // The name, when its bytes are there, so that messages can name the member.
  if (avail > BASE_HEADER && headerSize >= BASE_HEADER) {
    size_t n = a[pos + 21];
    if (BASE_HEADER + n <= headerSize && BASE_HEADER + n <= avail) h->name.assign((const char *)a + pos + 22, n);
  }
  if (avail < 2 + headerSize) {
    *error = "header truncated";
    return HeaderResult::error;
  }
  if (headerSize < BASE_HEADER) {
    *error = "header too short";
    return HeaderResult::error;
  }
  const uint8_t *p = a + pos;
  unsigned sum = 0;
  for (size_t i = 2; i < 2 + headerSize; i++) sum += p[i];
  if ((sum & 0xFF) != p[1]) {
    *error = "wrong header checksum";
    return HeaderResult::error;
  }
  if (p[20] != 0) {
    *error = "header level " + std::to_string(p[20]) + " is not supported";
    return HeaderResult::error;
  }
  size_t n = p[21];
  if (BASE_HEADER + n > headerSize) {
    *error = "name runs past the header";
    return HeaderResult::error;
  }
  memcpy(h->method, p + 2, 5);
  h->method[5] = '\0';
  h->packedSize = le32(p + 7);
  h->originalSize = le32(p + 11);
  h->dosTime = le32(p + 15);
  h->attribute = p[19];
  h->crc = (uint16_t)(p[22 + n] | p[23 + n] << 8);
  h->dataOffset = pos + 2 + headerSize;
  if (h->packedSize > size - h->dataOffset) {
    *error = "packed data truncated (" + std::to_string(h->packedSize) + " bytes expected, " +
             std::to_string(size - h->dataOffset) + " present)";
    return HeaderResult::error;
  }
  return HeaderResult::member;
}

bool appendMember(std::vector<uint8_t> &archive, const std::string &name, const uint8_t *data, size_t size,
                  int64_t unixTime, std::string *error, const EncodeOptions &options) {
  if (!isSafeMemberName(name)) {
    *error = "name cannot be stored (directory or drive part, or special characters)";
    return false;
  }
  if (name.size() > MAX_NAME) {
    *error = "name longer than " + std::to_string(MAX_NAME) + " bytes";
    return false;
  }
  if (size > 0xFFFFFFFFu) {
    *error = "larger than 4 GiB";
    return false;
  }
  std::vector<uint8_t> packed = compress(data, size, options);
  if (packed.size() > 0xFFFFFFFFu) {
    *error = "packs to more than 4 GiB";
    return false;
  }
  std::vector<uint8_t> h = {0, 0, '-', 'l', 'h', '5', '-'};
  put32(h, (uint32_t)packed.size());
  put32(h, (uint32_t)size);
  put32(h, dosTimeOf(unixTime));
  h.push_back(0x20);  // attribute: archive
  h.push_back(0);     // header level
  h.push_back((uint8_t)name.size());
  h.insert(h.end(), name.begin(), name.end());
  uint16_t crc = crc16(data, size);
  h.push_back((uint8_t)crc);
  h.push_back((uint8_t)(crc >> 8));
  h[0] = (uint8_t)(h.size() - 2);
  unsigned sum = 0;
  for (size_t i = 2; i < h.size(); i++) sum += h[i];
  h[1] = (uint8_t)sum;
  archive.insert(archive.end(), h.begin(), h.end());
  archive.insert(archive.end(), packed.begin(), packed.end());
  return true;
}

void appendEndMark(std::vector<uint8_t> &archive) { archive.push_back(0); }

bool createArchive(const char *archivePath, const char *const *files, int count, Report report, void *context) {
  std::string archiveName = archivePath;
  std::vector<uint8_t> archive;
  std::set<std::string> names;
  // Reproducible archives: no member time later than SOURCE_DATE_EPOCH.
  const char *epochText = getenv("SOURCE_DATE_EPOCH");
  int64_t epoch = epochText && *epochText ? strtoll(epochText, nullptr, 10) : -1;
  for (int i = 0; i < count; i++) {
    std::string name = baseName(files[i]);
    std::vector<uint8_t> data;
    struct stat st;
    std::string error;
    if (!readWholeFile(files[i], &data, &st, &error)) {
      report(context, archiveName + ": " + files[i] + ": " + error);
      return false;
    }
    if (!names.insert(name).second) {
      report(context, archiveName + ": " + printable(name) + ": given twice");
      return false;
    }
    int64_t when = st.st_mtime;
    if (epoch >= 0 && when > epoch) when = epoch;
    if (!appendMember(archive, name, data.data(), data.size(), when, &error)) {
      report(context, archiveName + ": " + printable(name) + ": " + error);
      return false;
    }
  }
  appendEndMark(archive);

  // Written under a temporary name and renamed: a failed run leaves no archive.
  std::string dir = archiveName.find('/') == std::string::npos ? "." : archiveName.substr(0, archiveName.rfind('/') + 1);
  int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) {
    report(context, archiveName + ": " + errnoText("cannot open its directory"));
    return false;
  }
  std::string temp;
  int fd = createTemporary(dirFd, baseName(archivePath), &temp);
  bool ok = fd >= 0;
  if (!ok) report(context, archiveName + ": " + errnoText("cannot create"));
  if (ok && !writeAll(fd, archive.data(), archive.size())) {
    report(context, archiveName + ": " + errnoText("cannot write"));
    ok = false;
  }
  if (fd >= 0 && close(fd) != 0 && ok) {
    report(context, archiveName + ": " + errnoText("cannot write"));
    ok = false;
  }
  if (ok && renameat(dirFd, temp.c_str(), dirFd, baseName(archivePath)) != 0) {
    report(context, archiveName + ": " + errnoText("cannot create"));
    ok = false;
  }
  if (!ok && fd >= 0) unlinkat(dirFd, temp.c_str(), 0);
  close(dirFd);
  return ok;
}

namespace {

struct OutputSink {
  int fd = -1;  // -1 when only testing
  uint16_t crc = 0;
};

bool toOutput(void *context, const uint8_t *data, size_t size) {
  auto *s = static_cast<OutputSink *>(context);
  s->crc = crc16(data, size, s->crc);
  return s->fd < 0 || writeAll(s->fd, data, size);
}

// Unpacks one member into sink; "" on success, else what went wrong.
std::string unpack(const uint8_t *archive, const MemberHeader &h, OutputSink *sink) {
  const uint8_t *packed = archive + h.dataOffset;
  if (strcmp(h.method, "-lh0-") == 0) {
    if (h.packedSize != h.originalSize) return "stored member's sizes differ";
    if (!toOutput(sink, packed, h.packedSize)) return errnoText("cannot write");
  } else if (strcmp(h.method, "-lh5-") == 0) {
    DecodeStatus status = decompress(packed, h.packedSize, h.originalSize, toOutput, sink);
    if (status == DecodeStatus::sinkFailed) return errnoText("cannot write");
    if (status != DecodeStatus::ok) return describe(status);
  } else {
    return "unknown method " + printable(h.method);
  }
  if (sink->crc != h.crc) {
    char text[64];
    snprintf(text, sizeof text, "CRC mismatch (stored %04x, data %04x)", h.crc, sink->crc);
    return text;
  }
  return "";
}

// Extracts one member into dirFd under a temporary name, renamed when whole.
std::string extract(const uint8_t *archive, const MemberHeader &h, int dirFd) {
  std::string temp;
  OutputSink sink;
  sink.fd = createTemporary(dirFd, h.name, &temp);
  if (sink.fd < 0) return errnoText("cannot create");
  std::string problem = unpack(archive, h, &sink);
  if (problem.empty()) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = unixTimeOf(h.dosTime);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (times[0].tv_sec != (time_t)-1) futimens(sink.fd, times);
  }
  if (close(sink.fd) != 0 && problem.empty()) problem = errnoText("cannot write");
  if (problem.empty() && renameat(dirFd, temp.c_str(), dirFd, h.name.c_str()) != 0)
    problem = errnoText("cannot create");
  if (!problem.empty()) unlinkat(dirFd, temp.c_str(), 0);
  return problem;
}

}  // namespace

bool processArchiveData(const uint8_t *archive, size_t size, const char *displayName, Action action,
                        const char *directory, Report report, MemberDone done, void *context) {
  std::string archiveName = displayName;
  int dirFd = -1;
  if (action == Action::extract) {
    if (!directory || !*directory) directory = ".";
    if (mkdir(directory, 0777) != 0 && errno != EEXIST) {
      report(context, archiveName + ": " + errnoText((std::string("cannot make directory ") + directory).c_str()));
      return false;
    }
    dirFd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
      report(context, archiveName + ": " + errnoText((std::string("cannot open directory ") + directory).c_str()));
      return false;
    }
  }
  bool ok = true;
  size_t pos = 0;
  int index = 0;
  std::string last;
  for (;;) {
    MemberHeader h;
    std::string error;
    HeaderResult r = readHeader(archive, size, pos, &h, &error);
    if (r == HeaderResult::end) break;
    index++;
    if (r == HeaderResult::error) {
      // Past a broken header there is no telling where the next member starts.
      std::string who = !h.name.empty() ? printable(h.name)
                        : pos >= size  ? (last.empty() ? "no member" : "after " + last)
                                       : "member " + std::to_string(index) + " at offset " + std::to_string(pos);
      report(context, archiveName + ": " + who + ": " + error);
      ok = false;
      break;
    }
    pos = h.dataOffset + h.packedSize;
    last = h.name.empty() ? "member " + std::to_string(index) : printable(h.name);
    if (action == Action::list) {
      if (done) done(context, h);
      continue;
    }
    std::string problem;
    if (!isSafeMemberName(h.name)) {
      problem = "unsafe name (directory or drive part), not extracted";
    } else if (action == Action::test) {
      OutputSink sink;
      problem = unpack(archive, h, &sink);
    } else {
      problem = extract(archive, h, dirFd);
    }
    if (!problem.empty()) {
      report(context, archiveName + ": " + last + ": " + problem);
      ok = false;
    } else if (done) {
      done(context, h);
    }
  }
  if (dirFd >= 0) close(dirFd);
  return ok;
}

bool processArchive(const char *archivePath, Action action, const char *directory, Report report,
                    MemberDone done, void *context) {
  std::vector<uint8_t> data;
  struct stat st;
  std::string error;
  if (!readWholeFile(archivePath, &data, &st, &error)) {
    report(context, std::string(archivePath) + ": " + error);
    return false;
  }
  return processArchiveData(data.data(), data.size(), archivePath, action, directory, report, done, context);
}

}  // namespace lh5
