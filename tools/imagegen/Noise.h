// Deterministic noise: every value derives from a fixed seed and integer
// lattice coordinates, so reruns draw identical images on any machine.
#pragma once

#include <cstdint>

namespace imagegen {

// A pseudo-random value in [0, 1) for lattice point (x, y).
float latticeValue(uint32_t seed, int x, int y);

// Smoothly interpolated value noise in [0, 1). Coordinates are in lattice
// cells; the lattice repeats every periodX by periodY cells, so noise over
// a whole number of periods tiles without seams.
float periodicNoise(uint32_t seed, float x, float y, int periodX, int periodY);

// The same along a line, without repetition.
float lineNoise(uint32_t seed, float x);

}  // namespace imagegen
