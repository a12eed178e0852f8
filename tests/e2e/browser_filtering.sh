#!/usr/bin/env bash
# Headless Chromium through proxy-harness with the script filter on: a page
# with seven scripts arrives whole and none of its scripts runs, a PNG
# holding the patterns renders, a chunked page loads as a second page on the
# same connection; with the filter off the scripts run. Chromium's own
# background traffic is switched off, so only the pages' requests reach the
# proxy. CW_SCREENSHOTS=DIR keeps a screenshot of each case there.
set -euo pipefail
source "$(dirname "$0")/lib/peers.sh"
: "${CW_BUILD:?CW_BUILD must name a host build folder}"
require_tools chromium python3 convert
peers_init

lib="$(dirname "$0")/lib"
origin_port=$(free_port)
python3 "$lib/framing_origin.py" "$origin_port" "$WORK/heads.log" >"$WORK/origin.out" 2>&1 &
PEER_PIDS+=($!)
wait_port "$origin_port"
origin="http://127.0.0.1:$origin_port"

# browse NAME URL: loads URL through the harness started last; leaves the
# DOM after load in $WORK/NAME.dom, the requests the origin saw for it in
# $WORK/NAME.heads, and a screenshot (a second load) in $WORK/NAME.png.
browse() {
  local name=$1 url=$2 flags
  : >"$WORK/heads.log"
  flags=(--headless=new --no-sandbox --disable-gpu --user-data-dir="$WORK/chrome-$name"
         --disable-background-networking --disable-component-update --disable-sync --no-first-run
         --disable-default-apps --disable-extensions --no-pings --disable-domain-reliability
         --proxy-server="127.0.0.1:$HARNESS_PORT" --proxy-bypass-list="<-loopback>"
         --window-size=600,400)
  timeout 60 chromium "${flags[@]}" --dump-dom "$url" >"$WORK/$name.dom" 2>>"$WORK/chrome.err" \
    || fail "$name: chromium failed"
  cp "$WORK/heads.log" "$WORK/$name.heads"
  timeout 60 chromium "${flags[@]}" --screenshot="$WORK/$name.png" "$url" >/dev/null 2>>"$WORK/chrome.err" \
    || fail "$name: chromium screenshot failed"
  if [ -n "${CW_SCREENSHOTS:-}" ]; then mkdir -p "$CW_SCREENSHOTS"; cp "$WORK/$name.png" "$CW_SCREENSHOTS/"; fi
}
# Connections the origin saw during the last load (the harness opens one
# to the origin per browser connection).
connections() { grep -o '^client-port [0-9]*' "$WORK/$1.heads" | sort -u | wc -l; }
pixel() { convert "$WORK/$1.png" -format "%[pixel:p{$2,$3}]" info:; }

start_harness --script-filter
browse filter-on-page "$origin/withimage.html"
grep -q 'THE-END' "$WORK/filter-on-page.dom" || fail "the page lost its last bytes"
grep -q '<title>not run</title>' "$WORK/filter-on-page.dom" || fail "a script ran: $(grep -o '<title>[^<]*' "$WORK/filter-on-page.dom")"
if grep -q 'id="ran"' "$WORK/filter-on-page.dom"; then fail "the last script ran"; fi
[ "$(grep -c '<noscript>' "$WORK/filter-on-page.dom")" -eq 7 ] || fail "not seven renamed scripts"
# The square's middle: the PNG's green where a broken image would show none.
[ "$(pixel filter-on-page 40 100)" = "srgb(32,160,64)" ] || fail "the image did not render: $(pixel filter-on-page 40 100)"
grep -q 'GET [^ ]*/image.png' "$WORK/filter-on-page.heads" || fail "the image was not fetched through the proxy"
[ "$(connections filter-on-page)" -eq 1 ] || fail "page and image took $(connections filter-on-page) connections; expected one kept alive"
pass "filter on: seven scripts renamed, page whole, PNG rendered, one connection"

browse filter-on-frames "$origin/frames.html"
grep -q 'GET [^ ]*/chunked.html' "$WORK/filter-on-frames.heads" || fail "the chunked page was not loaded"
[ "$(connections filter-on-frames)" -eq 1 ] || fail "two pages took $(connections filter-on-frames) connections; expected one kept alive"
[ "$(grep -c 'GET [^ ]*/\(frames\|chunked\).html' "$WORK/filter-on-frames.heads")" -eq 2 ] || fail "not both pages requested"
pass "filter on: a chunked page loads as the second page on the same connection"

browse filter-on-chunked "$origin/chunked.html"
grep -q 'THE-END' "$WORK/filter-on-chunked.dom" || fail "the chunked page did not load whole"
grep -q '<title>not run</title>' "$WORK/filter-on-chunked.dom" || fail "a script of the chunked page ran"
pass "filter on: the chunked page loads whole, no script ran"

start_harness
browse filter-off-page "$origin/withimage.html"
grep -q 'id="ran"' "$WORK/filter-off-page.dom" || fail "filter off: the scripts did not run"
grep -q '<title>ran 5</title>' "$WORK/filter-off-page.dom" || fail "filter off: $(grep -o '<title>[^<]*' "$WORK/filter-off-page.dom")"
[ "$(pixel filter-off-page 40 140)" = "srgb(32,160,64)" ] || fail "filter off: the image did not render"
pass "filter off: the scripts ran"
