-- Veldrana's built-in MIDI script.
--
-- 1. Maps MIDI controllers to the effect's parameters: every parameter
--    below "Bin 0 Level" gets the next free controller number from 0 up,
--    skipping the controllers that usually mean something else (1 mod wheel,
--    7 volume, 10 pan, 64 sustain) and the four of NRPN (99, 98, 6, 38).
-- 2. Registers the six built-in spectral scripts.
--
-- A user script named "midi.lua" in the Scripts folder replaces this one.

local skippedControllers = {
  [1] = true, [7] = true, [10] = true, [64] = true,
  [99] = true, [98] = true, [6] = true, [38] = true,
}

local kUnitIndexed = 1
local kUnitBoolean = 2
local kUnitHertz = 8
local kUnitBeats = 23

-- controller number -> parameter index
local controllerMap = {}

local firstBin = getParameterID("Bin 0 Level")
local nextController = 0
for index = 0, firstBin - 1 do
  if isParameterUsed(index) then
    while skippedControllers[nextController] do
      nextController = nextController + 1
    end
    controllerMap[nextController] = index
    nextController = nextController + 1
  end
end

-- A 7-bit controller value as a plain value of the parameter. The range is
-- read when the message comes, not at load time: "Script Index" only gets
-- its maximum after every script has loaded.
local function scaleController(index, value)
  local minimum, maximum = getParameterMinMax(index)
  local unit = getParameterUnit(index)
  local x
  if minimum < 0 and maximum > 0 then
    -- 64 is the middle of the range, i.e. zero for a symmetric one.
    if value <= 64 then
      x = value * (1 / 128)
    else
      x = 0.5 + (value - 64) * 0.5 / 63
    end
  elseif unit == kUnitBeats then
    x = value
  else
    x = value * (1 / 127)
  end

  if unit == kUnitHertz and minimum > 0 then
    return minimum * (maximum / minimum) ^ x
  elseif unit == kUnitBeats then
    return x + 1
  elseif unit == kUnitBoolean then
    if x > 0 then return 1 else return 0 end
  elseif unit == kUnitIndexed then
    return math.floor(minimum + (maximum - minimum) * x + 0.5)
  else
    return minimum + (maximum - minimum) * x
  end
end

local function handleCC(channel, controller, value)
  local index = controllerMap[controller]
  if index then
    setParameter(index, scaleController(index, value))
  end
end

requestAllCC(handleCC)

-- Spectral scripts. Loop bounds follow the parameters and may be
-- fractional; the bin functions truncate the bin numbers they get.

local function shift(state)
  local copyBin, zeroBin = copyBin, zeroBin
  local s = state.param1
  local maxBin = state.maxBin
  if s > 0 then
    for i = maxBin, s, -1 do
      copyBin(i - s, i)
    end
    for i = s - 1, 0, -1 do
      zeroBin(i)
    end
  elseif s < 0 then
    for i = 0, maxBin + s do
      copyBin(i - s, i)
    end
    for i = maxBin + s + 1, maxBin do
      zeroBin(i)
    end
  end
end

local function reverse(state)
  local swapBins = swapBins
  local s = state.param1
  local maxBin = state.maxBin
  for i = 0, (maxBin - 1) / 2 do
    swapBins(i, maxBin - i)
  end
  state.param1 = s - (maxBin - 1) * 3 / 4
  shift(state)
  state.param1 = s
end

local function lowPass(state)
  local setBin = setBin
  local maxBin = state.maxBin
  for i = state.param2 * maxBin, maxBin do
    setBin(i, 0, 0)
  end
end

local function highPass(state)
  local setBin = setBin
  for i = 0, state.param2 * state.maxBin do
    setBin(i, 0, 0)
  end
end

local function bandPass(state)
  local multiplyBin, max = multiplyBin, math.max
  local maxBin = state.maxBin
  local c = state.param2 * maxBin
  local d = state.param3 * state.param3
  if d <= 0 then
    return
  end
  for i = 0, c do
    multiplyBin(i, max(0, 1 - (c - i) * d))
  end
  for i = c, maxBin do
    multiplyBin(i, max(0, 1 - (i - c) * d))
  end
end

local function gate(state)
  local getBinMagnitudeSqr, zeroBin = getBinMagnitudeSqr, zeroBin
  local maxBin = state.maxBin
  local level = state.param2 * (maxBin - 1) / 32
  local threshold = level * level
  if state.param3 > 0 then
    for i = 0, maxBin do
      if getBinMagnitudeSqr(i) > threshold then zeroBin(i) end
    end
  else
    for i = 0, maxBin do
      if getBinMagnitudeSqr(i) < threshold then zeroBin(i) end
    end
  end
end

addSpectralScript("Shift", shift)
addSpectralScript("Reverse", reverse)
addSpectralScript("Low Pass", lowPass)
addSpectralScript("High Pass", highPass)
addSpectralScript("Band Pass", bandPass)
addSpectralScript("Gate", gate)
