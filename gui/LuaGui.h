// The layout-script host. The editor's whole layout is a Lua script
// (gui.lua): it answers the window size and the fonts and builds the element
// tree in its createUI function through the QWgui functions registered here.
// Each host owns a Lua state of its own, apart from the MIDI scripting
// state; the concrete widgets behind knob(), dropDown() and the buttons come
// from the factories a subclass implements.
//
// Everything runs on the host's user-interface thread: registration and
// loading when the host is made, createUI in attach, luaButton functions
// when their button is released. Script errors never leave the host: every
// entry into the state is a protected call, and errors are printed.
//
// Lua errors unwind with longjmp, which skips C++ destructors: the functions
// bound into the state check all their arguments before they make anything
// that owns memory, and factories raise only before they build anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/Font.h"
#include "gui/ViewGeometry.h"

struct lua_Debug;
struct lua_State;
class QwkAuBase;

namespace QW {

class Button;
class Manager;
class UIElement;

class LuaGui {
 public:
  // What a button made by the script does when it is released.
  using ButtonAction = std::function<void(Button*)>;
  // A button the program offers to the script by name (button()): what it
  // does, given the button and this host, and its tooltip id.
  struct ButtonEntry {
    std::function<void(Button*, LuaGui*)> callback;
    int32_t id = -1;
  };
  using ButtonLookup = std::map<std::string, ButtonEntry, std::less<>>;
  // Parameter name to index (lookups by const char* make no temporary).
  using ParameterLookup = std::map<std::string, int32_t, std::less<>>;

  // A layout may not ask for a window smaller than this: a window of a few
  // pixels could not even show the banner, and a zero size would make the
  // view's scale factors infinite. The upper bound is the layer picture.
  static constexpr Size kMinWindowSize{64, 32};
  static constexpr Size kMaxWindowSize = QW::kMaxWindowSize;

  // A runaway script (an endless loop in createUI or in a button function)
  // must not hang the host's user-interface thread: every entry into the
  // state may run this many Lua instructions, then it fails.
  static constexpr int64_t kInstructionBudget = 200000000;
  // Memory the state may hold; a script that wants more gets a Lua memory
  // error instead of exhausting the host.
  static constexpr size_t kMemoryLimit = size_t{64} << 20;

  // pluginFolder: the folder of the plug-in file; the bundle folder is that
  // folder joined with the effect's display name (property 64002). Empty:
  // no file is looked for, only the built-in resources.
  LuaGui(QwkAuBase* effect, std::string pluginFolder);
  virtual ~LuaGui();
  LuaGui(const LuaGui&) = delete;
  LuaGui& operator=(const LuaGui&) = delete;

  // The folder of the module this code was loaded from; empty when it
  // cannot be found.
  static std::string moduleFolder();

  // Builds the interface into manager (not owned; it must outlive this
  // host): registers the functions and loads the scripts, reads the fonts,
  // registers the reserved tooltips, sets the window size and runs
  // createUI with the button lookup of this host.
  virtual void attach(Manager* manager);

  // The size the layout asks for (getWindowSize), kept between
  // kMinWindowSize and kMaxWindowSize; registration and loading happen on
  // first use. Works without a manager.
  Size windowSize();

  Manager* manager() const { return manager_; }
  QwkAuBase* effect() const { return effect_; }
  const std::string& pluginFolder() const { return pluginFolder_; }
  const std::string& bundleFolder() const { return bundleFolder_; }
  // Null until the functions are registered.
  lua_State* luaState() const { return lua_; }
  // Metatable names whose objects add() accepts.
  const std::vector<std::string>& elementTypes() const { return elementTypes_; }
  const std::map<std::string, int, std::less<>>& resourceIds() const { return resourceIds_; }

  // Bundle folder + "/Contents/Resources/" + name; empty without a bundle.
  std::string bundleResourcePath(const std::string& name) const;
  // The index of a parameter name; -1 when there is none.
  int32_t parameterIndex(const char* name) const;
  // Indices 0 .. parameterCount() - 1 name the effect's parameters.
  int32_t parameterCount() const { return parameterCount_; }
  // The first font found from the candidate list at index of L's stack (a
  // table of { name = file, size = points }); null when none is found.
  // Entries that are not tables end the list. May raise Lua errors.
  std::unique_ptr<Font> fontFromList(lua_State* L, int index);

