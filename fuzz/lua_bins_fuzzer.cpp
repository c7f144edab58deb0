// libFuzzer target: the bin functions of spectral scripts called with
// whatever arguments the input picks (bins far outside the frame, huge,
// negative and fractional numbers, NaN, infinities, numeric and other
// strings, nil, tables, functions, missing arguments), from a spectral
// script the effect's kernels run at the FFT size the input picks, and the
// same calls outside any spectral run, where they must read zeros.
//
// Input: FFT size and script position, the four script parameters, the
// block size, then one record per call (kind byte, argument bytes).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr int kMaxCalls = 160;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "lua_bins_fuzzer: %s\n", what.c_str());
  std::abort();
}

// A Scripts folder with only a "midi.lua" that adds one spectral script,
// "Fuzz", running whatever the input's calls were compiled into.
std::unique_ptr<QwkTonalmire> makeScriptedEffect() {
  char pattern[] = "/tmp/veldrana-lua-fuzz-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (!dir) fail("no temporary folder");
  const std::string script = std::string(dir) + "/midi.lua";
  std::ofstream(script) << "addSpectralScript('Fuzz', function(state)\n"
                           "  if fuzzbody then fuzzbody(state) end\n"
                           "end)\n";
  auto effect = fuzz::makeEffect(dir);
  unlink(script.c_str());
  rmdir(dir);
  if (effect->spectralScripts().size() != 2) fail("the Fuzz script did not load");
  return effect;
}

struct Fixture {
  std::unique_ptr<QwkTonalmire> effect = makeScriptedEffect();
  vst::AEffect* e = effect->getAeffect();
  QW::LuaMIDIHelper& lua = *effect->luaHelper();
  fuzz::AudioRun audio{e};
};

Fixture& fixture() {
  static Fixture* f = new Fixture;  // kept to the end: the OSC threads run until exit
  return *f;
}

const char* const kBinFunctions[] = {"getBin",      "setBin",  "copyBin",           "swapBins",
                                     "multiplyBin", "zeroBin", "getBinMagnitudeSqr"};

// Argument expressions: every kind of value the functions may be handed.
std::string argument(fuzz::Bytes& in) {
  static const char* const kFixed[] = {
      "0",       "1",        "maxBin",     "maxBin + 1",   "maxBin - 1",
      "-1",      "1e300",    "-1e300",     "2^31",         "2^31 - 1",
      "-2^31",   "2^32 + 3", "2^53",       "(0/0)",        "(1/0)",
      "(-1/0)",  "'7'",      "'x'",        "' 3 '",        "'0x10'",
      "'1e999'", "nil",      "{}",         "true",         "r1",
      "r2",      "print",    "state",      "-0.5",         "1e-45",
      "3.4e38",  "-3.5e38",  "maxBin / 2", "state.param1", "state.param2 * maxBin",
      "''"};
  const uint8_t choice = in.byte();
  if (choice < 128)
    return std::string("(") + kFixed[choice % (sizeof kFixed / sizeof *kFixed)] + ")";
  if (choice < 192) return std::to_string(static_cast<int>(in.byte()) - 16);
  if (choice < 224) return std::to_string(in.byte()) + "." + std::to_string(in.byte());
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(in.f32()));
  // %g writes nan and inf, which are no Lua numbers.
  const std::string s = text;
  if (s.find("nan") != std::string::npos) return "(0/0)";
  if (s.find("inf") != std::string::npos) return s[0] == '-' ? "(-1/0)" : "(1/0)";
  return "(" + s + ")";
}

// A start for a bounded loop: Lua runs `for i = x, x + n` forever when x is
// infinite, and the calls outside a spectral run have no instruction budget.
std::string loopStart(fuzz::Bytes& in) {
  static const char* const kStarts[] = {"0",        "-3",   "maxBin - 8", "maxBin",
                                        "2^31 - 4", "-0.5", "1.5"};
  return in.pick(kStarts);
}

std::string call(fuzz::Bytes& in) {
  const std::string fn = kBinFunctions[in.byte() % 7];
  switch (in.byte() % 4) {
    case 0:
      return fn + "()";
    case 1:
      return fn + "(" + argument(in) + ")";
    case 2:
      return fn + "(" + argument(in) + ", " + argument(in) + ")";
    default:
      return fn + "(" + argument(in) + ", " + argument(in) + ", " + argument(in) + ", " +
             argument(in) + ")";
  }
}

