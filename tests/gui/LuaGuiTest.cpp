// The layout-script host without a display: a real effect, the plug-in's
// manager and layout scripts written into a temporary bundle folder, seen
// through the element tree, the manager's layout state, the effect's
// parameters and what the host callback hears.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
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
#include "gui/TextField.h"
#include "gui/Texture.h"
#include "gui/WaveformDisplay.h"
#include "scripting/LuaHeaders.h"
#include "view/PluginLuaGui.h"

namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/veldrana-layout-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made) path_ = made;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The plug-in's host without the built-in script, so that the bundle's
// gui.lua is the whole layout (the built-in one would override it).
class UserLayoutGui : public PluginLuaGui {
 public:
  UserLayoutGui(QwkAuBase* effect, std::string pluginFolder)
      : PluginLuaGui(effect, nullptr, std::move(pluginFolder)) {
    resourceIds_.erase("gui.lua");
  }
};

// Records each slider's orientation: the plug-in's own host makes none.
class SliderGui : public UserLayoutGui {
 public:
  using UserLayoutGui::UserLayoutGui;
  QW::UIElement* makeSlider(lua_State*, int, int32_t, float, float, float, float,
                            bool isHorizontal) override {
    horizontal.push_back(isHorizontal);
    return nullptr;
  }
  std::vector<bool> horizontal;
};

// A knob renderer, so that knob() works; the plug-in's functions exist from
// createUI on, not while the chunk loads.
const char kKnobSetUp[] =
    "function setUpKnobs()\n"
    "  theKnobRenderer = knobRenderer(texture('buttons.png'), texture('buttons_n.png'), 1, 1, "
    "37)\n"
    "end\n";

class LayoutScript : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.path().empty());
    resources = folder.path() + "/Veldrana/Contents/Resources";
    fs::create_directories(resources);
    manager = std::make_unique<QW::Ovmanager>(fx.effect.get());
    QW::Manager::PlatformCallbacks callbacks;
    QwkTonalmire* effect = fx.effect.get();
    callbacks.beginEdit = [effect](int32_t index) { effect->beginEdit(index); };
    callbacks.endEdit = [effect](int32_t index) { effect->endEdit(index); };
    manager->setPlatform(nullptr, std::move(callbacks));
  }

  void writeFile(const std::string& name, const std::string& text) {
    std::ofstream(resources + "/" + name, std::ios::binary) << text;
  }

  // Builds the interface from script alone; answers what went to stderr.
  std::string build(const std::string& script) {
    writeFile("gui.lua", script);
    testing::internal::CaptureStderr();
    gui = std::make_unique<UserLayoutGui>(fx.effect.get(), folder.path());
    gui->attach(manager.get());
    return testing::internal::GetCapturedStderr();
  }

  // Runs code in the host's state after the build; answers the error
  // message, or "" when it ran.
  std::string run(const std::string& code) {
    lua_State* L = gui->luaState();
    if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
      std::string message = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
      lua_pop(L, 1);
      return message;
    }
    return "";
  }

  double number(const char* global) {
    lua_State* L = gui->luaState();
    lua_getglobal(L, global);
    const double value = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return value;
  }

  const std::vector<QW::UIElement*>& top() const { return manager->root()->children(); }

  template <class T>
  std::vector<T*> topOfType() const {
    std::vector<T*> found;
    for (QW::UIElement* e : top())
      if (auto* t = dynamic_cast<T*>(e)) found.push_back(t);
    return found;
  }

  EffectFixture fx;
  TempFolder folder;
  std::string resources;
  std::unique_ptr<QW::Ovmanager> manager;
  std::unique_ptr<UserLayoutGui> gui;
};

void press(QW::UIElement* element) {
  const QW::Point centre{element->bounds().centreX(), element->bounds().centreY()};
  element->mouseDown(centre, 0, 1);
  element->mouseUp(centre, 0);
}

