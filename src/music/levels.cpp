// The level meter's state in the musicdisk. See levels.h.
#include "music/levels.h"

#include <atomic>

namespace {

std::atomic<int32_t> latestReport{0};
std::atomic<int64_t> latestReportMs{0};

}  // namespace

void levelReportTaken(int32_t value, int64_t nowMs) {
  latestReport.store(value);
  latestReportMs.store(nowMs);
}

void meterLamps(int64_t nowMs, int lamps[LEVEL_BANDS]) {
  int32_t report = latestReport.load();
  // A report taken after the frame read its time is fresh too.
  bool fresh = report >= LEVEL_REPORT && nowMs - latestReportMs.load() <= LEVEL_REPORT_STALE_MS;
  for (int b = 0; b < LEVEL_BANDS; b++) {
    int step = fresh ? (report >> (b * LEVEL_BITS)) & (LEVEL_STEPS - 1) : 0;
    // A lamp for every sixth of the range in dB; any sound at all lights the first.
    lamps[b] = (step * METER_LAMPS + LEVEL_STEPS - 2) / (LEVEL_STEPS - 1);
  }
}
