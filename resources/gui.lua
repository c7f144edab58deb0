-- The built-in layout of the Veldrana editor. Coordinates are window pixels
-- with the origin at the bottom left; controls are placed relative to their
-- group.

function getWindowSize()
  return 1024, 512
end

function getFont()
  if isMac then
    return { { name = "GillSans.ttc", size = 14 }, { name = "GillSans.dfont", size = 12 } }
  end
  return { { name = "tahoma.ttf", size = 14 }, { name = "arial.ttf", size = 12 } }
end

function getLabelFont()
  if isMac then
    return { { name = "GillSans.ttc", size = 11 }, { name = "GillSans.dfont", size = 9 } }
  end
  return { { name = "tahoma.ttf", size = 11 }, { name = "arial.ttf", size = 9 } }
end

function getTextFieldFont()
  if isMac then
    return { { name = "Monaco.dfont", size = 12 }, { name = "Monaco.dfont", size = 10 } }
  end
  return { { name = "tahoma.ttf", size = 12 }, { name = "arial.ttf", size = 10 } }
end

-- The bin-level buttons. Each press changes 2049 parameters, so the host is
-- not told of every one (no automation flood).
local kBinCount = 2049

function setAllLevelsToZero()
  for i = 0, kBinCount - 1 do
    setParameter(paramID_Bin0Level + i, 0, false)
  end
end

function setAllLevelsToOne()
  for i = 0, kBinCount - 1 do
    setParameter(paramID_Bin0Level + i, 1, false)
  end
end

function setOddLevelsToZero()
  for i = 1, kBinCount - 1, 2 do
    setParameter(paramID_Bin0Level + i, 0, false)
  end
end

function setEvenLevelsToZero()
  for i = 0, kBinCount - 1, 2 do
    setParameter(paramID_Bin0Level + i, 0, false)
  end
end

function invertLevels()
  for i = 0, kBinCount - 1 do
    local id = paramID_Bin0Level + i
    setParameter(id, 1 - getParameter(id), false)
  end
end

local function unitLabel(parent, text, x, y)
  local l = label(text, x, y)
  l:setBackgroundColour(0.1, 0.1, 0.15, 0.7)
  l:setForegroundColour(0.9, 0.9, 0.9, 0.6)
  parent:add(l)
end

-- A knob with its value field below it and its name under both.
local function knobUnit(parent, param, text, x, y)
  parent:add(knob(param, x, y + 13, 37))
  parent:add(textField(param, x, y, 37, 12))
  unitLabel(parent, text, x + 18.5, y - 3)
end

local function dropDownUnit(parent, param, text, x, y, width)
  width = width or 50
  parent:add(dropDown(param, x, y, width, 12))
  unitLabel(parent, text, x + width / 2, y - 3)
end

function createUI()
  local atlas = texture("buttons.png")
  local atlas_n = texture("buttons_n.png")
  local background = texture("bgtile.png")
  local background_n = texture("bgtile_n.png")
  setBackgroundTexture(background, background_n)
  theKnobRenderer = knobRenderer(atlas, atlas_n, 1, 1, 37)
  setBackgroundColour(0.22, 0.05, 0.2)
  setBannerPosition(512 - 25)
  setGroupActiveColour(0.8, 0.75, 0.7, 0.8)
  setGroupInactiveColour(0.5, 0.5, 0.7, 0.5)

  local process = group("Process")
  knobUnit(process, "Input Gain", "Input", 0, 0)
  dropDownUnit(process, "FFT Size", "FFT Size", 48, 0)
  knobUnit(process, "Output Gain", "Output", 108, 0)

  local mix = group("Mix")
  knobUnit(mix, "Dry Level", "Dry", 0, 0)
  knobUnit(mix, "Wet Level", "Wet", 48, 0)

  local view = group("View")
  dropDownUnit(view, "View X Axis", "X Axis", 0, 30)
  dropDownUnit(view, "View Y Axis", "Y Axis", 0, 0)
  knobUnit(view, "View Min dB", "Min dB", 60, 0)
  knobUnit(view, "View Max dB", "Max dB", 108, 0)
  knobUnit(view, "View Min Linear", "Min Lin", 156, 0)
  knobUnit(view, "View Max Linear", "Max Lin", 204, 0)
  knobUnit(view, "View Smoothing", "Smooth", 252, 0)

  local osc = group("OSC")
  knobUnit(osc, "OSC Port Offset", "Port", 0, 0)

  local script = group("Script")
  dropDownUnit(script, "Script Position", "Run When", 0, 0, 81)
  dropDownUnit(script, "Script Index", "Script", 0, 30, 81)
  knobUnit(script, "Scripted 1", "Param 1", 91, 0)
  knobUnit(script, "Scripted 2", "Param 2", 139, 0)
  knobUnit(script, "Scripted 3", "Param 3", 187, 0)
  knobUnit(script, "Scripted 4", "Param 4", 235, 0)

  -- One row, left to right, 10 pixels between groups; the four meter bars
  -- (5 wide, 5 apart) sit in a gap after "Process".
  local rowY = 30
  local x = 20
  process:setPosition(x, rowY, true)
  x = x + process:width() + 10
  local meterX, meterY = x - 10, rowY - 20
  x = x + 5 * 5 + 10
  for _, g in ipairs({ mix, view, osc, script }) do
    g:setPosition(x, rowY, true)
    x = x + g:width() + 10
  end

  local displayY = rowY + mix:height() - 5
  local display = waveformDisplay(10, displayY, 1004, 335)
  display:setFFTColour(0.4, 0.1, 0.45)
  display:setPFFTColour(0.85, 0.3, 0.9)
  display:setSliderColours(0.4, 0.1, 0.45, 0.5, 0.1, 0.5)
  add(display)

  local buttonY = displayY + 335 + 10 - 5
  add(button("Prefs", "Prefs", 20, buttonY, 70, 30))
  local scriptButtons = {
    { "All Zero", "Set All Levels To Zero", function() setAllLevelsToZero() end },
    { "All One", "Set All Levels To One", function() setAllLevelsToOne() end },
    { "Zero Odd", "Set Odd Levels To Zero", function() setOddLevelsToZero() end },
    { "Zero Even", "Set Even Levels To Zero", function() setEvenLevelsToZero() end },
    { "Invert", "Invert Levels", function() invertLevels() end },
  }
  for i, b in ipairs(scriptButtons) do
    add(luaButton(b[3], b[1], b[2], "push", 20 + 80 * i, buttonY, 70, 30))
  end

  local meters = levelMeters(atlas, 123, 0, 5, 81)
  meters:add("input", 0, meterX, meterY)
  meters:add("input", 1, meterX + 6, meterY)
  meters:add("output", 0, meterX + 16, meterY)
  meters:add("output", 1, meterX + 22, meterY)

  paramID_Bin0Level = getParameterID("Bin 0 Level")
end
