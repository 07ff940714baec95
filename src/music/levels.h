// The level meter's state in the musicdisk: the latest level report the
// music handler took from the player, and when. The handler writes it, the
// disk screen reads it; neither waits for the other. What the lamps look
// like is the screen's business (screens/meter.cpp).
#pragma once

#include <cstdint>

#include "ports/protocol.h"

// Lamps in each band's column on the panel.
constexpr int METER_LAMPS = 6;
// A report older than this shows as rest: the player has stopped sending
// (paused, stopped, gone, or one that never sends), or its reports are lost.
// The player repeats an unchanged report every LEVEL_REPORT_REFRESH_MS (100).
constexpr int LEVEL_REPORT_STALE_MS = 250;

// The handler took the report value (LEVEL_REPORT set) at nowMs.
void levelReportTaken(int32_t value, int64_t nowMs);
// The lamps each band lights at nowMs, 0..METER_LAMPS: all 0 without a
// fresh report.
void meterLamps(int64_t nowMs, int lamps[LEVEL_BANDS]);
