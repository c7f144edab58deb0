// The layout-script host without a display: a real effect, the plug-in's
// manager and a gui.lua written into a temporary bundle folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "core/TestEffect.h"
#include "gui/Button.h"
#include "gui/Group.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/LuaGui.h"
#include "gui/Ovmanager.h"
#include "scripting/LuaHeaders.h"
#include "view/PluginLuaGui.h"

namespace {

namespace fs = std::filesystem;

// The plug-in's host without the built-in script, so that the bundle's
// gui.lua is the whole layout; records each slider's orientation.
class UserLayoutGui : public PluginLuaGui {
 public:
  UserLayoutGui(QwkAuBase* effect, std::string pluginFolder)
      : PluginLuaGui(effect, nullptr, std::move(pluginFolder)) {
    resourceIds_.erase("gui.lua");
  }
  QW::UIElement* makeSlider(lua_State*, int, int32_t, float, float, float, float,
                            bool isHorizontal) override {
    horizontal.push_back(isHorizontal);
    return nullptr;
  }
  std::vector<bool> horizontal;
};

// knob() needs a renderer, and the plug-in's functions exist from createUI on.
const char kKnobSetUp[] =
    "function setUpKnobs()\n"
    "  theKnobRenderer = knobRenderer(texture('buttons.png'), texture('buttons_n.png'), 1, 1, "
    "37)\n"
    "end\n";

class LayoutScript : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veldrana-layout-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    resources = folder + "/Veldrana/Contents/Resources";
    fs::create_directories(resources);
    manager = std::make_unique<QW::Ovmanager>(fx.effect.get());
    QW::Manager::PlatformCallbacks callbacks;
    QwkTonalmire* effect = fx.effect.get();
    callbacks.beginEdit = [effect](int32_t index) { effect->beginEdit(index); };
    callbacks.endEdit = [effect](int32_t index) { effect->endEdit(index); };
    manager->setPlatform(nullptr, std::move(callbacks));
  }
  void TearDown() override {
    gui.reset();
    std::error_code ignored;
    if (!folder.empty()) fs::remove_all(folder, ignored);
  }

  // Builds the interface from script alone; answers what went to stderr.
  std::string build(const std::string& script) {
    std::ofstream(resources + "/gui.lua", std::ios::binary) << script;
    testing::internal::CaptureStderr();
    gui = std::make_unique<UserLayoutGui>(fx.effect.get(), folder);
    gui->attach(manager.get());
    return testing::internal::GetCapturedStderr();
  }

  // Runs code after the build; answers the error message, or "".
  std::string run(const std::string& code) {
    lua_State* L = gui->luaState();
    if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
      std::string message = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
      lua_pop(L, 1);
      return message;
    }
    return "";
  }

  template <class T>
  std::vector<T*> topOfType() const {
    std::vector<T*> found;
    for (QW::UIElement* e : manager->root()->children())
      if (auto* t = dynamic_cast<T*>(e)) found.push_back(t);
    return found;
  }

  EffectFixture fx;
  std::string folder, resources;
  std::unique_ptr<QW::Ovmanager> manager;
  std::unique_ptr<UserLayoutGui> gui;
};

TEST_F(LayoutScript, KnobTakesAnIgnoredSecondArgumentOrNone) {
  build(std::string(kKnobSetUp) +
        "function createUI()\n"
        "  setUpKnobs()\n"
        "  add(knob('Input Gain', 10, 20, 37))\n"
        "  add(knob('Input Gain', 'ignored', 10, 20, 37))\n"
        "  add(knob('Input Gain', nil, 10, 20, 37))\n"
        "end\n");
  const auto knobs = topOfType<QW::VeskKnob>();
  ASSERT_EQ(knobs.size(), 3u);
  for (QW::VeskKnob* k : knobs) {
    EXPECT_EQ(k->descriptor().index, kParamInputGain);
    EXPECT_FLOAT_EQ(k->bounds().minX, 10.0f);
    EXPECT_FLOAT_EQ(k->bounds().minY, 20.0f);
    EXPECT_FLOAT_EQ(k->bounds().width(), 37.0f);
  }
}

