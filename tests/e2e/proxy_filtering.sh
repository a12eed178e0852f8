#!/usr/bin/env bash
# Filtering through a real upstream proxy with curl as the browser, on one
# kept-alive connection: pages sent with a length, in chunks and ended by
# the close arrive filtered and well-formed; a tag split between two TCP
# segments is renamed; a binary file, a PNG and a gzip body holding the
# patterns arrive byte-identical; HEAD, 204 and 304 answers do not hang the
# connection; requests ask for no compression while a filter is on.
set -euo pipefail
source "$(dirname "$0")/lib/peers.sh"
: "${CW_BUILD:?CW_BUILD must name a host build folder}"
require_tools curl tinyproxy privoxy python3 cmp
peers_init

lib="$(dirname "$0")/lib"
mkdir -p "$WORK/want" "$WORK/got"
python3 "$lib/framing_origin.py" --dump "$WORK/want"
origin_port=$(free_port)
python3 "$lib/framing_origin.py" "$origin_port" "$WORK/heads.log" >"$WORK/origin.out" 2>&1 &
PEER_PIDS+=($!)
wait_port "$origin_port"
# Every request here goes through an upstream, so the origin goes by name,
# which the upstream looks up: the proxy sends a loopback address straight to it.
origin="http://localhost:$origin_port"

privoxy_port=$(free_port)
start_privoxy "$privoxy_port"
start_harness --upstream "127.0.0.1:$privoxy_port" --script-filter --object-filter
# Options for curl through the harness started last.
through_harness() {
  curl_opts=(--silent --show-error --max-time 30 --noproxy '' -x "http://127.0.0.1:$HARNESS_PORT"
             -w '%{num_connects} %{http_code} %{url_effective}\n')
}
through_harness

# One curl, one connection: every transfer after the first reuses it.
curl "${curl_opts[@]}" -H 'Accept-Encoding: gzip, br' \
  "$origin/length.html" -o "$WORK/got/length.html" \
  "$origin/chunked.html" -o "$WORK/got/chunked.html" \
  "$origin/split.html" -o "$WORK/got/split.html" \
  "$origin/empty204" -o "$WORK/got/empty204" \
  "$origin/notmodified" -o "$WORK/got/notmodified" \
  "$origin/image.png" -o "$WORK/got/image.png" \
  "$origin/binary.bin" -o "$WORK/got/binary.bin" \
  "$origin/gzip.html" -o "$WORK/got/gzip.html" \
  --next "${curl_opts[@]}" --head "$origin/length.html" -o "$WORK/got/head.txt" \
  --next "${curl_opts[@]}" "$origin/close.html" -o "$WORK/got/close.html" \
  >"$WORK/transfers.txt"
cat "$WORK/transfers.txt"
[ "$(wc -l <"$WORK/transfers.txt")" -eq 10 ] || fail "not every transfer finished"
connects=$(awk '{ s += $1 } END { print s }' "$WORK/transfers.txt")
[ "$connects" -eq 1 ] || fail "curl opened $connects connections for 10 transfers; expected one kept alive"
awk '{ print $2 }' "$WORK/transfers.txt" | tr '\n' ' ' | grep -qx '200 200 200 204 304 200 200 200 200 200 ' \
  || fail "unexpected status codes: $(awk '{ print $2 }' "$WORK/transfers.txt" | tr '\n' ' ')"
pass "ten transfers on one kept-alive connection, HEAD, 204 and 304 among them"

for page in length chunked close; do
  cmp -s "$WORK/got/$page.html" "$WORK/want/page.filtered" || fail "$page.html: not the filtered page"
done
grep -q 'THE-END' "$WORK/got/length.html" || fail "the page lost its end"
cmp -s "$WORK/got/split.html" "$WORK/want/split.filtered" || fail "split.html: the tag cut between two segments was not renamed: $(cat "$WORK/got/split.html")"
pass "pages by length, in chunks and ended by the close arrive filtered and whole; a split tag is renamed"

for f in image.png binary.bin gzip.html; do
  cmp -s "$WORK/got/$f" "$WORK/want/$f" || fail "$f changed on the way"
done
pass "PNG, binary file and gzip body byte-identical"

grep -qi '^content-length: ' "$WORK/got/head.txt" || fail "HEAD answer lost its head: $(cat "$WORK/got/head.txt")"
if grep -qi 'accept-encoding' "$WORK/heads.log"; then fail "a request asked for compression while the filter was on"; fi
pass "HEAD answered; no request asked for compression"

# The answer's framing through tinyproxy, which speaks HTTP/1.0 to its
# client, and with the filters off, where every byte is the origin's.
tiny_port=$(free_port)
start_tinyproxy "$tiny_port"
start_harness --upstream "127.0.0.1:$tiny_port" --script-filter
through_harness
curl "${curl_opts[@]}" "$origin/chunked.html" -o "$WORK/got/tiny.html" >/dev/null
python3 - "$WORK/got/tiny.html" "$WORK/want/page.html" <<'PY' || fail "through tinyproxy: not the script-filtered page"
import re, sys
got, page = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
want = re.sub(rb"(?i)</script>", b"</noscript> ", re.sub(rb"(?i)<script", b"<noscript", page))
sys.exit(0 if got == want else 1)
PY
pass "through tinyproxy: filtered and whole"

start_harness --upstream "127.0.0.1:$privoxy_port"
through_harness
curl "${curl_opts[@]}" -H 'Accept-Encoding: identity' "$origin/chunked.html" -o "$WORK/got/off.html" "$origin/split.html" -o "$WORK/got/off-split.html" >/dev/null
cmp -s "$WORK/got/off.html" "$WORK/want/page.html" || fail "filters off: the page changed"
cmp -s "$WORK/got/off-split.html" "$WORK/want/split.html" || fail "filters off: the split page changed"
grep -qi '^accept-encoding: identity' "$WORK/heads.log" || fail "filters off: the request's Accept-Encoding did not reach the origin"
pass "filters off: page unchanged, request heads as they came"
