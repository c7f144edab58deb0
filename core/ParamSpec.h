// One row of an effect's parameter table, in plain units.
#pragma once

#include <cstdint>

struct ParamSpec {
  const char* name;
  uint32_t unit;
  float minValue;
  float maxValue;
  float defaultValue;
};
