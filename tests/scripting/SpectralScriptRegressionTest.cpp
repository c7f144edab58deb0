// Spectral scripts that change the script list while they run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptTestSupport.h"

using namespace scripting_test;

namespace {

// A script that adds scripts during its own run (the list grows and moves)
// and then runs away must still be named in the abort line: the line is
// written after the list has moved.
TEST(SpectralScriptRegression, RunawayAfterAddingScriptsIsReportedUnderItsOwnName) {
  RecordingHost host;
  ScriptsFolder folder;
  folder.write("midi.lua",
               "addSpectralScript('Probe', function(state)\n"
               "  for i = 1, 40 do addSpectralScript('Added' .. i, function() end) end\n"
               "  while true do end\n"
               "end)\n");
  auto effect = makeEffect();
  std::vector<float> frame(32, 1.0f);

  testing::internal::CaptureStdout();
  helperOf(*effect).RunSpectralScript(1, frame.data(), 32);
  effect.reset();  // writes the lines parked during the spectral run
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("spectral script \"Probe\" stopped after"), std::string::npos) << out;
}

}  // namespace
