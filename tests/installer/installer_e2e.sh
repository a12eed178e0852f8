#!/usr/bin/env bash
# The installer end to end, in a Wine prefix of this test's own: a silent
# install, the installed program started and seen to use its folder and to
# register itself; a silent uninstall while it runs; then an install over an
# installed copy that the user has set up, an uninstall after the program
# was killed halfway through saving its list, and one where the browser uses
# a proxy of the user's own. Only the vendor stand-in on 127.0.0.1 is
# contacted.
#
# Environment (CTest sets it): CW_SOURCE_DIR, CW_SETUP (the installer),
# CW_PACKAGED_EXE (the program it carries), CW_CONNECTION_STATE (helper that
# reads and sets the WinINet connection), CW_WORK (a folder for the prefix).
set -euo pipefail
: "${CW_SOURCE_DIR:?}" "${CW_SETUP:?}" "${CW_PACKAGED_EXE:?}" "${CW_CONNECTION_STATE:?}" "${CW_WORK:?}"

# Start again inside a Wine session on a fresh prefix: a display, the prefix
# and a wineserver that ends with the test.
if [ -z "${CW_INSTALLER_SESSION:-}" ]; then
  rm -rf "$CW_WORK"
  mkdir -p "$CW_WORK"
  export CW_INSTALLER_SESSION=1
  exec "$CW_SOURCE_DIR/scripts/wine-session" "$CW_WORK" bash "$0" "$@"
fi

source "$CW_SOURCE_DIR/tests/e2e/lib/peers.sh"
peers_init

APP_PIDS=()
stop_apps() {
  local pid
  for pid in "${APP_PIDS[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  peers_cleanup
}
trap stop_apps EXIT

INSTALL_WIN='C:\Program Files\Cloakwall'
INSTALL_DIR="$WINEPREFIX/drive_c/Program Files/Cloakwall"
EXE_WIN="$INSTALL_WIN\\cloakwall.exe"
QUOTED_EXE="\"$EXE_WIN\""
SETTINGS='HKLM\Software\Cloakwall'
RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
UNINST_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cloakwall'
CAPTION_KEY='Software\Microsoft\Internet Explorer\Main'

