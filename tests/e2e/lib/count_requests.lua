-- wrk script: proxy-form requests (absolute URL and Host of the origin) that
-- each close their connection, so every request is a new proxy connection;
-- after CW_REQUESTS answers the thread stops and interrupts wrk's main
-- thread, which would otherwise sleep out the whole duration. Run it with
-- one wrk thread (-t 1), so one count covers every connection.
local origin = os.getenv("CW_ORIGIN")           -- "127.0.0.1:PORT"
local path = os.getenv("CW_PATH") or "/"
local total = tonumber(os.getenv("CW_REQUESTS") or "10000")
local close = os.getenv("CW_CLOSE") ~= "0"

local answered = 0
local bad = 0
local req

function init(args)
  local headers = { ["Host"] = origin }
  if close then headers["Connection"] = "close" end
  req = wrk.format("GET", "http://" .. origin .. path, headers)
end

function request()
  return req
end

function response(status, headers, body)
  answered = answered + 1
  if status ~= 200 then bad = bad + 1 end
  if answered == total then
    wrk.thread:stop()
    -- system() ignores SIGINT in wrk while the shell runs: send it a moment
    -- after the shell has gone.
    os.execute("(sleep 0.2; kill -INT $PPID) >/dev/null 2>&1 &")
  end
end

function done(summary, latency, requests)
  local e = summary.errors
  io.write(string.format("requests=%d connect=%d read=%d write=%d status=%d timeout=%d\n",
    summary.requests, e.connect, e.read, e.write, e.status, e.timeout))
end
