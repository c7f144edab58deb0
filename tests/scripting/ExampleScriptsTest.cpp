// The example scripts shipped in examples/scripts load and do what their
// comments promise.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "ScriptTestSupport.h"
#include "core/RelaxedAtomic.h"
#include "core/ViewState.h"

using namespace scripting_test;

namespace {

std::string exampleText(const std::string& name) {
  const std::string here = __FILE__;
  const std::string root = here.substr(0, here.rfind("/tests/scripting/"));
  std::ifstream in(root + "/examples/scripts/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ExampleScripts, SpectralCombKeepsTheTeethAndScalesTheRest) {
  RecordingHost host;
  ScriptsFolder folder;
  const std::string script = exampleText("spectral_comb.lua");
  ASSERT_FALSE(script.empty());
  folder.write("spectral_comb.lua", script);
  ::testing::internal::CaptureStdout();
  const auto effect = makeEffect();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(effect->spectralScripts().back().name, "Comb");
  const auto index = static_cast<int32_t>(effect->spectralScripts().size() - 1);
  EXPECT_EQ(index, 7);  // after "Off" and the six built-in scripts

  effect->setParameterPlain(kParamScripted1, 4.0f, false);
  effect->setParameterPlain(kParamScripted2, 0.5f, false);
  std::vector<float> f(64, 1.0f);
  helperOf(*effect).RunSpectralScript(index, f.data(), 64);
  for (int bin = 0; bin <= 32; ++bin) {
    const float want = bin % 4 == 0 ? 1.0f : 0.5f;
    EXPECT_EQ(f[bin], want) << "re " << bin;
    if (bin > 0 && bin < 32) {
      EXPECT_EQ(f[32 + bin], want) << "im " << bin;
    }
  }
}

TEST(ExampleScripts, MidiNoteGateOpensWithNotesAndClosesOnATimer) {
  RecordingHost host;
  ScriptsFolder folder;
  const std::string script = exampleText("midi_note_gate.lua");
  ASSERT_FALSE(script.empty());
  folder.write("midi_note_gate.lua", script);
  ::testing::internal::CaptureStdout();
  const auto effect = makeEffect();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);

  helper.HandleMessage(midi(0x90, 0, 60, 100));
  EXPECT_EQ(effect->getParameterPlain(kParamWetLevel), 1.0f);
  EXPECT_EQ(rt::relaxedLoad(effect->ViewStateAddress()->guiBool[0]), 1);
  helper.HandleMessage(midi(0x90, 0, 60, 0));                  // note-off as velocity 0
  EXPECT_EQ(effect->getParameterPlain(kParamWetLevel), 1.0f);  // not yet
  for (int i = 0; i < 200 && effect->getParameterPlain(kParamWetLevel) != 0.0f; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(effect->getParameterPlain(kParamWetLevel), 0.0f);
  // The timer thread wrote it.
  EXPECT_EQ(rt::relaxedLoad(effect->ViewStateAddress()->guiBool[0]), 0);
}

}  // namespace
