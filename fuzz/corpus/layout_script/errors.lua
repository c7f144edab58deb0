function getWindowSize() while true do end end
function createUI()
  add(label("before", 0, 0))
  knob("Nope", 0, 0, 37)
end
local t = nil
t.x = 1
