// How long one syncmusic takes to a live port: the real music handler owning
// "demoport" in its own thread. Beside it, the floor: 24 bytes there and
// back over an already connected socket pair to an echo thread, which is
// what the kernel alone costs. syncmusic adds a connect, an accept and a
// close per message. Prints median, 90th and 99th percentile (microseconds).
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "music/music.h"
#include "platform/task.h"

namespace {

constexpr int ROUNDS = 20000;
constexpr int WARM_UP = 500;

double nowUs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

struct Figures {
  double median, p90, p99;
};

Figures summarise(std::vector<double> &times) {
  std::sort(times.begin(), times.end());
  auto at = [&times](double q) { return times[static_cast<size_t>(q * (times.size() - 1))]; };
  return {at(0.5), at(0.9), at(0.99)};
}

Figures syncmusicRoundTrip() {
  MusicTask *handler = createTask(subtaskname, musichandler);
  while (syncmusic("demoport", 7) != 7) usleep(1000);
  std::vector<double> times;
  times.reserve(ROUNDS);
  for (int i = 0; i < WARM_UP + ROUNDS; i++) {
    double start = nowUs();
    int32_t result = syncmusic("demoport", 7);
    double took = nowUs() - start;
    if (result != 7) {
      fprintf(stderr, "round %d: no reply\n", i);
      exit(1);
    }
    if (i >= WARM_UP) times.push_back(took);
  }
  deleteTask(handler);
  return summarise(times);
}

Figures socketPairRoundTrip() {
  int pair[2];
  socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair);
  std::thread echo([fd = pair[1]] {
    char buffer[24];
    while (recv(fd, buffer, sizeof buffer, 0) == sizeof buffer) send(fd, buffer, sizeof buffer, MSG_NOSIGNAL);
  });
  std::vector<double> times;
  times.reserve(ROUNDS);
  char message[24] = {}, reply[24];
  for (int i = 0; i < WARM_UP + ROUNDS; i++) {
    double start = nowUs();
    send(pair[0], message, sizeof message, MSG_NOSIGNAL);
    recv(pair[0], reply, sizeof reply, 0);
    double took = nowUs() - start;
    if (i >= WARM_UP) times.push_back(took);
  }
  shutdown(pair[0], SHUT_RDWR);
  echo.join();
  close(pair[0]);
  close(pair[1]);
  return summarise(times);
}

}  // namespace

int main() {
  char dir[] = "/tmp/musicdisk-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  setenv("XDG_RUNTIME_DIR", dir, 1);
  musicdisk = 1;

  Figures sync = syncmusicRoundTrip();
  Figures floor = socketPairRoundTrip();
  printf("%-40s %9s %9s %9s\n", "round trip (us)", "median", "p90", "p99");
  printf("%-40s %9.1f %9.1f %9.1f\n", "syncmusic to the music handler", sync.median, sync.p90, sync.p99);
  printf("%-40s %9.1f %9.1f %9.1f\n", "socket pair echo (kernel floor)", floor.median, floor.p90, floor.p99);
  printf("syncmusic / floor (median): %.1fx; syncmusic median is %.3f ms\n", sync.median / floor.median,
         sync.median / 1000.0);

  std::string cleanup = std::string("rm -rf ") + dir;
  return system(cleanup.c_str()) == 0 ? 0 : 1;
}