// The body: `return function(state, probe) ... end`. probe sees every value
// the bin functions return.
std::string compileCalls(fuzz::Bytes& in) {
  std::string body =
      "return function(state, probe)\n"
      "local maxBin = state.maxBin\n"
      "local r1, r2 = 0, 0\n";
  for (int n = 0; n < kMaxCalls && in.left() > 0; ++n) {
    const uint8_t kind = in.byte();
    switch (kind % 12) {
      case 0:
      case 1:
        body += "r1, r2 = getBin(" + argument(in) + ") probe(r1, r2)\n";
        break;
      case 2:
        body += "r1 = getBinMagnitudeSqr(" + argument(in) + ") probe(r1, 0)\n";
        break;
      case 3:
        body += "setBin(" + argument(in) + ", " + argument(in) + ", " + argument(in) + ")\n";
        break;
      case 4:
        body += "copyBin(" + argument(in) + ", " + argument(in) + ")\n";
        break;
      case 5:
        body += "swapBins(" + argument(in) + ", " + argument(in) + ")\n";
        break;
      case 6:
        body += "multiplyBin(" + argument(in) + ", " + argument(in) + ")\n";
        break;
      case 7:
        body += "zeroBin(" + argument(in) + ")\n";
        break;
      case 8: {  // a bounded sweep
        const std::string start = loopStart(in);
        const std::string fn = kBinFunctions[in.byte() % 7];
        body += "for i = " + start + ", " + start + " + " + std::to_string(in.byte() % 70) +
                " do probe(" + fn + "(i, " + argument(in) + ", " + argument(in) + ")) end\n";
        break;
      }
      case 9:
        body += "probe(pcall(function() return " + call(in) + " end))\n";
        break;
      case 10:
        body += call(in) + "\n";
        break;
      default:
        // A script may add scripts at any time, and may run away; both only
        // in a spectral run (the calls outside have no instruction budget).
        if (kind == 0xFF) {
          body += "if not state.outside then while true do end end\n";
        } else {
          body += "if not state.outside then pcall(addSpectralScript, " + argument(in) +
                  ", function() end) end\n";
        }
        break;
    }
  }
  return body + "end\n";
}

// Compiles the body and stores it as the global fuzzcalls; "" or the error.
std::string load(QW::LuaMIDIHelper& lua, const std::string& body) {
  lua_State* L = lua.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  if (luaL_loadbuffer(L, body.data(), body.size(), "=fuzz") != 0 || lua_pcall(L, 0, 1, 0) != 0) {
    std::string message = lua_tostring(L, -1);
    lua_pop(L, 1);
    return message;
  }
  lua_setglobal(L, "fuzzcalls");
  return "";
}

// Runs Lua text outside any spectral run; "" or the error.
std::string run(QW::LuaMIDIHelper& lua, const char* code) {
  lua_State* L = lua.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  if (luaL_loadstring(L, code) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
    std::string message = lua_tostring(L, -1);
    lua_pop(L, 1);
    return message;
  }
  return "";
}

int stackTop(QW::LuaMIDIHelper& lua) {
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  return lua_gettop(lua.GetLuaState());
}

// Scripts the input added go again, so the list stays as it was loaded.
void dropAddedScripts(Fixture& f) {
  std::vector<SpectralScriptEntry>& scripts = f.effect->spectralScripts();
  lua_State* L = f.lua.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(f.lua.LuaLock());
  while (scripts.size() > 2) {
    luaL_unref(L, LUA_REGISTRYINDEX, scripts.back().reference);
    scripts.pop_back();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = fixture();
  fuzz::Bytes in(data, size);
  const uint8_t shape = in.byte();
  const int sizeIndex = shape % 8;
  f.effect->setParameterPlain(kParamFftSize, static_cast<float>(sizeIndex), false);
  f.effect->setParameterPlain(kParamScriptPosition, (shape & 8) ? 1.0f : 0.0f, false);
  f.effect->setParameterPlain(kParamScriptIndex, 1.0f, false);
  f.effect->setParameterPlain(kParamScripted1, static_cast<float>(in.byte() % 201) - 100.0f, false);
  for (int p = kParamScripted2; p <= kParamScripted4; ++p)
    f.effect->setParameterPlain(p, static_cast<float>(in.byte()) / 255.0f, false);
  static const int32_t kBlocks[] = {1, 5, 32, 64, 100, 512, 4096};
  const int32_t block = kBlocks[in.byte() % 7];

  const std::string body = compileCalls(in);
  const std::string error = load(f.lua, body);
  if (!error.empty()) fail("generated Lua did not compile: " + error + "\n" + body);
  const int top = stackTop(f.lua);

  // Outside a spectral run every read is zero and nothing breaks.
  const std::string outside =
      run(f.lua,
          "local function probe(...)\n"
          "  for i = 1, select('#', ...) do\n"
          "    local v = select(i, ...)\n"
          "    if type(v) == 'number' and v ~= 0 then\n"
          "      error('outside a spectral run a bin read ' .. v, 0)\n"
          "    end\n"
          "  end\n"
          "end\n"
          "local ok, message = pcall(fuzzcalls,\n"
          "  {maxBin = 16, outside = true, param1 = 3, param2 = 0.5}, probe)\n"
          "if not ok and tostring(message):find('outside a spectral run')\n"
          "then error(message, 0) end\n");
  if (!outside.empty()) fail(outside + "\n" + body);

  // The spectral script runs the calls once per frame and channel.
  if (!run(f.lua, "fuzzbody = function(state) fuzzcalls(state, function() end) end").empty())
    fail("fuzzbody");
  const int32_t n = 32 << sizeIndex;
  f.audio.run(shape, 0.5f, block, 2 * n + 7, false);

  if (stackTop(f.lua) != top) fail("a spectral run left values on the Lua stack");
  dropAddedScripts(f);
  return 0;
}
