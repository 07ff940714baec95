// The picture the desktop shows beside the song: the disk's logo, written
// once per run as a PNG file ("logo.png") into the port directory, and
// removed at exit with the rest of the run's files there.
#pragma once

#include <cstdint>

// Writes the square picture (size x size texels, alpha in bits 31-24, then
// red, green, blue) as the run's logo file. False after one line on
// standard error; the desktop then shows no picture.
bool writeLogoPicture(const uint32_t *texels, int size);
// The file's address ("file:///..."), or null when none was written.
const char *logoPictureUrl();