# reg_value KEY NAME: prints the value's data; fails when there is none.
reg_value() {
  local out
  out=$(wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') || return 1
  printf '%s\n' "$out" | grep -q "^ *$2  *REG_" || return 1
  printf '%s\n' "$out" | sed -n "s/^ *$2  *REG_[A-Z_]*  *//p; s/^ *$2  *REG_[A-Z_]*\$//p" | head -n 1
}
expect_value() { # KEY NAME EXPECTED
  local got
  got=$(reg_value "$1" "$2") || fail "$1 has no value $2 (expected '$3')"
  [ "$got" = "$3" ] || fail "$1 $2 is '$got', expected '$3'"
}
expect_no_value() { # KEY NAME
  local got
  if got=$(reg_value "$1" "$2"); then fail "$1 still has $2 ('$got')"; fi
}
expect_no_key() {
  if wine reg query "$1" >/dev/null 2>&1; then fail "key $1 is still there"; fi
}

connection() { wine "$CW_CONNECTION_STATE" "$@" | tr -d '\r'; }

# wait_for SECONDS DESCRIPTION COMMAND...: polls the command until it succeeds.
wait_for() {
  local limit=$1 what=$2; shift 2
  for _ in $(seq $((limit * 5))); do
    if "$@"; then return 0; fi
    sleep 0.2
  done
  fail "timed out after ${limit}s waiting for $what"
}

# wait_exit SECONDS PID: waits for a program started here to end; its exit
# status is left in EXIT_STATUS.
wait_exit() {
  local limit=$1 pid=$2
  for _ in $(seq $((limit * 5))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$pid" 2>/dev/null; then fail "the program (pid $pid) still runs after ${limit}s"; fi
  EXIT_STATUS=0
  wait "$pid" || EXIT_STATUS=$?
}

# Started from a folder of the test's, so a list file the program wrote to
# its working folder instead of its own would show.
start_program() {
  (cd "$WORK" && exec wine "$EXE_WIN" >"$WORK/program.log" 2>&1) &
  APP_PID=$!
  APP_PIDS+=("$APP_PID")
}

# The program writes its list as a Windows text file (CR LF).
list_has() { tr -d '\r' <"$INSTALL_DIR/proxylist.txt" 2>/dev/null | grep -qx "$1"; }
folder_gone() { [ ! -e "$INSTALL_DIR" ]; }
shortcuts() { find "$WINEPREFIX/drive_c" -path '*Start Menu*' -iname '*cloakwall*.lnk' 2>/dev/null; }

# The uninstaller copies itself away and runs the copy, so its first process
# ends at once; removing the install folder is its last step.
uninstall_and_wait() {
  wine "$INSTALL_WIN\\uninstall.exe" /S || fail "the uninstaller did not start"
  wait_for 60 "the uninstaller to remove the install folder" folder_gone
}

# The vendor's server: the list the program downloads on its first run.
VENDOR_PORT=$(free_port)
printf '127.0.0.2:3128\n127.0.0.3:8000\n' >"$WORK/served-list.txt"
python3 "$CW_SOURCE_DIR/tools/vendor-server.py" --port "$VENDOR_PORT" \
  --list "$WORK/served-list.txt" --log "$WORK/vendor.log" >/dev/null 2>&1 &
PEER_PIDS+=($!)
wait_port "$VENDOR_PORT" || fail "the vendor stand-in did not start"

# --- A program file that cannot be written ----------------------------------

# A silent install must not report success without the program, nor leave
# settings that point at it.
mkdir -p "$INSTALL_DIR/cloakwall.exe"
if wine "$CW_SETUP" /S; then fail "the install reported success without writing the program"; fi
expect_no_key "$SETTINGS"
rm -rf "$INSTALL_DIR"
pass "an install that cannot write the program fails and writes no settings"

# --- A new install, started, and removed while it runs -----------------------

wine "$CW_SETUP" /S "/UPDATESERVER=127.0.0.1:$VENDOR_PORT" || fail "silent install failed"
# The program's public lists are never read by a test.
wine reg add "$SETTINGS" /v ProxySources /t REG_MULTI_SZ /d '' /f >/dev/null
[ -f "$INSTALL_DIR/cloakwall.exe" ] || fail "cloakwall.exe not installed in $INSTALL_DIR"
cmp -s "$INSTALL_DIR/cloakwall.exe" "$CW_PACKAGED_EXE" || fail "the installed cloakwall.exe is not the built one"
[ -f "$INSTALL_DIR/uninstall.exe" ] || fail "no uninstaller"
expect_value "$SETTINGS" AppPath "$INSTALL_WIN\\"
expect_value "$SETTINGS" AppFullPath "$QUOTED_EXE"
expect_value "$SETTINGS" UpdateServer "127.0.0.1:$VENDOR_PORT"
expect_value "$UNINST_KEY" UninstallString "\"$INSTALL_WIN\\uninstall.exe\""
expect_value "$UNINST_KEY" DisplayVersion "1.5"
[ "$(shortcuts | wc -l)" -ge 1 ] || fail "no Start-menu shortcut"
# The program makes its own Run entry; the installer does not on a new install.
expect_no_value "$RUN_KEY" Cloakwall
pass "silent install: program, uninstaller, settings, shortcut, uninstall entry"

start_program
wait_for 60 "the program to download the list into its folder" list_has 127.0.0.3:8000
grep -q 'GET /licensing/ProxyGenerator/proxylist.txt' "$WORK/vendor.log" \
  || fail "the list in the program's folder did not come from the vendor server"
[ ! -e "$WORK/proxylist.txt" ] || fail "the program wrote its list into its working folder"
expect_value "$RUN_KEY" Cloakwall "$QUOTED_EXE"
# No proxy is switched on by this start, so the caption stays unmarked.
! wine reg query "HKCU\\$CAPTION_KEY" /v "Window Title" 2>/dev/null | grep -q 'Cloakwall is Enabled' \
  || fail "a start that switched nothing on marked the browser caption"
pass "the installed program uses proxylist.txt in its folder and registers the quoted path"

# Anonymous browsing on, as the user would have it when removing the program.
connection proxy 127.0.0.1:8080 || fail "could not point the connection at the local proxy"
case "$(connection query)" in flags=1\ *) fail "the connection did not leave direct access" ;; esac

uninstall_and_wait
wait_exit 30 "$APP_PID"
[ "$EXIT_STATUS" = 0 ] || fail "the running program was ended with status $EXIT_STATUS instead of exiting"
expect_no_key "$SETTINGS"
expect_no_value "$RUN_KEY" Cloakwall
expect_no_key "$UNINST_KEY"
expect_no_value "HKLM\\$CAPTION_KEY" "Window Title"
expect_no_value "HKCU\\$CAPTION_KEY" "Window Title"
[ -z "$(shortcuts)" ] || fail "Start-menu shortcuts left: $(shortcuts)"
case "$(connection query)" in flags=1\ *) ;; *) fail "connection not direct after uninstall: $(connection query)" ;; esac
pass "uninstall while running: the program exited, no file, value, Run entry or shortcut left, connection direct"

# --- An install over a copy the user has set up ------------------------------

