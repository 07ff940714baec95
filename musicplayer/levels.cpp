// The level meter's measurements in the player. See levels.h.
//
// Why filters, not an FFT: five bands need no spectrum. Each band is a
// high-pass at its lower edge followed by a low-pass at its upper edge (the
// lowest band has only the low-pass, the highest only the high-pass), each
// two second-order Butterworth sections in a row: Linkwitz-Riley crossovers,
// 24 dB an octave outside the band, and the bands add up to the whole sound.
// Every sample is seen (an FFT of part of each buffer would skip or window
// the rest), sixteen sections cost about 80 multiplications a sample, and
// there is no library and nothing to allocate. The edges are about two
// octaves apart: 150, 600, 2400 and 8000 Hz.
#include "levels.h"

#include <SDL_mixer.h>

#include <poll.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/task.h"
#include "playback.h"
#include "ports/protocol.h"

namespace {

constexpr float BAND_EDGES_HZ[LEVEL_BANDS - 1] = {150.0f, 600.0f, 2400.0f, 8000.0f};

// One second-order section (direct form I), coefficients divided by a0.
struct Biquad {
  float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
  float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
};

// Butterworth (Q = 1/sqrt 2) low- or high-pass at edgeHz.
Biquad butterworth(float edgeHz, float rate, bool highPass) {
  double w0 = 2.0 * M_PI * edgeHz / rate, c = std::cos(w0), alpha = std::sin(w0) / std::sqrt(2.0);
  double a0 = 1.0 + alpha;
  Biquad f;
  double b = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
  f.b0 = static_cast<float>(b / a0);
  f.b1 = static_cast<float>((highPass ? -2.0 * b : 2.0 * b) / a0);
  f.b2 = f.b0;
  f.a1 = static_cast<float>(-2.0 * c / a0);
  f.a2 = static_cast<float>((1.0 - alpha) / a0);
  return f;
}

inline float run(Biquad *f, float x) {
  float y = f->b0 * x + f->b1 * f->x1 + f->b2 * f->x2 - f->a1 * f->y1 - f->a2 * f->y2;
  f->x2 = f->x1;
  f->x1 = x;
  f->y2 = f->y1;
  f->y1 = y;
  return y;
}

// The audio thread's own: the filters and the output's layout.
constexpr int SECTIONS = 2;  // per crossover
struct Analyser {
  Biquad highPass[LEVEL_BANDS][SECTIONS];  // band 0 has none
  Biquad lowPass[LEVEL_BANDS][SECTIONS];   // the last band has none
  int channels = 2;
};
Analyser analyser;

// What the audio thread leaves for the reporting task: each band's mean
// power (full scale 1.0) over the latest buffer.
std::atomic<float> bandPower[LEVEL_BANDS];
static_assert(std::atomic<float>::is_always_lock_free, "read and written by the audio thread");

// The post-mix hook: 16-bit samples, channels interleaved, mixed to mono.
void SDLCALL measure(void *, Uint8 *stream, int len) {
  const Sint16 *samples = reinterpret_cast<const Sint16 *>(stream);
  int channels = analyser.channels;
  int frames = len / (2 * channels);
  if (frames <= 0) return;
  float sum[LEVEL_BANDS] = {};
  for (int i = 0; i < frames; i++) {
    float mono = 0.0f;
    for (int c = 0; c < channels; c++) mono += samples[i * channels + c];
    mono /= 32768.0f * static_cast<float>(channels);
    for (int b = 0; b < LEVEL_BANDS; b++) {
      float y = mono;
      for (int k = 0; k < SECTIONS; k++) {
        if (b > 0) y = run(&analyser.highPass[b][k], y);
        if (b < LEVEL_BANDS - 1) y = run(&analyser.lowPass[b][k], y);
      }
      sum[b] += y * y;
    }
  }
  for (int b = 0; b < LEVEL_BANDS; b++)
    bandPower[b].store(sum[b] / static_cast<float>(frames), std::memory_order_relaxed);
}

// A band's power as a step of the report: 0 for LEVEL_FLOOR_DB or below,
// LEVEL_STEPS - 1 for full scale.
float powerToDb(float power) { return power > 1e-12f ? 10.0f * std::log10(power) : -120.0f; }

int dbToStep(float db) {
  float step = (db - LEVEL_FLOOR_DB) / -LEVEL_FLOOR_DB * static_cast<float>(LEVEL_STEPS - 1);
  if (step <= 0.0f) return 0;
  return step >= LEVEL_STEPS - 1 ? LEVEL_STEPS - 1 : static_cast<int>(step + 0.5f);
}

// The reporting task, and whether the song sounds.
MusicTask *reporter = nullptr;
std::atomic<bool> sounding{false};

void report(MusicTask *task) {
  constexpr int REPORT_INTERVAL_MS = (1000 + LEVEL_REPORTS_PER_SECOND - 1) / LEVEL_REPORTS_PER_SECOND;
  pollfd stop = {taskStopDescriptor(task), POLLIN, 0};
  float shownDb[LEVEL_BANDS];
  for (float &db : shownDb) db = LEVEL_FLOOR_DB;
  int32_t lastSent = -1;
  int64_t lastSentMs = 0, lastMs = monotonicMs();
  // Right after a report, or while the song is silent to us (paused,
  // stopped), nothing can go out for a report's interval: no need to look.
  int waitMs = REPORT_INTERVAL_MS;
  for (;;) {
    int woke = poll(&stop, 1, waitMs);
    if (woke > 0 || (woke < 0 && errno != EINTR)) break;  // told to stop
    int64_t now = monotonicMs();
    float fall = LEVEL_FALL_DB_PER_SECOND * static_cast<float>(now - lastMs) / 1000.0f;
    lastMs = now;
    waitMs = REPORT_INTERVAL_MS;
    if (!sounding.load()) {
      // The meter rests, and starts from rest again.
      for (float &db : shownDb) db = LEVEL_FLOOR_DB;
      lastSent = -1;
      continue;
    }
    int32_t value = LEVEL_REPORT;
    for (int b = 0; b < LEVEL_BANDS; b++) {
      float db = powerToDb(bandPower[b].load(std::memory_order_relaxed));
      shownDb[b] = db > shownDb[b] - fall ? db : shownDb[b] - fall;
      value |= dbToStep(shownDb[b]) << (b * LEVEL_BITS);
    }
    int64_t since = now - lastSentMs;
    if (since < REPORT_INTERVAL_MS || (value == lastSent && since < LEVEL_REPORT_REFRESH_MS)) {
      waitMs = since < REPORT_INTERVAL_MS ? static_cast<int>(REPORT_INTERVAL_MS - since) : LEVEL_LOOK_MS;
      continue;
    }
    // A report that finds no port or no answer (bounded wait) is simply lost.
    syncmusic(HANDLER_PORT, value);
    lastSent = value;
    lastSentMs = now;
  }
}

}  // namespace

