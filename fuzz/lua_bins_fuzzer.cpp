// libFuzzer target: spectral scripts' bin functions with any arguments
// (bins outside the frame, NaN, infinities, strings, nil, tables, none), in
// a spectral run at the FFT size the input picks, and outside any run, where
// they must read zeros. Input: FFT size and script position, the script
// parameters, the block size, then one record per call.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "core/ParamIds.h"
#include "fuzz/FuzzSupport.h"

namespace {

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
  if (choice < 128) return std::string("(") + kFixed[choice % std::size(kFixed)] + ")";
  if (choice < 192) return std::to_string(static_cast<int>(in.byte()) - 16);
  if (choice < 224) return std::to_string(in.byte()) + "." + std::to_string(in.byte());
  return "(" + std::to_string(static_cast<int32_t>(in.u32())) + " / 65536)";
}

// The body: `return function(state, probe) ... end`, one call a record;
// probe sees every value the bin functions return. Errors end the body, so
// some calls go through pcall.
std::string compileCalls(fuzz::Bytes& in) {
  std::string body = "return function(state, probe) local maxBin, r1, r2 = state.maxBin, 0, 0\n";
  for (int n = 0; n < 160 && in.left() > 0; ++n) {
    const uint8_t kind = in.byte();
    if (kind == 0xFF) {  // runaway and added scripts: in a spectral run only (the calls
                         // outside one have no instruction budget)
      body += "if not state.outside then while true do end end\n";
    } else if (kind % 16 == 15) {
      body += "if not state.outside then pcall(addSpectralScript, " + argument(in) +
              ", function() end) end\n";
    } else {
      const std::string fn = kBinFunctions[in.byte() % 7];
      std::string args;
      for (int i = kind / 16 % 5; i > 0; --i) args += ", " + argument(in);
      body += kind % 4 == 0 ? "r1, r2 = select(2, pcall(" + fn + args + "))"
                            : "r1, r2 = " + fn + "(" + args.substr(args.empty() ? 0 : 2) + ")";
      body += " probe(r1, r2)\n";
    }
  }
  return body + "end\n";
}

// Runs Lua text outside any spectral run, leaving `results` values; "" or
// the error.
std::string run(QW::LuaMIDIHelper& lua, const std::string& code, int results = 0) {
  lua_State* L = lua.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  if (luaL_loadbuffer(L, code.data(), code.size(), "=fuzz") == 0 &&
      lua_pcall(L, 0, results, 0) == 0)
    return "";
  std::string message = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
  lua_pop(L, 1);
  return message;
}

// A Scripts folder whose only "midi.lua" adds the spectral script "Fuzz",
// running whatever the input's calls were compiled into.
QwkTonalmire* makeScriptedEffect() {
  char dir[] = "/tmp/veldrana-lua-fuzz-XXXXXX";
  if (!mkdtemp(dir)) fuzz::fail("no temporary folder");
  const std::string script = std::string(dir) + "/midi.lua";
  std::ofstream(script) << "addSpectralScript('Fuzz', function(state)\n"
                           "  if fuzzbody then fuzzbody(state) end\n"
                           "end)\n";
  QwkTonalmire* effect = fuzz::makeEffect(dir).release();
  unlink(script.c_str());
  rmdir(dir);
  if (effect->spectralScripts().size() != 2) fuzz::fail("the Fuzz script did not load");
  if (!run(*effect->luaHelper(), "fuzzbody = function(state) fuzzcalls(state, function() end) end")
           .empty())
    fuzz::fail("fuzzbody");
  return effect;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QwkTonalmire* effect = makeScriptedEffect();
  QW::LuaMIDIHelper& lua = *effect->luaHelper();
  fuzz::Bytes in(data, size);
  const uint8_t shape = in.byte();
  effect->setParameterPlain(kParamFftSize, static_cast<float>(shape % 8), false);
  effect->setParameterPlain(kParamScriptPosition, (shape & 8) ? 1.0f : 0.0f, false);
  effect->setParameterPlain(kParamScriptIndex, 1.0f, false);
  effect->setParameterPlain(kParamScripted1, static_cast<float>(in.byte() % 201) - 100.0f, false);
  for (int p = kParamScripted2; p <= kParamScripted4; ++p)
    effect->setParameterPlain(p, static_cast<float>(in.byte()) / 255.0f, false);
  const int32_t blocks[] = {1, 5, 32, 64, 100, 512, 4096};
  const int32_t block = in.pick(blocks);

  const std::string body = compileCalls(in);
  const std::string error = run(lua, body, 1);
  if (!error.empty()) fuzz::fail("generated Lua did not compile: " + error + "\n" + body);
  const int top = [&] {
    std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
    lua_setglobal(lua.GetLuaState(), "fuzzcalls");
    return lua_gettop(lua.GetLuaState());
  }();

  // Outside a spectral run every read is zero and nothing breaks.
  const std::string outside = run(lua, R"(
    local function probe(...)
      for i = 1, select('#', ...) do
        local v = select(i, ...)
        if type(v) == 'number' and v ~= 0 then error('outside a spectral run a bin read ' .. v, 0) end
      end
    end
    local ok, message = pcall(fuzzcalls, {maxBin = 16, outside = true, param1 = 3, param2 = 0.5}, probe)
    if not ok and tostring(message):find('outside a spectral run') then error(message, 0) end)");
  if (!outside.empty()) fuzz::fail(outside + "\n" + body);

  // The spectral script runs the calls once per frame and channel.
  fuzz::runAudio(effect->getAeffect(), shape, 0.5f, block, 2 * (32 << (shape % 8)) + 7, false);
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  if (lua_gettop(lua.GetLuaState()) != top) fuzz::fail("a spectral run left values on the stack");
  // Scripts the input added go again, so the list stays as it was loaded.
  std::vector<SpectralScriptEntry>& scripts = effect->spectralScripts();
  for (; scripts.size() > 2; scripts.pop_back())
    luaL_unref(lua.GetLuaState(), LUA_REGISTRYINDEX, scripts.back().reference);
  return 0;
}
