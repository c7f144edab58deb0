// libFuzzer target: any text as the editor's layout script (the bundle's
// gui.lua, the built-in one left out), through the plug-in's layout host into
// its manager without a display, then its buttons pressed. Every input must
// leave a window inside the layer picture.
#include <sys/stat.h>

#include <fstream>

#include "fuzz/FuzzSupport.h"
#include "gui/Button.h"
#include "gui/Group.h"
#include "gui/Ovmanager.h"
#include "view/PluginLuaGui.h"

namespace {

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

void pressButtons(QW::Group* group, int& budget, int depth = 0) {
  for (QW::UIElement* child : group->children()) {
    if (auto* button = dynamic_cast<QW::Button*>(child); button && budget-- > 0) {
      const QW::Point centre{button->bounds().centreX(), button->bounds().centreY()};
      button->mouseDown(centre, 0, 1);
      button->mouseUp(centre, 0);
    }
    if (auto* inner = dynamic_cast<QW::Group*>(child); inner && depth < 64)
      pressButtons(inner, budget, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QwkTonalmire* effect = fuzz::makeEffect().release();
  static const std::string folder = [] {
    char pattern[] = "/tmp/veldrana-layout-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) fuzz::fail("no temporary folder");
    for (const char* part : {"/Veldrana", "/Veldrana/Contents", "/Veldrana/Contents/Resources"})
      if (mkdir((std::string(pattern) + part).c_str(), 0700) != 0)
        fuzz::fail("cannot make the bundle folder");
    return std::string(pattern);
  }();
  std::ofstream(folder + "/Veldrana/Contents/Resources/gui.lua", std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  auto manager = std::make_unique<QW::Ovmanager>(effect);
  {
    FuzzLayoutGui gui(effect, folder);
    gui.attach(manager.get());
    const QW::Size window = manager->windowSize();
    if (window.width < QW::LuaGui::kMinWindowSize.width ||
        window.width > QW::LuaGui::kMaxWindowSize.width ||
        window.height < QW::LuaGui::kMinWindowSize.height ||
        window.height > QW::LuaGui::kMaxWindowSize.height)
      fuzz::fail("window size outside the layer picture");
    int budget = 8;
    pressButtons(manager->root(), budget);
  }
  // The host is gone first, as at editor close; its buttons must not reach it.
  int budget = 1;
  pressButtons(manager->root(), budget);
  return 0;
}
