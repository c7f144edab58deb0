#include "core/TonalmireParameters.h"

#include <string>
#include <vector>

#include "core/AudioUnitTypes.h"
#include "core/ParamIds.h"

namespace {

struct Table {
  std::vector<std::string> binNames;
  std::vector<ParamSpec> rows;

  Table() {
    constexpr uint32_t kGeneric = kAudioUnitParameterUnit_Generic;
    constexpr uint32_t kIndexed = kAudioUnitParameterUnit_Indexed;
    constexpr uint32_t kDecibels = kAudioUnitParameterUnit_Decibels;
    constexpr uint32_t kFader = kAudioUnitParameterUnit_MixerFaderCurve1;
    constexpr uint32_t kMs = kAudioUnitParameterUnit_Milliseconds;
    rows = {
        {"OSC Port Offset", kIndexed, 0, 100, 0},
        {"Dry Level", kFader, 0, 1, 0},
        {"Wet Level", kFader, 0, 1, 1},
        {"FFT Size", kIndexed, 0, 7, 5},
        {"View X Axis", kIndexed, 0, 1, 0},
        {"View Y Axis", kIndexed, 0, 1, 0},
        {"View Min dB", kDecibels, -180, 0, -160},
        {"View Max dB", kDecibels, -180, 0, 0},
        {"View Min Linear", kGeneric, 0, 1, 0},
        {"View Max Linear", kGeneric, 0, 1, 1},
        {"View Smoothing", kMs, 0, 2000, 500},
        {"Input Gain", kDecibels, -80, 36, 0},
        {"Output Gain", kDecibels, -80, 36, 0},
        {"Script Index", kIndexed, 0, 0, 0},
        {"Script Position", kIndexed, 0, 1, 0},
        {"Scripted 1", kIndexed, -100, 100, 0},
        {"Scripted 2", kGeneric, 0, 1, 0},
        {"Scripted 3", kGeneric, 0, 1, 0},
        {"Scripted 4", kGeneric, 0, 1, 0},
    };
    static const char* const kDummies[] = {"Dummy1", "Dummy2", "Dummy3", "Dummy4", "Dummy5",
                                           "Dummy6", "Dummy7", "Dummy8", "Dummy9", "Dummya",
                                           "Dummyb", "Dummyc", "Dummyd"};
    for (const char* name : kDummies) rows.push_back({name, kGeneric, 0, 1, 0});

    binNames.reserve(kParamCount - kParamBin0Level);
    for (int n = 0; n < kParamCount - kParamBin0Level; ++n)
      binNames.push_back("Bin " + std::to_string(n) + " Level");
    for (const std::string& name : binNames) rows.push_back({name.c_str(), kGeneric, 0, 1, 1});
  }
};

}  // namespace

const ParamSpec* tonalmireParameterTable() {
  static const Table table;
  return table.rows.data();
}
