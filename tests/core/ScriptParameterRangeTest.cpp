#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/core/TestEffect.h"

namespace {

// A chunk may hold any value for the script parameters; a spectral script
// must see them inside their ranges, or a built-in script's loops run away
// on every frame of the audio thread.
TEST(ScriptParameterRange, RestoredValuesReachScriptsClamped) {
  char pattern[] = "/tmp/veldrana-range-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  // The probe reports what it saw through two placeholder parameters.
  std::ofstream(folder + "/midi.lua") << "addSpectralScript('Probe', function(s)\n"
                                         "  setParameter('Dummy1', (s.param1 + 100) / 200)\n"
                                         "  setParameter('Dummy2', s.param2)\n"
                                         "end)\n";
  setenv("VELDRANA_SCRIPTS_DIR", folder.c_str(), 1);
  EffectFixture f;
  unsetenv("VELDRANA_SCRIPTS_DIR");

  void* data = nullptr;
  const int32_t size = f.effect->getChunk(&data, false);
  std::vector<uint8_t> block(static_cast<const uint8_t*>(data),
                             static_cast<const uint8_t*>(data) + size);
  auto put = [&](int index, float v) { std::memcpy(block.data() + 176 + 4 * index, &v, 4); };
  put(kParamScriptIndex, 1.0f);
  put(kParamScripted1, -1e30f);
  put(kParamScripted2, std::nanf(""));
  put(kParamFftSize, 0.0f);
  f.effect->setChunk(block.data(), size, false);

  std::vector<float> in(256, 0.1f), left(256), right(256);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {left.data(), right.data()};
  f.effect->processReplacing(ins, outs, 256);
  EXPECT_EQ(f.effect->getParameterPlain(19), 0.0f);  // param1 read as -100
  EXPECT_EQ(f.effect->getParameterPlain(20), 0.0f);  // NaN read as the minimum

  put(kParamScripted1, 1e30f);
  put(kParamScripted2, 7.0f);
  f.effect->setChunk(block.data(), size, false);
  f.effect->processReplacing(ins, outs, 256);
  EXPECT_EQ(f.effect->getParameterPlain(19), 1.0f);  // param1 read as 100
  EXPECT_EQ(f.effect->getParameterPlain(20), 1.0f);
}

}  // namespace
