# Shared by scripts/run-app and the end-to-end test of the whole program:
# a Wine prefix of its own with the values an installer writes, a display
# (a virtual one when there is none), and the vendor stand-in with a list
# that names a local tinyproxy. Source it; every function is cw_*.

# cw_wine_env PREFIX: use that prefix (created on first use, a few seconds).
cw_wine_env() {
  export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

CW_XVFB_PID=

# cw_display: the current display, or a virtual one started here.
cw_display() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    CW_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    return 0
  done
  echo "no free display number for Xvfb" >&2
  return 1
}

# cw_prefix_init: a running wineserver and a prefix ready for a GUI program.
cw_prefix_init() {
  local created=
  wineserver -p >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix $WINEPREFIX (once)"
    wineboot -i >/dev/null 2>&1
    created=1
  fi
  # Unmanaged windows: no two-second wait on every window destroy without a
  # window manager. No crash dialog nobody can see.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # A new prefix's desktop started before those values: started again under them.
  if [ -n "$created" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1 || true
    # A throwaway program takes the restarted prefix's first start, which
    # kept the first real program from ending.
    timeout 60 wine cmd /c exit >/dev/null 2>&1 || true
  fi
}

# cw_reg_sz NAME TEXT / cw_reg_dword NAME NUMBER: a value under
# HKLM\Software\Cloakwall.
cw_reg_sz() { wine reg add 'HKLM\Software\Cloakwall' /v "$1" /t REG_SZ /d "$2" /f >/dev/null 2>&1; }
cw_reg_dword() { wine reg add 'HKLM\Software\Cloakwall' /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1; }

# cw_install EXE UPDATE_SERVER: copies the program to C:\Program Files\Cloakwall
# and writes what the installer writes: AppPath, AppFullPath, UpdateServer;
# and an empty ProxySources.
cw_install() {
  local exe=$1 server=$2 dir="$WINEPREFIX/drive_c/Program Files/Cloakwall"
  mkdir -p "$dir"
  cp "$exe" "$dir/cloakwall.exe"
  CW_APP_DIR=$dir
  CW_APP_EXE="$dir/cloakwall.exe"
  cw_reg_sz AppPath 'C:\Program Files\Cloakwall\'
  cw_reg_sz AppFullPath '"C:\Program Files\Cloakwall\cloakwall.exe"'
  cw_reg_sz UpdateServer "$server"
  # No public list: every run here reads its lists from stand-ins only.
  wine reg add 'HKLM\Software\Cloakwall' /v ProxySources /t REG_MULTI_SZ /d '' /f >/dev/null 2>&1
}

# cw_e2e_begin TOOL...: the start of a test of the whole program (after
# tests/e2e/lib/peers.sh): skips when the Windows build is not there, fails
# when a tool is missing, leaves the display to cw_display (always a virtual
# one of its own), and ends Wine, the display and the peers on exit.
# Sets win to the Windows build folder.
cw_e2e_begin() {
  win="$CW_SOURCE_DIR/build/windows"
  if [ ! -f "$win/app/cloakwall.exe" ] || [ ! -f "$win/tests/app/cw_tray_menu.exe" ]; then
    echo "skipped: the Windows build is not there (make build-windows, or make test, builds it)"
    exit 0
  fi
  local t
  for t in "$@"; do command -v "$t" >/dev/null || fail "$t is not installed"; done
  # A display of the test's own: on the user's, a Cloakwall window of
  # another prefix would be found by its name and be in the screenshots.
  unset DISPLAY
  peers_init
  trap cw_e2e_end EXIT
}
cw_e2e_end() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$CW_XVFB_PID" ] && kill "$CW_XVFB_PID" 2>/dev/null || true
  peers_cleanup
}

# cw_fresh_install PREFIX EXE UPDATE_SERVER: for a test of the whole program:
# its own prefix and display, nothing on 127.0.0.1:8080 yet, nothing left
# from an earlier run (settings, the user's kept connection options, the
# start with Windows, the list and stored results in the program's folder,
# the browser's proxy switch), the program installed, and a start that is
# neither the first run nor shown (RunFirst and Minimize 1). Returns 1 when
# 8080 is taken.
cw_fresh_install() {
  cw_wine_env "$1"
  cw_display
  cw_prefix_init
  (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null && return 1
  wine reg delete 'HKLM\Software\Cloakwall' /f >/dev/null 2>&1 || true
  wine reg delete 'HKCU\Software\Cloakwall' /f >/dev/null 2>&1 || true
  wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Cloakwall /f >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null 2>&1
  rm -rf "$WINEPREFIX/drive_c/Program Files/Cloakwall"
  cw_install "$2" "$3"
  cw_reg_dword RunFirst 1
  cw_reg_dword Minimize 1
}

# cw_internet_setting NAME: a DWORD of the user's WinINet settings, as a number.
cw_internet_setting() {
  wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v "$1" 2>/dev/null |
    sed -n 's/.*REG_DWORD[[:space:]]*0x\([0-9a-fA-F]*\).*/\1/p' | tr -d '\r' | { read -r h; echo $((16#${h:-0})); }
}

# cw_program_pids: Linux ids of the cloakwall.exe processes running in this
# prefix (WINEPREFIX in their environment). A user's own copy, or one in
# another prefix, is none of the test's business: never counted, never killed.
cw_program_pids() {
  local pid
  for pid in $(pgrep -f 'Cloakwall\\cloakwall\.exe|Cloakwall/cloakwall\.exe' || true); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
  return 0
}

# cw_private_kb PID: the process's private memory (clean and dirty), in kB.
cw_private_kb() {
  awk '/^Private_(Clean|Dirty):/ { kb += $2 } END { print kb + 0 }' "/proc/$1/smaps_rollup"
}

# cw_start_vendor PORT LISTFILE LOG: the vendor stand-in; sets CW_VENDOR_PID.
cw_start_vendor() {
  python3 "$CW_SOURCE_DIR/tools/vendor-server.py" --port "$1" --list "$2" --log "$3" >/dev/null 2>&1 &
  CW_VENDOR_PID=$!
}

# cw_start_tinyproxy PORT DIR: tinyproxy on loopback that logs each request;
# sets CW_TINYPROXY_PID.
cw_start_tinyproxy() {
  local port=$1 dir=$2
  mkdir -p "$dir"
  {
    echo "Port $port"
    echo "Listen 127.0.0.1"
    echo "Timeout 60"
    echo "MaxClients 200"
    echo "Allow 127.0.0.1"
    echo "LogLevel Info"
    echo "LogFile \"$dir/tinyproxy.log\""
    echo "ViaProxyName \"tinyproxy\""
  } >"$dir/tinyproxy.conf"
  [ "$(id -u)" -eq 0 ] && printf 'User root\nGroup root\n' >>"$dir/tinyproxy.conf"
  tinyproxy -d -c "$dir/tinyproxy.conf" >"$dir/stdout" 2>&1 &
  CW_TINYPROXY_PID=$!
}