wine "$CW_SETUP" /S "/UPDATESERVER=127.0.0.1:$VENDOR_PORT" || fail "second silent install failed"
start_program
wait_for 60 "the program's first run" list_has 127.0.0.3:8000
# The user's own choices, a list of their own, and a Run entry as an older
# release left it (unquoted).
wine reg add "$SETTINGS" /v EnableJS /t REG_DWORD /d 1 /f >/dev/null
wine reg add "$SETTINGS" /v ClearCookies /t REG_DWORD /d 0 /f >/dev/null
wine reg add "$SETTINGS" /v ProxyName /d 127.0.0.2:3128 /f >/dev/null
wine reg add "$SETTINGS" /v UpdateServer /d "127.0.0.1:1" /f >/dev/null
wine reg add "$RUN_KEY" /v Cloakwall /d "$EXE_WIN" /f >/dev/null
printf '127.0.0.4:81\n' >"$INSTALL_DIR/proxylist.txt"

# Upgraded while it runs: the installer has to end it to replace the program.
wine "$CW_SETUP" /S || fail "install over an existing install failed"
wait_exit 30 "$APP_PID"
[ "$EXIT_STATUS" = 0 ] || fail "the running program was ended with status $EXIT_STATUS instead of exiting"
cmp -s "$INSTALL_DIR/cloakwall.exe" "$CW_PACKAGED_EXE" || fail "the program was not replaced"
expect_value "$SETTINGS" EnableJS 0x1
expect_value "$SETTINGS" ClearCookies 0x0
expect_value "$SETTINGS" ProxyName 127.0.0.2:3128
expect_value "$SETTINGS" UpdateServer "127.0.0.1:1"
expect_value "$SETTINGS" RunFirst 0x1
expect_value "$SETTINGS" AppPath "$INSTALL_WIN\\"
expect_value "$SETTINGS" AppFullPath "$QUOTED_EXE"
expect_value "$RUN_KEY" Cloakwall "$QUOTED_EXE"
[ "$(cat "$INSTALL_DIR/proxylist.txt")" = 127.0.0.4:81 ] || fail "the user's list file was replaced"
pass "upgrade: settings, UpdateServer and list file kept, Run entry quoted, running copy exited"

# Killed while browsing anonymously and while saving its list: nothing
# cleared the caption or the connection, the safe replace's temporary file
# is left beside the list, and a file of the user's sits in the folder.
wine reg add "$SETTINGS" /v UseProxy /t REG_DWORD /d 1 /f >/dev/null
start_program
wait_for 30 "the program to mark the browser caption" \
  sh -c "wine reg query 'HKCU\\$CAPTION_KEY' /v 'Window Title' 2>/dev/null | grep -q 'Cloakwall is Enabled'"
kill -9 "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
connection proxy 127.0.0.1:8080 || fail "could not point the connection at the local proxy"
echo "my notes" >"$INSTALL_DIR/notes.txt"
printf '127.0.0.5:80\r\n' >"$INSTALL_DIR/~cw1f2e3d4c.tmp"
printf '[Results]\r\n"127.0.0.5:80", elite, 3, 40, 12.50, 1765100000, ""\r\n' >"$INSTALL_DIR/proxytest.ini"

wine "$INSTALL_WIN\\uninstall.exe" /S || fail "the uninstaller did not start"
uninstalled() { ! wine reg query "$UNINST_KEY" >/dev/null 2>&1 && [ ! -e "$INSTALL_DIR/uninstall.exe" ]; }
wait_for 60 "the uninstaller to finish" uninstalled
[ -f "$INSTALL_DIR/notes.txt" ] || fail "the user's own file was removed"
left=$(cd "$INSTALL_DIR" && ls -A | tr '\n' ' ')
[ "$left" = "notes.txt " ] || fail "files left in the folder besides the user's: $left"
expect_no_key "$SETTINGS"
expect_no_value "$RUN_KEY" Cloakwall
expect_no_value "HKLM\\$CAPTION_KEY" "Window Title"
expect_no_value "HKCU\\$CAPTION_KEY" "Window Title"
case "$(connection query)" in flags=1\ *) ;; *) fail "connection not direct after uninstall: $(connection query)" ;; esac
pass "uninstall after a crash: caption values removed, connection direct, the user's file kept"

# --- The browser set to a proxy of the user's own ---------------------------

# Installed, never started, the connection pointed at another proxy: the
# uninstaller must leave it alone, and the folder goes entirely.
wine "$CW_SETUP" /S "/UPDATESERVER=127.0.0.1:$VENDOR_PORT" || fail "third silent install failed"
rm -f "$INSTALL_DIR/notes.txt"
connection proxy 127.0.0.1:3128 || fail "could not point the connection at the user's proxy"
own=$(connection query)
case "$own" in flags=1\ *) fail "the connection did not take the user's proxy: $own" ;; esac
uninstall_and_wait
[ "$(connection query)" = "$own" ] || fail "the user's own proxy was changed: $(connection query), was $own"
pass "uninstall with the user's own proxy: the connection kept, no file or folder left"
