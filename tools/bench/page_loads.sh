# Sourced by tools/bench/run (after tests/e2e/lib/peers.sh), or run through
# tools/bench/page_loads: what a user feels, a page in a real browser.
# bench_page_loads OUT ROUTE=PORT... writes its Markdown section to OUT:
# headless Chromium with a fresh profile per load, two pages from nginx on
# loopback (85 resources: 80 small ones and 5 images of 40 KB; and one 1 MB
# page), the routes taken in turns so that load on the shared machine falls
# on all alike; the time from navigation to the load event (median, p90,
# ratio to direct), the browser's connections per load and the requests it
# had to send again (lost on a connection that died under them), both from
# its network log. Route "direct" uses no proxy; PORT is the proxy's.
# CW_BENCH_PAGE_LOADS loads per route and page (default 15). Route names may
# hold blanks (each argument is one ROUTE=PORT).

page_site() { # DIR
  local dir=$1 i
  mkdir -p "$dir/r"
  {
    echo '<!doctype html><html><head><title>page</title>'
    for i in $(seq 40); do echo "<link rel=stylesheet href=\"r/$i.css\">"; done
    echo '</head><body>'
    for i in $(seq 41 80); do echo "<img src=\"r/$i.gif\" width=1 height=1>"; done
    for i in $(seq 5); do echo "<img src=\"r/big$i.jpg\" width=10 height=10>"; done
    echo '<pre id=t></pre><script>addEventListener("load",function(){var t=performance.timing;'
    echo 'document.getElementById("t").textContent="LOADMS="+(t.loadEventStart-t.navigationStart)})</script>'
    echo '</body></html>'
  } >"$dir/page.html"
  for i in $(seq 40); do echo "p$i{color:#$(printf '%06x' "$i")}" >"$dir/r/$i.css"; done
  for i in $(seq 41 80); do printf 'GIF89a\x01\x00\x01\x00\x00\x00\x00;' >"$dir/r/$i.gif"; done
  for i in $(seq 5); do head -c 40960 /dev/urandom >"$dir/r/big$i.jpg"; done
  {
    echo '<!doctype html><html><head><title>big</title></head><body><pre id=t></pre>'
    echo '<script>addEventListener("load",function(){var t=performance.timing;'
    echo 'document.getElementById("t").textContent="LOADMS="+(t.loadEventStart-t.navigationStart)})</script><!--'
    # In a comment: the time is the transfer's, not the layout of a megabyte
    # of text (which made the loads of every route alike swing from 0.1 to 1 s).
    head -c 786432 /dev/urandom | base64 -w 100
    echo '--></body></html>'
  } >"$dir/big.html"
}

# One load: prints "MS CONNECTIONS RETRIES", or "fail".
page_load() { # PORT|direct URL
  local port=$1 url=$2 profile="$WORK/chrome-$RANDOM$RANDOM" flags
  flags=(--headless=new --no-sandbox --disable-gpu --user-data-dir="$profile"
         --disable-background-networking --disable-component-update --disable-sync --no-first-run
         --disable-default-apps --disable-extensions --no-pings --disable-domain-reliability
         --log-net-log="$profile.netlog" --window-size=800,600)
  [ "$port" = direct ] || flags+=(--proxy-server="127.0.0.1:$port" --proxy-bypass-list="<-loopback>")
  if ! timeout 60 chromium "${flags[@]}" --dump-dom "$url" >"$profile.dom" 2>/dev/null; then
    echo fail; rm -rf "$profile" "$profile".*; return
  fi
  python3 - "$profile.dom" "$profile.netlog" <<'PY'
import json, re, sys
m = re.search(r"LOADMS=(\d+)", open(sys.argv[1], errors="replace").read())
if not m:
    print("fail"); sys.exit()
try:
    text = open(sys.argv[2]).read().rstrip().rstrip(",")
    if not text.endswith("}"):
        text += "]}"
    log = json.loads(text)
    types = {v: k for k, v in log["constants"]["logEventTypes"].items()}
    begin = log["constants"]["logEventPhase"]["PHASE_BEGIN"]
    events = log.get("events", [])
    conns = sum(1 for e in events if types.get(e["type"]) == "TCP_CONNECT" and e.get("phase") == begin)
    retries = sum(1 for e in events if types.get(e["type"]) == "HTTP_TRANSACTION_RESTART_AFTER_ERROR")
except Exception:
    conns = retries = -1
print(m.group(1), conns, retries)
PY
  rm -rf "$profile" "$profile".*
}