TEST_F(LayoutScript, RegistersConstantsRegistryEntriesAndTheButtonLookupOnlyDuringCreateUI) {
  build(std::string("function createUI()\n") +
        "  duringCreateUI = debug.getregistry()['QWgui::kButtonLookup'] ~= nil\n"
        "end\n");
  EXPECT_EQ(run("assert(isMac == false and isWin == true and isVST == true and isAU == false)\n"
                "assert(isLinux == true)\n"
                "assert(majorVersion == 1 and minorVersion == 0 and dotVersion == 5)\n"
                "assert(version == 10005)\n"
                "assert(duringCreateUI == true)\n"
                "local r = debug.getregistry()\n"
                "assert(type(r['QWgui::kViewRefcon']) == 'userdata')\n"
                "assert(type(r['QWgui::kParamLookup']) == 'userdata')\n"
                "assert(r['QWgui::kButtonLookup'] == nil)\n"
                "assert(getChannelCount() == 2)\n"
                "assert(getParameterID('Bin 7 Level') == 39)\n"),
            "");
  lua_State* L = gui->luaState();
  lua_getfield(L, LUA_REGISTRYINDEX, "QWgui::kViewRefcon");
  EXPECT_EQ(lua_touserdata(L, -1), static_cast<QW::LuaGui*>(gui.get()));
  lua_pop(L, 1);
  EXPECT_EQ(gui->elementTypes(),
            (std::vector<std::string>{"QWgui.Element", "QWgui.Label", "QWgui.TextField",
                                      "QWgui.WaveformDisplay"}));
}

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

TEST_F(LayoutScript, KnobWithoutTheRendererEndsCreateUIThereAndKeepsWhatWasMade) {
  const std::string errors = build(
      "function createUI()\n"
      "  add(label('before', 0, 0))\n"
      "  add(knob('Input Gain', 10, 20, 37))\n"
      "  add(label('after', 0, 0))\n"
      "end\n");
  EXPECT_NE(errors.find("couldn't get theKnobRenderer"), std::string::npos) << errors;
  const auto labels = topOfType<QW::Label>();
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0]->text(), "before");
  EXPECT_TRUE(topOfType<QW::Knob>().empty());
}

TEST_F(LayoutScript, BannerPositionShowsTheTextUnlessToldFalse) {
  build("function getWindowSize() return 800, 400 end\n");
  EXPECT_EQ(run("setBannerPosition(300, false)"), "");
  EXPECT_EQ(manager->bannerContent(), QW::Manager::kBannerNone);
  EXPECT_FLOAT_EQ(manager->bannerBounds().minX, 20.0f);
  EXPECT_FLOAT_EQ(manager->bannerBounds().minY, 300.0f);
  EXPECT_FLOAT_EQ(manager->bannerBounds().maxX, 780.0f);
  EXPECT_GT(manager->bannerBounds().maxY, 300.0f);

  EXPECT_EQ(run("setBannerPosition(310)"), "");
  EXPECT_EQ(manager->bannerContent(), QW::Manager::kBannerMakerAndVersion);
  EXPECT_FLOAT_EQ(manager->bannerBounds().minY, 310.0f);
  EXPECT_EQ(run("setBannerPosition(300, false) setBannerPosition(320, true)"), "");
  EXPECT_EQ(manager->bannerContent(), QW::Manager::kBannerMakerAndVersion);

  EXPECT_EQ(run("setBannerContent('none', 5, 6)"), "");
  EXPECT_EQ(manager->bannerContent(), QW::Manager::kBannerNone);
  EXPECT_EQ(run("setBannerContent('nomaker', 5, 6)"), "");
  EXPECT_EQ(manager->bannerContent(), QW::Manager::kBannerVersion);
  EXPECT_EQ(run("setBannerContent('full', 5, 6)"), "");
  EXPECT_EQ(manager->bannerContent(), QW::Manager::kBannerMakerAndVersion);
}

