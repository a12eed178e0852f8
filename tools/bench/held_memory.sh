# Sourced by tools/bench/run after tests/e2e/lib/peers.sh: what held
# connections cost the proxy built for Windows under Wine, where the program
# runs. bench_held_memory OUT WINDOWS_BUILD [COUNT] appends its Markdown
# section to OUT: the harness's address space in use and committed memory (as
# VirtualQuery counts them) and its resident memory on Linux (VmRSS), idle
# and then holding COUNT (default 1280) kept-alive connections after one
# answer each, with what one connection adds. Needs an origin at $origin.
# Standalone, inside scripts/wine-session:
#   bash tools/bench/held_memory.sh WINDOWS_BUILD [COUNT]

bench_held_memory() {
  local out=$1 build=$2 count=${3:-1280}
  open_harness_stdin
  start_wine_harness "$build" --stats-on-stdin
  local pid=$HARNESS_PID
  # The Windows process may be a child of the launcher: the one whose
  # command line names the harness.
  local p
  for p in $pid $(pgrep -P "$pid" || true); do
    grep -q proxy-harness "/proc/$p/cmdline" 2>/dev/null && pid=$p
  done
  vmrss() { awk '/^VmRSS/ { print $2 }' "/proc/$pid/status"; }
  harness_stats
  local space0=$STAT_space_kb commit0=$STAT_committed_kb rss0; rss0=$(vmrss)
  start_holder "$HARNESS_PORT" "$origin" /1k.bin "$count" kept --until-failure
  holder_result 1800 || fail "the clients gave no result: $(cat "$HOLDER_OUT")"
  sleep 1
  harness_stats
  local space1=$STAT_space_kb commit1=$STAT_committed_kb rss1 held=$HELD threads=$STAT_threads
  rss1=$(vmrss)
  release_holder
  exec 8>&-
  kill "$HARNESS_PID" 2>/dev/null || true
  per() { awk -v a="$1" -v b="$2" -v n="$held" 'BEGIN { if (n > 0) printf "%.0f", (b - a) / n; else print "-" }'; }
  {
    echo "## Held connections under Wine: memory and address space"
    echo
    echo "proxy-harness.exe alone, idle and then holding kept-alive connections after one answer"
    echo "each (the proxy holds at most $STAT_held_cap in this process). Address space and committed"
    echo "memory as VirtualQuery counts them in the process (the address space includes what Wine"
    echo "reserves for itself from the start); VmRSS as Linux counts it."
    echo
    echo "| state | threads | address space MB | committed MB | VmRSS MB | per connection KB (space / committed / RSS) |"
    echo "|---|---:|---:|---:|---:|---:|"
    echo "| idle | - | $((space0 / 1024)) | $((commit0 / 1024)) | $((rss0 / 1024)) | - |"
    echo "| $count asked, $held held | $threads | $((space1 / 1024)) | $((commit1 / 1024)) | $((rss1 / 1024)) |" \
         "$(per "$space0" "$space1") / $(per "$commit0" "$commit1") / $(per "$rss0" "$rss1") |"
    echo
  } >>"$out"
  echo "held $held: address space $((space1 / 1024)) MB, committed $((commit1 / 1024)) MB, VmRSS $((rss1 / 1024)) MB"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  src=$(cd "$(dirname "$0")/../.." && pwd)
  source "$src/tests/e2e/lib/peers.sh"
  [ $# -ge 1 ] || { echo "usage: $0 WINDOWS_BUILD [COUNT]" >&2; exit 2; }
  require_tools nginx python3 wine
  peers_init
  mkdir -p "$WORK/www"
  head -c 1024 /dev/urandom >"$WORK/www/1k.bin"
  origin_port=$(free_port); start_nginx "$origin_port" "$WORK/www"
  origin="127.0.0.1:$origin_port"
  bench_held_memory /dev/stdout "$(cd "$1" && pwd)" "${2:-1280}"
fi
