-- wrk script for the proxy benchmark: GETs in proxy form (absolute URL) when
-- CW_PROXY_FORM=1, else as plain requests to the origin. With CW_KEEP_ALIVE=1
-- each connection carries request after request, as a browser's do;
-- otherwise every request asks for its connection to be closed, so each is
-- a new connection. CW_ORIGIN is "127.0.0.1:PORT".
local origin = os.getenv("CW_ORIGIN")
local path = os.getenv("CW_PATH") or "/"
local proxyForm = os.getenv("CW_PROXY_FORM") == "1"
local keepAlive = os.getenv("CW_KEEP_ALIVE") == "1"
local req

function init(args)
  local target = proxyForm and ("http://" .. origin .. path) or path
  local headers = { ["Host"] = origin }
  if not keepAlive then headers["Connection"] = "close" end
  req = wrk.format("GET", target, headers)
end

function request()
  return req
end

function done(summary, latency, requests)
  local e = summary.errors
  local secs = summary.duration / 1e6
  io.write(string.format("RESULT rps=%.0f avg_ms=%.2f p50_ms=%.2f p99_ms=%.2f requests=%d errors=%d\n",
    summary.requests / secs, latency.mean / 1000, latency:percentile(50) / 1000,
    latency:percentile(99) / 1000, summary.requests,
    e.connect + e.read + e.write + e.status + e.timeout))
end
