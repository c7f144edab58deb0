// libFuzzer target: arbitrary text as the editor's layout script (the
// bundle's gui.lua, with the built-in one left out so the input is the whole
// layout), run through the plug-in's layout host into the plug-in's manager
// without a display: registration, loading, the window size, the three font
// lists, createUI, then every button the script made is pressed. The host
// must survive every input with a window inside the layer picture.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "gui/Button.h"
#include "gui/Group.h"
#include "gui/Ovmanager.h"
#include "view/PluginLuaGui.h"

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "layout_script_fuzzer: %s\n", what.c_str());
  std::abort();
}

// The plug-in's host with only the bundle's script, without the functions
// that reach files, processes or the network, and with a small instruction
// budget so endless loops end quickly.
class FuzzLayoutGui : public PluginLuaGui {
 public:
  FuzzLayoutGui(QwkAuBase* effect, std::string pluginFolder)
      : PluginLuaGui(effect, nullptr, std::move(pluginFolder)) {
    resourceIds_.erase("gui.lua");
    setInstructionBudget(2000000);
  }

 protected:
  void prepareState(lua_State* L) override {
    for (const char* name : {"io", "os", "dofile", "loadfile", "require", "module", "package",
                             "sendOSC", "setStringProperty"}) {
      lua_pushnil(L);
      lua_setglobal(L, name);
    }
  }
};

struct Fixture {
  Fixture() {
    char pattern[] = "/tmp/veldrana-layout-fuzz-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) fail("no temporary folder");
    folder = dir;
    for (const char* part : {"/Veldrana", "/Veldrana/Contents", "/Veldrana/Contents/Resources"}) {
      if (mkdir((folder + part).c_str(), 0700) != 0) fail("cannot make the bundle folder");
    }
    script = folder + "/Veldrana/Contents/Resources/gui.lua";
  }

  std::unique_ptr<QwkTonalmire> effect = fuzz::makeEffect();
  std::string folder;
  std::string script;
};

Fixture& fixture() {
  static Fixture* f = new Fixture;  // kept to the end: the OSC threads run until exit
  return *f;
}

void collectButtons(QW::Group* group, std::vector<QW::Button*>& out, int depth) {
  if (depth > 64) return;
  for (QW::UIElement* child : group->children()) {
    if (auto* button = dynamic_cast<QW::Button*>(child)) out.push_back(button);
    if (auto* inner = dynamic_cast<QW::Group*>(child)) collectButtons(inner, out, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = fixture();
  {
    std::ofstream out(f.script, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  auto manager = std::make_unique<QW::Ovmanager>(f.effect.get());
  {
    FuzzLayoutGui gui(f.effect.get(), f.folder);
    gui.attach(manager.get());
    const QW::Size window = manager->windowSize();
    if (window.width < QW::LuaGui::kMinWindowSize.width ||
        window.width > QW::LuaGui::kMaxWindowSize.width ||
        window.height < QW::LuaGui::kMinWindowSize.height ||
        window.height > QW::LuaGui::kMaxWindowSize.height)
      fail("window size outside the layer picture");

    std::vector<QW::Button*> buttons;
    collectButtons(manager->root(), buttons, 0);
    if (buttons.size() > 8) buttons.resize(8);
    for (QW::Button* button : buttons) {
      const QW::Point centre{button->bounds().centreX(), button->bounds().centreY()};
      button->mouseDown(centre, 0, 1);
      button->mouseUp(centre, 0);
    }
  }
  // The host is gone first, as at editor close; its buttons must not reach it.
  std::vector<QW::Button*> buttons;
  collectButtons(manager->root(), buttons, 0);
  if (!buttons.empty()) {
    QW::Button* button = buttons.front();
    const QW::Point centre{button->bounds().centreX(), button->bounds().centreY()};
    button->mouseDown(centre, 0, 1);
    button->mouseUp(centre, 0);
  }
  return 0;
}