  // ---- Factories (the element belongs to the manager; null: nothing made).
  // They may raise Lua errors, but only before they make anything.
  virtual UIElement* makeKnob(lua_State* L, int32_t parameter, float x, float y, float size) = 0;
  virtual UIElement* makeSlider(lua_State* L, int argumentCount, int32_t parameter, float x,
                                float y, float width, float height, bool horizontal) = 0;
  virtual UIElement* makeButton(lua_State* L, int argumentCount, const std::string& text,
                                ButtonAction action, float x, float y, float width, float height,
                                int32_t id) = 0;
  virtual UIElement* makeLuaButton(lua_State* L, int argumentCount, const std::string& text,
                                   ButtonAction action, float x, float y, float width, float height,
                                   int32_t id, bool toggle) = 0;
  virtual UIElement* makePropertyTriggerButton(lua_State* L, int argumentCount,
                                               const std::string& text, ButtonAction action,
                                               float x, float y, float width, float height,
                                               int32_t id) = 0;
  // mode: 1 toggle, 2 indicator, 0 push.
  virtual UIElement* makePropertyButton(lua_State* L, int argumentCount, const std::string& text,
                                        uint32_t propertyId, float x, float y, float width,
                                        float height, int32_t id, int mode) = 0;
  virtual UIElement* makeDropDown(lua_State* L, int32_t parameter, float x, float y, float width,
                                  float height) = 0;

  // What the script's buttons do; once this host is gone they do nothing
  // (the manager and its buttons outlive it briefly at close).
  // A luaButton: the registry-referenced function, called without arguments
  // in protected mode; errors are printed and otherwise ignored.
  ButtonAction luaFunctionAction(int reference);
  // A button() entry: its callback with this host.
  ButtonAction namedButtonAction(const ButtonEntry& entry);
  // A property trigger: the effect property set to the one-byte value 1.
  ButtonAction propertyTriggerAction(uint32_t propertyId);

 protected:
  // Further metatable names that count as elements.
  virtual void addElementTypes(std::vector<std::string>& /*types*/) {}
  // The named buttons the program offers to createUI.
  virtual void addButtons(ButtonLookup& /*lookup*/) {}
  // The program's own functions and types, registered after the scripts
  // are loaded and before createUI runs (inside a protected call).
  virtual void registerExtensions(lua_State* /*L*/) {}

  // The last step of registration, before any script runs: a subclass may
  // take functions away or add its own (inside a protected call).
  virtual void prepareState(lua_State* /*L*/) {}

  // Registration and loading, once per host.
  void ensureLoaded();
  // Instructions each later entry into the state may run.
  void setInstructionBudget(int64_t instructions) { instructionBudget_ = instructions; }

  // Filled by the subclass: file name to resource id.
  std::map<std::string, int, std::less<>> resourceIds_;

 private:
  static void* allocate(void* ud, void* block, size_t oldSize, size_t newSize);
  static void countHook(lua_State* L, lua_Debug* ar);
  static int registerAll(lua_State* L);
  static int loadAttempt(lua_State* L);
  static int callForWindowSize(lua_State* L);
  static int callForFont(lua_State* L);
  static int callCreateUI(lua_State* L);
  static int callReference(lua_State* L);
  static int callExtensions(lua_State* L);
  static int setButtonLookup(lua_State* L);

  void loadScripts();
  // Runs fn(L) in protected mode with a fresh budget; the error text, if
  // any, goes to the debug output with the given format.
  bool protectedCall(int (*fn)(lua_State*), void* argument, const char* errorFormat);
  std::unique_ptr<Font> readFont(const char* function);
  void buildParameterLookup();
  std::string propertyText(uint32_t property) const;

  Manager* manager_ = nullptr;
  std::string pluginFolder_;
  std::string bundleFolder_;
  lua_State* lua_ = nullptr;
  bool loaded_ = false;
  std::vector<std::string> elementTypes_;
  QwkAuBase* effect_;
  ParameterLookup parameters_;
  int32_t parameterCount_ = 0;
  // Filled by fontFromList; a member, so a Lua error half-way leaks nothing.
  std::vector<FontCandidate> fontCandidates_;
  size_t memoryInUse_ = 0;
  int64_t instructionBudget_ = kInstructionBudget;
  int64_t instructionsLeft_ = 0;
  // Handed to button callbacks: they do nothing once the host is gone.
  std::shared_ptr<LuaGui*> alive_;
};

}  // namespace QW