TEST_F(LayoutScript, SetParameterNotifiesTheHostOnlyWhenAsked) {
  build("");
  fx.host.clear();
  EXPECT_EQ(run("setParameter('Dry Level', 0.25, false)"), "");
  EXPECT_FLOAT_EQ(fx.effect->getParameterPlain(kParamDryLevel), 0.25f);
  EXPECT_EQ(fx.host.count(vst::audioMasterBeginEdit), 0);
  EXPECT_EQ(fx.host.count(vst::audioMasterEndEdit), 0);
  EXPECT_EQ(fx.host.count(vst::audioMasterAutomate), 0);

  EXPECT_EQ(run("setParameter('Dry Level', 0.5)"), "");
  EXPECT_FLOAT_EQ(fx.effect->getParameterPlain(kParamDryLevel), 0.5f);
  EXPECT_EQ(fx.host.count(vst::audioMasterBeginEdit), 1);
  EXPECT_EQ(fx.host.count(vst::audioMasterAutomate), 1);
  EXPECT_EQ(fx.host.count(vst::audioMasterEndEdit), 1);
  EXPECT_EQ(manager->editedParameter(), -1);

  // By index, and notify given as a truth value.
  fx.host.clear();
  EXPECT_EQ(run("setParameter(32 + 5, 0.75, nil)"), "");
  EXPECT_FLOAT_EQ(fx.effect->getParameterPlain(32 + 5), 0.75f);
  EXPECT_EQ(fx.host.count(vst::audioMasterAutomate), 0);
  EXPECT_EQ(run("assert(getParameter('Bin 5 Level') == 0.75)"), "");
}

TEST_F(LayoutScript, GroupMarginsComeFromANumberOrATable) {
  build(
      "function createUI()\n"
      "  group('plain') group('four', 4) group('two', {1, 2}) group('all', {1, 2, 3, 4, 5})\n"
      "end\n");
  const auto groups = topOfType<QW::NamedGroup>();
  ASSERT_EQ(groups.size(), 4u);
  const auto margins = [](const QW::NamedGroup* g) {
    const auto& m = g->margins();
    return std::vector<float>{m.top, m.bottom, m.left, m.right};
  };
  EXPECT_EQ(groups[0]->name(), "plain");
  EXPECT_EQ(margins(groups[0]), (std::vector<float>{10, 10, 10, 10}));
  EXPECT_EQ(margins(groups[1]), (std::vector<float>{4, 4, 4, 4}));
  EXPECT_EQ(margins(groups[2]), (std::vector<float>{1, 2, 0, 0}));
  EXPECT_EQ(margins(groups[3]), (std::vector<float>{1, 2, 3, 4}));
}

TEST_F(LayoutScript, GroupsPlaceTheirBoundsAndReportThem) {
  build(
      "function createUI()\n"
      "  g = group('g', 5)\n"
      "  g:add(dropDown('FFT Size', 0, 0, 50, 12))\n"
      "  g:setPosition(100, 40)\n"
      "  x0, y0, x1, y1 = g:bounds()\n"
      "  g:setPosition(300, 30, true)\n"
      "  bx0, by0 = g:bounds()\n"
      "  w, h = g:width(), g:height()\n"
      "  g:setVisible(false)\n"
      "  hidden = not g:isVisible()\n"
      "end\n");
  EXPECT_DOUBLE_EQ(number("x0"), 95.0);
  EXPECT_DOUBLE_EQ(number("y0"), 35.0);
  EXPECT_DOUBLE_EQ(number("bx0"), 300.0);
  EXPECT_DOUBLE_EQ(number("by0"), 30.0);
  EXPECT_DOUBLE_EQ(number("w"), number("x1") - number("x0"));
  EXPECT_DOUBLE_EQ(number("h"), number("y1") - number("y0"));
  EXPECT_EQ(run("assert(hidden)"), "");
  const auto groups = topOfType<QW::NamedGroup>();
  ASSERT_EQ(groups.size(), 1u);
  ASSERT_EQ(groups[0]->children().size(), 1u);
  EXPECT_FALSE(groups[0]->children()[0]->isVisible());
}

TEST_F(LayoutScript, StateBelongsToStatefulButtonsOnly) {
  build(std::string(kKnobSetUp) +
        "function createUI()\n"
        "  setUpKnobs()\n"
        "  k = knob('Input Gain', 10, 20, 37)\n"
        "  k:setState(true)\n"
        "  knobState = k:getState()\n"
        "  k:setVisible(false)\n"
        "  knobVisible = elementIsVisible(k)\n"
        "  elementSetVisible(k, true)\n"
        "end\n");
  EXPECT_EQ(run("assert(knobState == false) assert(knobVisible == false)\n"
                "assert(k:isVisible() == true)"),
            "");
}

