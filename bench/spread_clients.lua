-- wrk script: GET /check as a front server asks it, for clients spread over
-- 100,000 addresses picked at random (a fixed seed per wrk thread, so runs
-- repeat). Random rather than round-robin: a client seen at a steady rhythm
-- would look machine-made to the behaviour shield.
--
--   wrk ... -s spread_clients.lua -- [gate|front] [close]
-- gate  (default): the request the gate receives, facts in X-Real-IP,
--                  X-Original-URI and User-Agent;
-- front:           a client request to nginx, the address in X-Real-IP for
--                  nginx's realip module;
-- close:           "Connection: close", so every request opens a connection.
-- done() prints one line for the load scripts:
--   RESULT rps=<requests/s> p99_ms=<ms> non2xx=<n> errors=<n>

local ADDRESSES = 100000
local USER_AGENT = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) " ..
    "AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36"

local threads = {}
local requests = {}

function setup(thread)
  thread:set("id", #threads + 1)
  table.insert(threads, thread)
end

local function address(n)
  return string.format("10.%d.%d.%d", math.floor(n / 65536) % 256,
                       math.floor(n / 256) % 256, n % 256)
end

function init(args)
  local front, close = false, false
  for _, arg in ipairs(args) do
    if arg == "front" then front = true end
    if arg == "close" then close = true end
  end
  math.randomseed(7919 * id)
  -- One prepared request per address, so request() costs wrk next to nothing.
  for i = 1, ADDRESSES do
    local page = "/index.html?article=" .. math.random(1, 5000) ..
        "&page=" .. math.random(1, 9)
    local headers = { ["X-Real-IP"] = address(i - 1),
                      ["User-Agent"] = USER_AGENT }
    if close then headers["Connection"] = "close" end
    if front then
      requests[i] = wrk.format("GET", page, headers)
    else
      headers["X-Original-URI"] = page
      requests[i] = wrk.format("GET", "/check", headers)
    end
  end
end

function request()
  return requests[math.random(1, ADDRESSES)]
end

function done(summary, latency, requests)
  local seconds = summary.duration / 1e6
  io.write(string.format("RESULT rps=%.0f p99_ms=%.3f non2xx=%d errors=%d\n",
                         summary.requests / seconds,
                         latency:percentile(99) / 1000, summary.errors.status,
                         summary.errors.connect + summary.errors.read +
                         summary.errors.write + summary.errors.timeout))
end
