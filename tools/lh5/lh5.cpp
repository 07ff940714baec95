// lh5: the command-line face of the archive codec.
//
//   lh5 c ARCHIVE FILE...   create (every member -lh5-, names without directory)
//   lh5 x ARCHIVE [DIR]     extract into DIR (default: the current directory)
//   lh5 l ARCHIVE           list
//   lh5 t ARCHIVE           test (unpack and check every CRC)
//
// Exit status 0 only when everything worked; each failure is one line on
// standard error naming the archive and the member.
#include <cstdio>
#include <cstring>
#include <string>

#include "lh5/lh5.h"

namespace {

void printError(void *, const std::string &line) { fprintf(stderr, "lh5: %s\n", line.c_str()); }

struct ListTotals {
  unsigned members = 0;
  uint64_t original = 0;
  uint64_t packed = 0;
};

void printRatio(uint64_t packed, uint64_t original) {
  if (original)
    printf(" %5.1f%%", 100.0 * (double)packed / (double)original);
  else
    printf(" ******");
}

void listMember(void *context, const lh5::MemberHeader &h) {
  auto *totals = static_cast<ListTotals *>(context);
  totals->members++;
  totals->original += h.originalSize;
  totals->packed += h.packedSize;
  unsigned t = h.dosTime;
  printf("%10u %10u", h.originalSize, h.packedSize);
  printRatio(h.packedSize, h.originalSize);
  printf(" %s %04x %04u-%02u-%02u %02u:%02u:%02u  ", h.method, h.crc, (t >> 25) + 1980, (t >> 21) & 15,
         (t >> 16) & 31, (t >> 11) & 31, (t >> 5) & 63, (t & 31) * 2);
  for (unsigned char ch : h.name) putchar(ch < 0x20 || ch == 0x7F ? '?' : ch);
  putchar('\n');
}

void quietMember(void *, const lh5::MemberHeader &) {}

int usage() {
  fprintf(stderr,
          "usage: lh5 c ARCHIVE FILE...   create\n"
          "       lh5 x ARCHIVE [DIR]     extract\n"
          "       lh5 l ARCHIVE           list\n"
          "       lh5 t ARCHIVE           test\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3 || strlen(argv[1]) != 1) return usage();
  const char *archive = argv[2];
  switch (argv[1][0]) {
    case 'c':
      if (argc < 4) return usage();
      return lh5::createArchive(archive, argv + 3, argc - 3, printError, nullptr) ? 0 : 1;
    case 'x':
      if (argc > 4) return usage();
      return lh5::processArchive(archive, lh5::Action::extract, argc == 4 ? argv[3] : ".", printError,
                                 quietMember, nullptr)
                 ? 0
                 : 1;
    case 't':
      if (argc != 3) return usage();
      return lh5::processArchive(archive, lh5::Action::test, nullptr, printError, quietMember, nullptr) ? 0 : 1;
    case 'l': {
      if (argc != 3) return usage();
      ListTotals totals;
      printf("  original     packed  ratio method  crc  date       time      name\n");
      printf("---------- ---------- ------ ----- ---- ------------------- ----------\n");
      bool ok = lh5::processArchive(archive, lh5::Action::list, nullptr, printError, listMember, &totals);
      printf("---------- ---------- ------ ----- ---- ------------------- ----------\n");
      printf("%10llu %10llu", (unsigned long long)totals.original, (unsigned long long)totals.packed);
      printRatio(totals.packed, totals.original);
      printf("                                 %u member%s\n", totals.members, totals.members == 1 ? "" : "s");
      return ok ? 0 : 1;
    }
    default:
      return usage();
  }
}
