// The picture archives built into the program, staged in a private
// directory that stands in for RAM: for the time the textures are made.
#pragma once

#include <cstddef>
#include <cstdint>

extern const uint8_t ddata01[];
extern const size_t ddata01Size;
extern const uint8_t ddata02[];
extern const size_t ddata02Size;
extern const uint8_t ddata03[];
extern const size_t ddata03Size;

int unpackData();
int deleteData();
