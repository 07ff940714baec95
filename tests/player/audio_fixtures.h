// Audio made for the player's tests and benchmarks (a two-tone MP3 through
// sox, a tiny ProTracker module written byte by byte) and the analysis of
// what SDL's disk audio driver captured. No test framework in here.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

// Captured output: 16-bit stereo at 44100 Hz.
struct Capture {
  static constexpr int RATE = 44100;
  static constexpr int WINDOW = RATE / 100;  // 10 ms
  static constexpr int LOUD = 1000;          // peak of a window that sounds
  std::vector<int16_t> samples;              // interleaved left, right

  explicit Capture(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    samples.resize(bytes.size() / 2);
    memcpy(samples.data(), bytes.data(), samples.size() * 2);
  }
  size_t frames() const { return samples.size() / 2; }
  int peak(size_t fromFrame, size_t count) const {
    int best = 0;
    for (size_t i = fromFrame; i < fromFrame + count && i < frames(); i++) {
      best = std::max(best, std::abs(static_cast<int>(samples[2 * i])));
      best = std::max(best, std::abs(static_cast<int>(samples[2 * i + 1])));
    }
    return best;
  }
  // Root mean square of both channels over count frames from fromFrame.
  double rms(size_t fromFrame, size_t count) const {
    double sum = 0;
    size_t end = std::min(fromFrame + count, frames());
    for (size_t i = 2 * fromFrame; i < 2 * end; i++) sum += double(samples[i]) * samples[i];
    return end > fromFrame ? std::sqrt(sum / double(2 * (end - fromFrame))) : 0;
  }
  // Sounding stretches in seconds: [start, end) pairs, gaps under 50 ms joined.
  std::vector<std::pair<double, double>> sounding() const {
    std::vector<std::pair<double, double>> out;
    size_t windows = frames() / WINDOW;
    for (size_t w = 0; w < windows; w++) {
      if (peak(w * WINDOW, WINDOW) < LOUD) continue;
      double start = w / 100.0, end = (w + 1) / 100.0;
      if (!out.empty() && start - out.back().second < 0.05)
        out.back().second = end;
      else
        out.push_back({start, end});
    }
    return out;
  }
  // Frequency of the left channel over 100 ms from atSeconds (zero crossings).
  double frequencyAt(double atSeconds) const {
    size_t from = static_cast<size_t>(atSeconds * RATE), count = RATE / 10;
    int crossings = 0;
    for (size_t i = from + 1; i < from + count && i < frames(); i++)
      if ((samples[2 * i - 2] < 0) != (samples[2 * i] < 0)) crossings++;
    return crossings / 2.0 / 0.1;
  }
};

// A short MP3 made at test time: 1.2 s of 440 Hz, then 1.2 s of 880 Hz.
inline bool makeTwoToneMp3(const std::string &path, double eachSeconds = 1.2) {
  std::string command = "sox -q -n -r 44100 -c 2 '" + path + "' synth " + std::to_string(eachSeconds) +
                        " sine 440 gain -6 : synth " + std::to_string(eachSeconds) + " sine 880 gain -6";
  return system(command.c_str()) == 0;
}

// A tiny ProTracker module (M.K.): one looped square-wave sample played as
// C-2 (about 259 Hz) at speed 3, 32 rows (1.92 s). The last row breaks to
// the end of the song, or, with loop, jumps back to its start for ever.
// rows, speed (ticks of 20 ms a row) and voices (1-4 channels sounding)
// make longer and busier ones.
inline std::string makeModule(bool loop, int rows = 32, int speed = 3, int voices = 1) {
  std::string mod(20, '\0');
  mod.replace(0, 4, "test");
  auto header = [&mod](const char *name, int words, int volume, int repeatStart, int repeatWords) {
    std::string h(22, '\0');
    h.replace(0, strlen(name), name);
    for (int byte : {words >> 8, words, 0, volume, repeatStart >> 8, repeatStart, repeatWords >> 8, repeatWords})
      h += static_cast<char>(byte);
    mod += h;
  };
  header("square", 16, 64, 0, 16);
  for (int i = 1; i < 31; i++) header("", 0, 0, 0, 1);
  mod += std::string(1, 1) + std::string(1, 127);  // song length 1, restart
  mod += std::string(128, '\0');                   // order list: pattern 0
  mod += "M.K.";
  std::string pattern(64 * 4 * 4, '\0');
  auto cell = [&pattern](int row, int channel, int sample, int period, int effect, int parameter) {
    size_t o = (row * 4 + channel) * 4;
    pattern[o] = static_cast<char>((sample & 0xF0) | (period >> 8));
    pattern[o + 1] = static_cast<char>(period & 0xFF);
    pattern[o + 2] = static_cast<char>(((sample & 0x0F) << 4) | effect);
    pattern[o + 3] = static_cast<char>(parameter);
  };
  const int periods[4] = {428, 339, 285, 214};  // C-2, E-2, G-2, C-3
  for (int v = 0; v < voices && v < 4; v++) cell(0, v, 1, periods[v], 0, 0);
  cell(0, 1, voices > 1 ? 1 : 0, voices > 1 ? periods[1] : 0, 0xF, speed);  // speed: ticks a row
  cell(rows - 1, 2, 0, 0, loop ? 0xB : 0xD, 0);                             // jump to order 0, or break
  mod += pattern;
  for (int i = 0; i < 32; i++) mod += static_cast<char>(i < 16 ? 100 : -100);
  return mod;
}

inline bool writeFile(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}