TEST_F(LayoutScript, LuaButtonsArePushButtonsThatRunTheirFunctionProtected) {
  build(
      "pressed = 0\n"
      "function createUI()\n"
      "  add(luaButton(function() pressed = pressed + 1 end, 'Go', 'Go on', 'toggle', 0, 0, 70, "
      "30))\n"
      "  add(luaButton(function() error('boom') end, 'Bad', 'Fails', 'push', 100, 0, 70, 30))\n"
      "end\n");
  const auto buttons = topOfType<QW::Button>();
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(dynamic_cast<QW::StatefulButton*>(buttons[0]), nullptr);
  EXPECT_EQ(manager->tooltipString(buttons[0]->id()), "Go on");
  EXPECT_EQ(manager->tooltipString(buttons[1]->id()), "Fails");
  EXPECT_LT(buttons[1]->id(), QW::Manager::kCapturePresetTooltip);
  press(buttons[0]);
  press(buttons[0]);
  EXPECT_DOUBLE_EQ(number("pressed"), 2.0);
  testing::internal::CaptureStderr();
  press(buttons[1]);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("boom"), std::string::npos) << errors;
  // A button released after its host is gone does nothing.
  gui.reset();
  press(buttons[0]);
}

TEST_F(LayoutScript, SecondChunkReplacesTheFirstOnesCreateUI) {
  // The bundle's gui.lua runs first; the built-in one then defines its own
  // createUI, which is the one that runs.
  writeFile("gui.lua", "function createUI() group('user') end\nuserChunkRan = true\n");
  testing::internal::CaptureStderr();
  auto full = std::make_unique<PluginLuaGui>(fx.effect.get(), nullptr, folder.path());
  full->attach(manager.get());
  testing::internal::GetCapturedStderr();
  std::vector<std::string> names;
  for (QW::UIElement* e : top())
    if (auto* g = dynamic_cast<QW::NamedGroup*>(e)) names.push_back(g->name());
  EXPECT_EQ(names, (std::vector<std::string>{"Process", "Mix", "View", "OSC", "Script"}));
  lua_State* L = full->luaState();
  lua_getglobal(L, "userChunkRan");
  EXPECT_TRUE(lua_toboolean(L, -1));
  lua_pop(L, 1);
}

TEST_F(LayoutScript, ArgumentErrorsHaveTheirTexts) {
  build(kKnobSetUp);
  struct Case {
    const char* code;
    const char* message;
  };
  const Case cases[] = {
      {"getParameterID('Nope')", "parameter not found: 'Nope'"},
      {"knob('Nope', 0, 0, 37)", "parameter not found: 'Nope'"},
      {"setParameter('Nope', 1)", "parameter not found: 'Nope'"},
      {"slider('Dry Level', 0, 0, 10, 10, 'diagonal')", "unknown slider orientation: diagonal"},
      {"slider('Dry Level', 0, 0, 10, 10, 'horizontal')", "no slider support"},
      {"button('Prefs', 'Prefs', 0, 0, 70, 30)", "no button lookup table"},
      {"luaButton(1, 'a', 'b', 'push', 0, 0, 1, 1)",
       "first argument to luaButton() is not a function"},
      {"texture('nothing.png')", "failed to find texture in resouce id lookup"},
      {"add(5)", "element expected"},
      {"add()", "bad argument #1 to 'add' (element expected, got no value)"},
      {"add(texture('buttons.png'))", "bad argument #1 to 'add' (element expected, got userdata)"},
      {"add(propertyButton(64008, 'a', 'b', 'toggle', 0, 0, 1, 1))",
       "bad argument #1 to 'add' (element expected, got userdata)"},
      {"add(propertyTriggerButton(64008, 'a', 'b', 0, 0, 1, 1))",
       "bad argument #1 to 'add' (element expected, got userdata)"},
      {"group('g').add(5, label('x', 0, 0))", "group expected"},
      {"label('x', 0, 0).setBackgroundColour(5, 1, 1, 1, 1)", "label expected"},
      {"textField('Dry Level', 0, 0, 1, 1).setTextColour(5, 1, 1, 1)", "textfield expected"},
      {"levelMeters(5, 123, 0, 5, 81)", "texture expected"},
      {"knobRenderer(texture('buttons.png'), 5, 1, 1, 37)", "texture expected"},
      {"setBackgroundTexture(texture('bgtile.png'))", "texture expected"},
      {"local m = levelMeters(texture('buttons.png'), 123, 0, 5, 81) m:add('input', 2, 0, 0)",
       "level meter index out of range: 2"},
      {"local m = levelMeters(texture('buttons.png'), 123, 0, 5, 81) m:add('left', 0, 0, 0)",
       "unknown level meter: left"},
      {"local m = levelMeters(texture('buttons.png'), 123, 0, 5, 81) m.add(5, 'input', 0, 0, 0)",
       "levelMeters expected"},
      {"waveformDisplay(0, 0, 10, 10).setFFTColour(5, 1, 1, 1)", "waveformDisplay expected"},
      {"waveformDisplay(0, 0, 10, 10).setSliderColours(label('x', 0, 0), 1, 1, 1, 1, 1, 1)",
       "waveformDisplay expected"},
      {"font(5)", "bad argument #1 to 'font' (function expected, got number)"},
      {"group()", "bad argument #1 to 'group' (string expected, got no value)"},
      {"label('x', 0)", "bad argument #3 to 'label' (number expected, got no value)"},
  };
  // Errors raised for a chunk's call carry its position first.
  const std::regex position(R"(^\[string ".*"\]:\d+: )");
  for (const Case& c : cases)
    EXPECT_EQ(std::regex_replace(run(c.code), position, ""), c.message) << c.code;
}

