#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "core/CFTypes.h"
#include "core/ParamSpec.h"
#include "tests/core/TestEffect.h"

namespace {

// Points the user Scripts folder at a fresh folder holding one midi.lua,
// which replaces the built-in script, for the life of the fixture.
class UserMidiScript : public ::testing::Test {
 protected:
  void install(const std::string& text) {
    char pattern[] = "/tmp/veldrana-scripts-XXXXXX";
    folder_ = mkdtemp(pattern);
    std::ofstream(folder_ + "/midi.lua") << text;
    const char* old = std::getenv("VELDRANA_SCRIPTS_DIR");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    setenv("VELDRANA_SCRIPTS_DIR", folder_.c_str(), 1);
  }
  void TearDown() override {
    if (hadOld_)
      setenv("VELDRANA_SCRIPTS_DIR", old_.c_str(), 1);
    else
      unsetenv("VELDRANA_SCRIPTS_DIR");
  }

 private:
  std::string folder_, old_;
  bool hadOld_ = false;
};

TEST_F(UserMidiScript, NoSpectralScriptLeavesTheSingleNameNone) {
  install("-- no spectral scripts\n");
  EffectFixture f;
  CFArray* names = nullptr;
  ASSERT_EQ(f.effect->GetParameterValueStrings(0, kParamScriptIndex, &names), 0);
  ASSERT_EQ(names->count(), 1u);
  EXPECT_STREQ(names->stringAt(0)->c_str(), "(none)");
  names->release();
  const ParamSpec* table = nullptr;
  f.effect->GetProperty(kQwkProperty_ParameterTable, 0, 0, &table);
  EXPECT_EQ(table[kParamScriptIndex].maxValue, 0.0f);
  EXPECT_EQ(displayOf(*f.effect, kParamScriptIndex), "(none)");
  EXPECT_EQ(f.effect->getParameter(kParamScriptIndex), 0.0f);
}

TEST_F(UserMidiScript, ThreeScriptsMakeFourValues) {
  install(
      "addSpectralScript('One', function(s) end)\n"
      "addSpectralScript('Two', function(s) end)\n"
      "addSpectralScript('Three', function(s) end)\n");
  EffectFixture f;
  const ParamSpec* table = nullptr;
  f.effect->GetProperty(kQwkProperty_ParameterTable, 0, 0, &table);
  EXPECT_EQ(table[kParamScriptIndex].maxValue, 3.0f);
  CFArray* names = nullptr;
  ASSERT_EQ(f.effect->GetParameterValueStrings(0, kParamScriptIndex, &names), 0);
  ASSERT_EQ(names->count(), 4u);
  EXPECT_STREQ(names->stringAt(0)->c_str(), "Off");
  EXPECT_STREQ(names->stringAt(3)->c_str(), "Three");
  names->release();
  f.effect->setParameterPlain(kParamScriptIndex, 2.0f, false);
  EXPECT_EQ(displayOf(*f.effect, kParamScriptIndex), "Two");
  EXPECT_FLOAT_EQ(f.effect->getParameter(kParamScriptIndex), 2.0f / 3.0f);
}

}  // namespace