bool startLevels() {
  if (getenv(NO_LEVELS_VARIABLE) || reporter) return true;
  int rate = 0, channels = 0;
  Uint16 format = 0;
  if (!Mix_QuerySpec(&rate, &format, &channels) || format != AUDIO_S16SYS || channels < 1) return true;
  analyser = Analyser();
  analyser.channels = channels;
  for (int b = 0; b < LEVEL_BANDS; b++) {
    for (int k = 0; k < SECTIONS; k++) {
      if (b > 0) analyser.highPass[b][k] = butterworth(BAND_EDGES_HZ[b - 1], static_cast<float>(rate), true);
      if (b < LEVEL_BANDS - 1) analyser.lowPass[b][k] = butterworth(BAND_EDGES_HZ[b], static_cast<float>(rate), false);
    }
    bandPower[b].store(0.0f);
  }
  reporter = createTask("levels", report);
  if (!reporter) {
    playerSays("sdlmusicplayer: cannot start the level meter, playing without it\n");
    return false;
  }
  Mix_SetPostMix(measure, nullptr);
  return true;
}

void levelsSounding(bool now) { sounding.store(now); }

void stopLevels() {
  if (!reporter) return;
  sounding.store(false);
  Mix_SetPostMix(nullptr, nullptr);
  deleteTask(reporter);
  reporter = nullptr;
}