TEST_F(LayoutScript, SliderOrientationIsItsFirstLetter) {
  writeFile("gui.lua",
            "function createUI()\n"
            "  slider('Dry Level', 0, 0, 10, 90, 'v') slider('Dry Level', 0, 0, 90, 10, 'h')\n"
            "  slider('Dry Level', 0, 0, 90, 10, 'horizontal')\n"
            "end\n");
  testing::internal::CaptureStderr();
  SliderGui sliders(fx.effect.get(), folder.path());
  sliders.attach(manager.get());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(sliders.horizontal, (std::vector<bool>{false, true, true}));
}

TEST_F(LayoutScript, ButtonLooksUpItsNameDuringCreateUI) {
  const std::string errors = build(
      "function createUI()\n"
      "  add(button('Prefs', 'Prefs', 20, 30, 70, 30))\n"
      "  add(button('Nope', 'Nope', 100, 30, 70, 30))\n"
      "end\n");
  EXPECT_NE(errors.find("button not found: Nope"), std::string::npos) << errors;
  const auto buttons = topOfType<QW::VeskButton>();
  ASSERT_EQ(buttons.size(), 1u);
  EXPECT_EQ(buttons[0]->id(), QW::Manager::kPreferencesTooltip);
  EXPECT_EQ(buttons[0]->text(), "Prefs");
  EXPECT_EQ(manager->tooltipString(buttons[0]->id()), "Preferences");
}

TEST_F(LayoutScript, WindowSizeIsKeptWithinTheLayerPicture) {
  const struct {
    const char* body;
    QW::Size expected;
  } cases[] = {
      {"return 1024, 512", {1024, 512}}, {"return 300, '200'", {300, 200}},
      {"return 0, 0", {64, 32}},         {"return 100000, 100000", {1024, 512}},
      {"return -5, 0/0", {64, 32}},      {"return {}, 'wide'", {64, 32}},
      {"error('no size')", {64, 32}},
  };
  for (const auto& c : cases) {
    writeFile("gui.lua", std::string("function getWindowSize() ") + c.body + " end\n");
    testing::internal::CaptureStderr();
    UserLayoutGui sizer(fx.effect.get(), folder.path());
    const QW::Size size = sizer.windowSize();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(size.width, c.expected.width) << c.body;
    EXPECT_EQ(size.height, c.expected.height) << c.body;
  }
  build("function getWindowSize() return 640, 300 end\n");
  EXPECT_EQ(manager->windowSize().width, 640);
  EXPECT_EQ(manager->windowSize().height, 300);
}