bench_page_loads() {
  local out=$1; shift
  local loads=${CW_BENCH_PAGE_LOADS:-15} route page r port
  local routes=() ; local -A PORT
  for r in "$@"; do routes+=("${r%%=*}"); PORT[${r%%=*}]=${r#*=}; done
  page_site "$WORK/pages"
  local pages_port; pages_port=$(free_port); start_nginx "$pages_port" "$WORK/pages"
  # The site's address for a route: through an upstream ("via" in its name)
  # by name, which the upstream looks up; Cloakwall sends a loopback address
  # straight to it, around the upstream.
  site() { [[ $1 == *via* ]] && echo "http://localhost:$pages_port" || echo "http://127.0.0.1:$pages_port"; }
  for page in page big; do
    for route in "${routes[@]}"; do : >"$WORK/pl-$page-$route.txt"; done
    # One load of each first, not counted: the proxies' pools and caches warm.
    for route in "${routes[@]}"; do page_load "${PORT[$route]}" "$(site "$route")/$page.html" >/dev/null; done
    for _ in $(seq "$loads"); do
      for route in "${routes[@]}"; do
        page_load "${PORT[$route]}" "$(site "$route")/$page.html" >>"$WORK/pl-$page-$route.txt"
      done
    done
  done
  {
    echo "## Page loads in headless Chromium ($loads loads per route and page, fresh profile each, in turns)"
    echo
    echo "Time from navigation to the load event. \"page\": 85 resources (40 style sheets, 40 tiny images,"
    echo "5 images of 40 KB); \"1 MB\": one page of 1 MB (its text in a comment). Connections: the browser's TCP connections per load;"
    echo "resent: requests the browser had to send again after a connection died under them (per load)."
    echo
    echo "| route | page: median ms | p90 | x direct | connections | resent | 1 MB: median ms | p90 | x direct | failed loads |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    local direct_page direct_big
    direct_page=$(page_stat "$WORK/pl-page-direct.txt" 1 50)
    direct_big=$(page_stat "$WORK/pl-big-direct.txt" 1 50)
    for route in "${routes[@]}"; do
      local f="$WORK/pl-page-$route.txt" g="$WORK/pl-big-$route.txt"
      local pm pp bm bp
      pm=$(page_stat "$f" 1 50) pp=$(page_stat "$f" 1 90) bm=$(page_stat "$g" 1 50) bp=$(page_stat "$g" 1 90)
      echo "| $route | $pm | $pp | $(ratio "$pm" "$direct_page") | $(page_stat "$f" 2 50) | $(page_stat "$f" 3 mean) | $bm | $bp | $(ratio "$bm" "$direct_big") | $(cat "$f" "$g" | grep -c fail || true) |"
    done
  } >"$out"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# page_stat FILE COLUMN 50|90|mean: a percentile (nearest rank) or the mean
# of one column over the loads that did not fail.
page_stat() {
  grep -v fail "$1" | awk -v c="$2" '{ print $c }' | sort -g | awk -v q="$3" '
    { v[NR] = $1; s += $1 }
    END {
      if (NR == 0) { print "-"; exit }
      if (q == "mean") { printf "%.1f", s / NR; exit }
      i = int((NR * q + 99) / 100); if (i < 1) i = 1; print v[i]
    }'
}
