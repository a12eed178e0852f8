# Sourced by tools/bench/run after tests/e2e/lib/peers.sh: the filtered-page
# part of the benchmark. bench_filtered_pages OUT writes its Markdown section
# to OUT: a 1 MB HTML page sent at full speed and trickled by the origin
# (16 KB every 2 ms), fetched through proxy-harness with its filters off and
# on and through privoxy without and with its own filtering, with the time
# to the first byte and the throughput (medians of CW_BENCH_REPEATS runs,
# default 15); and the resident memory of each filtering proxy while 100
# slow clients download the page at once.

bench_filtered_pages() {
  local out=$1 lib="$src/tests/e2e/lib" repeats=${CW_BENCH_REPEATS:-15}
  local fport; fport=$(free_port)
  python3 "$lib/framing_origin.py" "$fport" /dev/null >"$WORK/fo.out" 2>&1 &
  PEER_PIDS+=($!)
  wait_port "$fport"
  local plain_port filter_port pv_port pvf_port plain_pid filter_pid pvf_pid
  start_harness; plain_port=$HARNESS_PORT
  start_harness --script-filter --object-filter; filter_port=$HARNESS_PORT filter_pid=$HARNESS_PID
  pv_port=$(free_port); start_privoxy "$pv_port"
  pvf_port=$(free_port); start_privoxy_filtering "$pvf_port"; pvf_pid=${PEER_PIDS[-1]}

  local -A FB MBS SIZE
  local vias=(direct harness-off harness-filtered privoxy-off privoxy-filtered)
  via_port() {
    case $1 in
      harness-off) echo "$plain_port" ;; harness-filtered) echo "$filter_port" ;;
      privoxy-off) echo "$pv_port" ;; privoxy-filtered) echo "$pvf_port" ;;
    esac
  }
  median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
  local via kind url proxy
  # The runs of the five routes take turns, so that a burst of load on the
  # shared machine falls on all of them alike.
  for kind in full trickle; do
    url="http://127.0.0.1:$fport/big-1048576"; [ "$kind" = trickle ] && url+="-trickle"
    for via in "${vias[@]}"; do : >"$WORK/fp-$via.txt"; done
    for _ in $(seq "$repeats"); do
      for via in "${vias[@]}"; do
        proxy=(--noproxy '*'); [ "$via" = direct ] || proxy=(--noproxy '' -x "http://127.0.0.1:$(via_port "$via")")
        curl --silent --max-time 60 "${proxy[@]}" -o /dev/null \
          -w '%{time_starttransfer} %{speed_download} %{size_download}\n' "$url" >>"$WORK/fp-$via.txt"
      done
    done
    for via in "${vias[@]}"; do
      FB[$via,$kind]=$(awk '{ printf "%.1f\n", $1 * 1000 }' "$WORK/fp-$via.txt" | median)
      MBS[$via,$kind]=$(awk '{ printf "%.1f\n", $2 / 1048576 }' "$WORK/fp-$via.txt" | median)
      SIZE[$via,$kind]=$(awk '{ print $3 }' "$WORK/fp-$via.txt" | median)
      echo "1 MB page, $kind, $via: first byte ${FB[$via,$kind]} ms, ${MBS[$via,$kind]} MB/s, ${SIZE[$via,$kind]} bytes"
    done
  done

  # 100 clients reading at 100 KB/s each, so the downloads overlap for about
  # ten seconds; the proxy's VmRSS is sampled every 100 ms, the peak kept.
  peak_rss() {   # PID PORT
    local pid=$1 port=$2 peak=0 now i
    for i in $(seq 100); do
      curl --silent --max-time 60 --limit-rate 100k --noproxy '' -x "http://127.0.0.1:$port" -o /dev/null \
        "http://127.0.0.1:$fport/big-1048576" &
    done
    for i in $(seq 150); do
      now=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
      [ "$now" -gt "$peak" ] && peak=$now
      sleep 0.1
    done
    wait
    echo "$peak"
  }
  local rss_harness rss_privoxy
  rss_harness=$(peak_rss "$filter_pid" "$filter_port" 2>/dev/null | tail -1)
  rss_privoxy=$(peak_rss "$pvf_pid" "$pvf_port" 2>/dev/null | tail -1)
  echo "peak VmRSS with 100 filtered downloads: proxy-harness $rss_harness kB, privoxy $rss_privoxy kB"

  {
    echo "## Filtered pages: a 1 MB HTML page"
    echo
    echo "The origin (a Python server on loopback) sends the page at full speed, or trickled in"
    echo "16 KB pieces 2 ms apart. curl fetches it; medians of $repeats runs each. \"filtered\" is"
    echo "proxy-harness with both filters on (the page is re-framed as chunks) and privoxy with a"
    echo "filter of its own that renames script tags the same way."
    echo
    echo "| via | full speed: first byte ms | full speed: MB/s | trickled: first byte ms | trickled: MB/s | bytes received |"
    echo "|---|---:|---:|---:|---:|---:|"
    for via in "${vias[@]}"; do
      echo "| $via | ${FB[$via,full]} | ${MBS[$via,full]} | ${FB[$via,trickle]} | ${MBS[$via,trickle]} | ${SIZE[$via,full]} |"
    done
    echo
    echo "Peak resident memory (VmRSS) with 100 clients downloading the page at once at"
    echo "100 KB/s each, filtering on: proxy-harness $rss_harness kB, privoxy $rss_privoxy kB."
    echo
  } >"$out"
}