TEST_F(LayoutScript, BadScriptsAreReportedAndTheLayoutBuildsWhatItCan) {
  // A syntax error: nothing of the chunk runs, the built-in layout stands.
  writeFile("gui.lua", "function createUI( group('x') end end\n");
  testing::internal::CaptureStderr();
  {
    PluginLuaGui full(fx.effect.get(), nullptr, folder.path());
    full.attach(manager.get());
  }
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("failed to run buffer: "), std::string::npos) << errors;
  EXPECT_EQ(topOfType<QW::NamedGroup>().size(), 5u);

  // A runtime error at load time, fonts that are not lists, unknown names
  // and missing images: reported, what came before stays.
  manager = std::make_unique<QW::Ovmanager>(fx.effect.get());
  writeFile("custom.png", "not a png");
  errors = build(
      "function getFont() return 'tahoma.ttf' end\n"
      "function getLabelFont() return { 5, { name = 'x' } } end\n"
      "function getTextFieldFont() error('no fonts') end\n"
      "local broken = nil\n"
      "broken.field = 1\n"
      "function createUI() add(label('never', 0, 0)) end\n");
  EXPECT_NE(errors.find("failed to run buffer: "), std::string::npos) << errors;
  EXPECT_EQ(manager->mainFont(), nullptr);
  EXPECT_EQ(manager->labelFont(), nullptr);
  EXPECT_EQ(manager->textFieldFont(), nullptr);
  // The chunk stopped before createUI was defined.
  EXPECT_TRUE(topOfType<QW::Label>().empty());

  errors = build(std::string(kKnobSetUp) +
                 "function createUI()\n"
                 "  setUpKnobs()\n"
                 "  custom = texture('custom.png')\n"
                 "  add(knob('Dry Level', 0, 0, 37))\n"
                 "  add(knob('No Such Parameter', 50, 0, 37))\n"
                 "  add(knob('Wet Level', 100, 0, 37))\n"
                 "end\n");
  EXPECT_NE(errors.find("parameter not found: 'No Such Parameter'"), std::string::npos) << errors;
  const auto knobs = topOfType<QW::Knob>();
  ASSERT_EQ(knobs.size(), 1u);
  EXPECT_EQ(knobs[0]->descriptor().index, kParamDryLevel);
  bool bundleTexture = false;
  for (const auto& t : manager->textures())
    bundleTexture = bundleTexture || t->path == resources + "/custom.png";
  EXPECT_TRUE(bundleTexture);
}

TEST_F(LayoutScript, RunawayScriptsAndExitAreStopped) {
  const std::string errors = build(
      "function createUI()\n"
      "  add(label('before', 0, 0))\n"
      "  os.exit(1)\n"
      "end\n"
      "function getWindowSize() while true do end end\n");
  EXPECT_NE(errors.find("layout script ran too long"), std::string::npos) << errors;
  EXPECT_NE(errors.find("os.exit"), std::string::npos) << errors;
  EXPECT_EQ(manager->windowSize().width, QW::LuaGui::kMinWindowSize.width);
  EXPECT_EQ(topOfType<QW::Label>().size(), 1u);
}

TEST_F(LayoutScript, PlugInFunctionsMakeMetersDisplayAndBackground) {
  build(
      "function createUI()\n"
      "  local atlas = texture('buttons.png')\n"
      "  local bg, bgn = texture('bgtile.png'), texture('bgtile_n.png')\n"
      "  setBackgroundTexture(bg, bgn)\n"
      "  local m = levelMeters(atlas, 123, 0, 5, 81)\n"
      "  m:add('input', 0, 10, 10) m:add('output', 1, 20, 10)\n"
      "  local d = waveformDisplay(10, 100, 1004, 335)\n"
      "  d:setFFTColour(0.4, 0.1, 0.45)\n"
      "  add(d)\n"
      "end\n");
  const auto displays = topOfType<QW::WaveformDisplay>();
  ASSERT_EQ(displays.size(), 1u);
  EXPECT_FLOAT_EQ(displays[0]->bounds().minY, 100.0f);
  EXPECT_FLOAT_EQ(displays[0]->bounds().width(), 1004.0f);
  int deferred = 0;
  for (const auto& t : manager->textures()) deferred += t->deferred ? 1 : 0;
  EXPECT_EQ(deferred, 1);
  ASSERT_EQ(manager->textures().size(), 3u);
  EXPECT_TRUE(manager->textures()[1]->deferred);
  EXPECT_EQ(manager->textures()[1]->resourceId, 121);
}

}  // namespace
