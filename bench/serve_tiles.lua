-- wrk: random tiles of zooms 1 to 3 and the 12 months of the year 2000
-- (the half-degree run's variable Precip, layer 1).
math.randomseed(7)
request = function()
  local z = math.random(1, 3)
  local n = 2 ^ z
  local x, y = math.random(0, n - 1), math.random(0, n - 1)
  local m = math.random(1, 12)
  local path = string.format("/tiles/Precip/1/2000-%02d/%d/%d/%d.png", m, z, x, y)
  return wrk.format("GET", path)
end
