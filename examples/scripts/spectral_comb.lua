-- Example spectral script for Veldrana: a comb in the spectrum.
--
-- Put this file in your Scripts folder, then choose "Comb" with the
-- "Script Index" parameter. "Scripted 1" sets the spacing of the teeth in
-- bins (values below 2 mean 2), "Scripted 2" how much of the bins between
-- the teeth is kept (0 silences them, 1 keeps them).

local function comb(state)
  local multiplyBin = multiplyBin
  local spacing = math.max(2, math.floor(math.abs(state.param1)))
  local keep = state.param2
  for bin = 0, state.maxBin do
    if bin % spacing ~= 0 then
      multiplyBin(bin, keep)
    end
  end
end

addSpectralScript("Comb", comb)
