// Bin addressing: bin k of a packed spectrum of N floats (maxBin = N/2) has
// its real part at f[k] and, for 0 < k < maxBin, its imaginary part at
// f[maxBin + k]; bins 0 and maxBin have none (it reads as 0 and writes to it
// are dropped). Any other bin reads as (0, 0) and ignores writes, and so
// does every bin outside a spectral run. These run up to thousands of times
// per frame on the audio thread: no allocation, only bounds checks.
#include "scripting/SpectralFunctions.h"

#include <cmath>
#include <limits>

namespace QW {
namespace {

using Helper = QwkTonalmire::BrvkLuaMIDIHelper;
constexpr int32_t kNoBin = -1;

Helper& helperOf(lua_State* L) {
  return *static_cast<Helper*>(lua_touserdata(L, lua_upvalueindex(1)));
}

// Numbers and numeric strings give their value, anything else 0; then
// truncated toward zero. Values no bin can have map to kNoBin.
int32_t binArgument(lua_State* L, int arg) {
  const double value = std::trunc(lua_tonumber(L, arg));
  if (!(value >= 0.0 && value <= std::numeric_limits<int32_t>::max())) return kNoBin;
  return static_cast<int32_t>(value);
}

float floatArgument(lua_State* L, int arg) {
  return static_cast<float>(lua_tonumber(L, arg));
}

struct Bin {
  float re = 0.0f;
  float im = 0.0f;
};

class Frame {
 public:
  explicit Frame(const Helper::SpectrumContext& context)
      : f_(context.spectrum), maxBin_(context.maxBin) {}

  bool valid(int32_t k) const { return f_ && k >= 0 && k <= maxBin_; }
  bool hasImaginary(int32_t k) const { return k > 0 && k < maxBin_; }

  Bin read(int32_t k) const {
    Bin bin;
    if (!valid(k)) return bin;
    bin.re = f_[k];
    if (hasImaginary(k)) bin.im = f_[maxBin_ + k];
    return bin;
  }

  void write(int32_t k, Bin bin) {
    if (!valid(k)) return;
    f_[k] = bin.re;
    if (hasImaginary(k)) f_[maxBin_ + k] = bin.im;
  }

 private:
  float* f_;
  int32_t maxBin_;
};

Frame frameOf(lua_State* L) {
  return Frame(helperOf(L).spectrum());
}

int addSpectralScript(lua_State* L) {
  Helper& helper = helperOf(L);
  luaL_checkstring(L, 1);
  if (!lua_isfunction(L, 2))
    return luaL_error(L, "second argument to addSpectralScript() is not a function");
  lua_pushvalue(L, 2);
  const int reference = luaL_ref(L, LUA_REGISTRYINDEX);
  size_t length = 0;
  const char* name = lua_tolstring(L, 1, &length);
  helper.tonalmire().spectralScripts().push_back(
      SpectralScriptEntry{std::string(name, length), reference});
  return 0;
}

int copyBin(lua_State* L) {
  Frame frame = frameOf(L);
  frame.write(binArgument(L, 2), frame.read(binArgument(L, 1)));
  return 0;
}

int multiplyBin(lua_State* L) {
  Frame frame = frameOf(L);
  const int32_t k = binArgument(L, 1);
  const float factor = floatArgument(L, 2);
  Bin bin = frame.read(k);
  bin.re *= factor;
  bin.im *= factor;
  frame.write(k, bin);
  return 0;
}

int swapBins(lua_State* L) {
  Frame frame = frameOf(L);
  const int32_t a = binArgument(L, 1);
  const int32_t b = binArgument(L, 2);
  const Bin binA = frame.read(a);
  const Bin binB = frame.read(b);
  frame.write(a, binB);
  frame.write(b, binA);
  return 0;
}

int getBin(lua_State* L) {
  const Bin bin = frameOf(L).read(binArgument(L, 1));
  lua_pushnumber(L, bin.re);
  lua_pushnumber(L, bin.im);
  return 2;
}

int setBin(lua_State* L) {
  Frame frame = frameOf(L);
  frame.write(binArgument(L, 1), Bin{floatArgument(L, 2), floatArgument(L, 3)});
  return 0;
}

int getBinMagnitudeSqr(lua_State* L) {
  const Bin bin = frameOf(L).read(binArgument(L, 1));
  const float magnitude = bin.re * bin.re + bin.im * bin.im;
  lua_pushnumber(L, magnitude);
  return 1;
}

int zeroBin(lua_State* L) {
  frameOf(L).write(binArgument(L, 1), Bin{});
  return 0;
}

const luaL_Reg kFunctions[] = {
    {"addSpectralScript", addSpectralScript},
    {"copyBin", copyBin},
    {"multiplyBin", multiplyBin},
    {"swapBins", swapBins},
    {"getBin", getBin},
    {"setBin", setBin},
    {"getBinMagnitudeSqr", getBinMagnitudeSqr},
    {"zeroBin", zeroBin},
};

}  // namespace

void registerSpectralFunctions(lua_State* L, QwkTonalmire::BrvkLuaMIDIHelper* helper) {
  for (const luaL_Reg& function : kFunctions) {
    lua_pushlightuserdata(L, helper);
    lua_pushcclosure(L, function.func, 1);
    lua_setglobal(L, function.name);
  }
}

}  // namespace QW
