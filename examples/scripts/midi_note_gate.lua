-- Example MIDI script for Veldrana: notes open the wet signal.
--
-- Put this file in your Scripts folder. While any note is held, "Wet Level"
-- is 1; a quarter of a second after the last note is released it falls to
-- 0. Indicator 0 shows whether a note is held. A periodic timer counts the
-- seconds the gate has been open in the global `openSeconds`.

local held = 0
local closeTimer = nil
openSeconds = 0

local function setOpen(open)
  setParameter("Wet Level", open and 1 or 0)
  setGUIBoolValue(0, open)
end

requestAllNoteOn(function(channel, note, velocity)
  held = held + 1
  if closeTimer then
    cancelTimer(closeTimer)
    closeTimer = nil
  end
  setOpen(true)
end)

requestAllNoteOff(function(channel, note, velocity)
  held = math.max(0, held - 1)
  if held == 0 and not closeTimer then
    closeTimer = requestTimedCallback(0.25, function()
      closeTimer = nil
      if held == 0 then setOpen(false) end
    end)
  end
end)

requestPeriodicCallback(1, function()
  if getGUIBoolValue(0) then openSeconds = openSeconds + 1 end
end)
