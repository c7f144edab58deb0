#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/CFTypes.h"
#include "core/ParamSpec.h"
#include "tests/core/TestEffect.h"

namespace {

// Points the user Scripts folder at a fresh folder holding one midi.lua,
// which replaces the built-in script, while it lives.
struct ScriptsFolder {
  explicit ScriptsFolder(const std::string& text) {
    char pattern[] = "/tmp/veldrana-scripts-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    std::ofstream(folder + "/midi.lua") << text;
    setenv("VELDRANA_SCRIPTS_DIR", folder.c_str(), 1);
  }
  ~ScriptsFolder() { unsetenv("VELDRANA_SCRIPTS_DIR"); }
};

struct ScriptedEffect : ScriptsFolder, EffectFixture {
  explicit ScriptedEffect(const std::string& text) : ScriptsFolder(text) {}
  const ParamSpec& scriptIndex() {
    const ParamSpec* table = nullptr;
    effect->GetProperty(kQwkProperty_ParameterTable, 0, 0, &table);
    return table[kParamScriptIndex];
  }
};

TEST(UserScripts, NameTheScriptIndexValues) {
  ScriptedEffect none("-- no spectral scripts\n");
  EXPECT_EQ(none.scriptIndex().maxValue, 0.0f);
  EXPECT_EQ(displayOf(*none.effect, kParamScriptIndex), "(none)");
  EXPECT_EQ(none.effect->getParameter(kParamScriptIndex), 0.0f);

  ScriptedEffect three(
      "for _, name in ipairs({'One', 'Two', 'Three'}) do\n"
      "  addSpectralScript(name, function(s) end)\nend\n");
  EXPECT_EQ(three.scriptIndex().maxValue, 3.0f);
  CFArray* names = nullptr;
  ASSERT_EQ(three.effect->GetParameterValueStrings(0, kParamScriptIndex, &names), 0);
  ASSERT_EQ(names->count(), 4u);
  EXPECT_STREQ(names->stringAt(0)->c_str(), "Off");
  names->release();
  three.effect->setParameterPlain(kParamScriptIndex, 2.0f, false);
  EXPECT_EQ(displayOf(*three.effect, kParamScriptIndex), "Two");
  EXPECT_FLOAT_EQ(three.effect->getParameter(kParamScriptIndex), 2.0f / 3.0f);
}

// A chunk may hold any value for the script parameters; a script must see
// them inside their ranges, or a built-in script's loops run away.
TEST(UserScripts, SeeRestoredParametersClampedToTheirRanges) {
  // The probe reports what it saw through two placeholder parameters.
  ScriptedEffect f(
      "addSpectralScript('Probe', function(s)\n"
      "  setParameter('Dummy1', (s.param1 + 100) / 200)\n"
      "  setParameter('Dummy2', s.param2)\nend)\n");
  void* data = nullptr;
  const int32_t size = f.effect->getChunk(&data, false);
  std::vector<uint8_t> block(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  auto put = [&](int index, float v) { std::memcpy(block.data() + 176 + 4 * index, &v, 4); };
  put(kParamScriptIndex, 1.0f);
  put(kParamFftSize, 0.0f);
  for (const float extreme : {-1e30f, 1e30f}) {
    put(kParamScripted1, extreme);
    put(kParamScripted2, extreme < 0 ? std::nanf("") : 7.0f);  // NaN reads as the minimum
    f.effect->setChunk(block.data(), size, false);
    std::vector<float> in(256, 0.1f), left(256), right(256);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {left.data(), right.data()};
    f.effect->processReplacing(ins, outs, 256);
    EXPECT_EQ(f.effect->getParameterPlain(19), extreme < 0 ? 0.0f : 1.0f);
    EXPECT_EQ(f.effect->getParameterPlain(20), extreme < 0 ? 0.0f : 1.0f);
  }
}

}  // namespace