TEST_F(LayoutScript, GroupMarginsComeFromANumberOrATable) {
  build(
      "function createUI()\n"
      "  group('plain') group('four', 4) group('two', {1, 2}) group('all', {1, 2, 3, 4, 5})\n"
      "end\n");
  const auto groups = topOfType<QW::NamedGroup>();
  ASSERT_EQ(groups.size(), 4u);
  const std::vector<float> expected[] = {
      {10, 10, 10, 10}, {4, 4, 4, 4}, {1, 2, 0, 0}, {1, 2, 3, 4}};
  for (size_t i = 0; i < groups.size(); ++i) {
    const auto& m = groups[i]->margins();
    EXPECT_EQ((std::vector<float>{m.top, m.bottom, m.left, m.right}), expected[i]) << i;
  }
}

TEST_F(LayoutScript, SliderOrientationIsItsFirstLetter) {
  build(
      "function createUI()\n"
      "  slider('Dry Level', 0, 0, 10, 90, 'v') slider('Dry Level', 0, 0, 90, 10, 'h')\n"
      "  slider('Dry Level', 0, 0, 90, 10, 'horizontal')\n"
      "end\n");
  EXPECT_EQ(gui->horizontal, (std::vector<bool>{false, true, true}));
}

TEST_F(LayoutScript, SetParameterNotifiesTheHostOnlyWhenAsked) {
  build("");
  fx.host.clear();
  EXPECT_EQ(run("setParameter('Dry Level', 0.25, false)"), "");
  EXPECT_EQ(fx.host.count(vst::audioMasterAutomate), 0);
  EXPECT_EQ(run("setParameter('Dry Level', 0.5)"), "");
  for (const int32_t opcode :
       {vst::audioMasterBeginEdit, vst::audioMasterAutomate, vst::audioMasterEndEdit})
    EXPECT_EQ(fx.host.count(opcode), 1) << opcode;
  EXPECT_EQ(run("assert(getParameter('Dry Level') == 0.5 and getParameterID('Bin 7 Level') == 39)"),
            "");
}

TEST_F(LayoutScript, ArgumentErrorsHaveTheirTexts) {
  build(kKnobSetUp);
  const struct {
    const char* code;
    const char* message;
  } cases[] = {
      {"knob('Nope', 0, 0, 37)", "parameter not found: 'Nope'"},
      {"slider('Dry Level', 0, 0, 10, 10, 'diagonal')", "unknown slider orientation: diagonal"},
      {"luaButton(1, 'a', 'b', 'push', 0, 0, 1, 1)",
       "first argument to luaButton() is not a function"},
      {"texture('nothing.png')", "failed to find texture in resouce id lookup"},
      {"add(texture('buttons.png'))", "bad argument #1 to 'add' (element expected, got userdata)"},
      {"local m = levelMeters(texture('buttons.png'), 123, 0, 5, 81) m:add('left', 0, 0, 0)",
       "unknown level meter: left"},
      {"label('x', 0)", "bad argument #3 to 'label' (number expected, got no value)"},
  };
  const std::regex position(R"(^\[string ".*"\]:\d+: )");
  for (const auto& c : cases)
    EXPECT_EQ(std::regex_replace(run(c.code), position, ""), c.message) << c.code;
}

TEST_F(LayoutScript, BadScriptsAreReportedAndTheLayoutKeepsWhatWasMade) {
  const struct {
    const char* script;
    const char* error;
    size_t labels;
  } cases[] = {
      {"function createUI( end end\n", "failed to run buffer: ", 0},
      {"function createUI() add(label('a', 0, 0)) add(knob('Input Gain', 1, 2, 37)) end\n",
       "couldn't get theKnobRenderer", 1},
      {"function createUI() add(label('a', 0, 0)) os.exit(1) end\n", "os.exit", 1},
      {"function getWindowSize() while true do end end\n", "layout script ran too long", 0},
  };
  for (const auto& c : cases) {
    manager = std::make_unique<QW::Ovmanager>(fx.effect.get());
    const std::string errors = build(c.script);
    EXPECT_NE(errors.find(c.error), std::string::npos) << errors;
    EXPECT_EQ(topOfType<QW::Label>().size(), c.labels) << c.script;
  }
}

}  // namespace
