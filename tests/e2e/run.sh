#!/usr/bin/env bash
# End-to-end test of the installed program on a real X server: Xvfb with
# openbox and a tray (trayer), a headless Chromium on the demo page, and
# pressbird driven with xdotool as a user would drive it.
#
#   tests/e2e/run.sh [BUILD_DIR]     (default: build/dev)
#
# Exit 0 on success, 1 on a failed check, 77 when a needed tool is missing.
# Screenshots go to docs/screenshots/ (or $PRESSBIRD_SCREENSHOTS).
set -uo pipefail

repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$repo/build/dev}"
shots="${PRESSBIRD_SCREENSHOTS:-$repo/docs/screenshots}"
caption="Pressbird 2.1 - pressbird-tools.example"

for tool in Xvfb openbox trayer xdotool xwininfo xdpyinfo xprop dbus-daemon chromium import convert sqlite3 python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "e2e: SKIP: $tool is not installed" >&2
        exit 77
    fi
done

# The unit tests run offscreen; this one needs the real X server, and none of
# the desktop session it may have been started from.
unset QT_QPA_PLATFORM WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER
tmp="$(mktemp -d "${TMPDIR:-/tmp}/pressbird-e2e.XXXXXX")"
pids=()
track() {
    pids+=("$1")
    echo "$1" >>"$tmp/pids"
}
alive() {
    local pid
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && return 0; done
    return 1
}
cleanup() {
    [ -n "${watchdog:-}" ] && kill "$watchdog" 2>/dev/null
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    for _ in $(seq 30); do alive || break; sleep 0.1; done
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
# Ends what this script started even when the script itself is killed
# outright, as by a time-out of the test runner.
(
    trap 'kill "$nap" 2>/dev/null; wait "$nap"; exit 0' TERM
    while kill -0 $$ 2>/dev/null; do
        sleep 1 &
        nap=$!
        wait "$nap"
    done
    [ -f "$tmp/pids" ] && xargs -r kill -9 <"$tmp/pids"
    rm -rf "$tmp"
) >/dev/null 2>&1 &
watchdog=$!

step() { echo "e2e: $*"; }
fail() {
    echo "e2e: FAIL: $*" >&2
    import -window root "$tmp/failure.png" 2>/dev/null && cp "$tmp/failure.png" "$shots/e2e-failure.png" 2>/dev/null
    [ -n "${main:-}" ] && xprop -id "$main" WM_STATE _NET_WM_STATE 2>&1 | sed 's/^/  main window: /' >&2
    for log in trayer openbox xvfb dbus; do [ -s "$tmp/$log.log" ] && sed "s/^/  $log: /" "$tmp/$log.log" >&2; done
    [ -f "$tmp/pressbird.log" ] && sed 's/^/  pressbird: /' "$tmp/pressbird.log" >&2
    exit 1
}
# wait_for SECONDS DESCRIPTION COMMAND...: polls every 0.2 s.
wait_for() {
    local limit=$1 what=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "$what (waited ${limit} s)"
        sleep 0.2
    done
}

# --- install into a throwaway prefix ------------------------------------------
prefix="$tmp/prefix"
step "installing $build into $prefix"
# Under CTest the tree is built already, and a second build in it would race
# with whatever else runs there.
if [ -z "${PRESSBIRD_E2E_NO_BUILD:-}" ]; then
    cmake --build "$build" --target pressbird pressbird-ctl fake_notifications >"$tmp/build.log" 2>&1 ||
        { cat "$tmp/build.log"; fail "build"; }
fi
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "install"; }
[ -x "$prefix/bin/pressbird" ] || fail "bin/pressbird was not installed"
[ -f "$prefix/share/applications/pressbird.desktop" ] || fail "the desktop entry was not installed"
demo="$prefix/share/pressbird/demo/index.html"
[ -f "$demo" ] || fail "the demo page was not installed"
mkdir -p "$shots"

# --- X server, window manager, tray ---------------------------------------------
# A display number well away from the usual ones, since other sessions on
# this machine start X servers too; a server that loses a race for its number
# dies at once, and the next try takes another. The lock file names the
# server that won, so the test never drives another session's display.
# -noreset: the short-lived probes below would otherwise reset the server
# each time they disconnect, refusing the clients that connect meanwhile.
ours() { [ "$(tr -d ' \n' 2>/dev/null <"/tmp/.X$1-lock")" = "$2" ] && kill -0 "$2" 2>/dev/null; }
xserver=""
for attempt in 1 2 3 4 5 6 7 8; do
    n=$((200 + RANDOM % 700))
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >>"$tmp/xvfb.log" 2>&1 &
    xvfb=$!
    track "$xvfb"
    for _ in $(seq 50); do
        kill -0 "$xvfb" 2>/dev/null || break
        if ours "$n" "$xvfb" && DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
            xserver=":$n"
            break 2
        fi
        sleep 0.2
    done
    kill "$xvfb" 2>/dev/null
done
[ -n "$xserver" ] || fail "Xvfb did not start"
export DISPLAY="$xserver"
step "X server on $DISPLAY"
# The window manager and the tray are started again if they give up early:
# on a busy machine a fresh X server sometimes refuses its first clients.
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window; }
tray_ready() { xdotool search --onlyvisible --name '^panel$' >/dev/null 2>&1; }
start_helper() {
    local name=$1 ready=$2
    shift 2
    for _ in 1 2 3; do
        "$@" >>"$tmp/$name.log" 2>&1 &
        local pid=$!
        track "$pid"
        for _ in $(seq 50); do
            "$ready" 2>/dev/null && return 0
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.2
        done
        kill "$pid" 2>/dev/null
        sleep 1
    done
    fail "$name did not start"
}
start_helper openbox wm_ready openbox
start_helper trayer tray_ready trayer --edge bottom --align right --widthtype pixel --width 120 \
    --heighttype pixel --height 32 --transparent false --SetDockType true
panel="$(xdotool search --onlyvisible --name '^panel$' | head -n1)"

# Everything from here on sees only the fresh folders and the installed prefix.
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
export XDG_DATA_DIRS="$prefix/share" XDG_RUNTIME_DIR="$tmp/run" XDG_CACHE_HOME="$tmp/cache"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# A bus of the test's own: without one, the first D-Bus client would launch a
# bus on the X server that outlives the test, and a bus of a real session
# could take the tray icon away from trayer.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$XDG_RUNTIME_DIR/bus" \
    >"$tmp/dbus.log" 2>&1 &
track $!
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
wait_for 10 "the session bus did not start" test -S "$XDG_RUNTIME_DIR/bus"
# The desktop's notification service, one that writes down what it is told.
notifications="$build/tests/shell/fake_notifications"
[ -x "$notifications" ] || fail "$notifications is not built"
"$notifications" >"$tmp/notifications.log" 2>&1 &
track $!
wait_for 10 "the notification service did not start" grep -qx ready "$tmp/notifications.log"

# --- the browser ------------------------------------------------------------------
profile="$XDG_DATA_HOME/Pressbird/browser-profile"
mkdir -p "$profile"
export PRESSBIRD_BROWSER_FLAGS="--headless=new --no-sandbox --disable-gpu --no-first-run"
if [ -x "$prefix/bin/pressbird-browser" ]; then
    "$prefix/bin/pressbird-browser" "file://$demo" >"$tmp/browser.log" 2>&1 &
else
    # shellcheck disable=SC2086
    chromium --remote-debugging-port=0 --user-data-dir="$profile" $PRESSBIRD_BROWSER_FLAGS \
        "file://$demo" >"$tmp/browser.log" 2>&1 &
fi
track $!
wait_for 30 "the browser wrote no DevToolsActivePort" test -s "$profile/DevToolsActivePort"
port="$(head -n1 "$profile/DevToolsActivePort")"
page_title() {
    python3 - "$port" <<'PY'
import json, sys, urllib.request
for t in json.load(urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/json/list", timeout=2)):
    if t.get("type") == "page" and "demo" in t.get("title", ""):
        print(t["title"])
PY
}
title_says() { page_title | grep -q "$1"; }
wait_for 20 "the demo page did not load" title_says "nothing pressed yet"

# --- pressbird ----------------------------------------------------------------------
store="$XDG_CONFIG_HOME/Pressbird/settings.sqlite3"
setting() { sqlite3 -readonly "$store" "SELECT value FROM settings WHERE section='$1' AND key='$2'" 2>/dev/null; }
main_window() { xdotool search --onlyvisible --name "^${caption}\$" | head -n1; }
visible() { xwininfo -id "$1" 2>/dev/null | grep -q "Map State: IsViewable"; }
tray_icons() { xwininfo -tree -id "$panel" | grep -c '("pressbird" "pressbird")'; }
start_pressbird() {
    "$prefix/bin/pressbird" >>"$tmp/pressbird.log" 2>&1 &
    pb=$!
    track "$pb"
    wait_for 15 "the main window did not appear" bash -c "xdotool search --onlyvisible --name '^${caption}\$'"
    main="$(main_window)"
}
# click WINDOW X Y: a left click at window-relative pixel coordinates.
click() { xdotool mousemove --window "$1" "$2" "$3" sleep 0.1 click 1; sleep 0.3; }

step "starting pressbird (first run)"
start_pressbird
wait_for 10 "the start-up prompt did not appear" bash -c "xdotool search --onlyvisible --name '^Form2255\$'"
prompt="$(xdotool search --onlyvisible --name '^Form2255$' | head -n1)"
sleep 0.5
import -window root "$shots/first-start.png"

step "answering Yes to the start-up prompt"
# Yes lies at 104,80 (81x33) in the prompt.
click "$prompt" 144 96
wait_for 5 "the prompt did not go away" bash -c "! xwininfo -id $prompt | grep -q IsViewable"
[ -f "$XDG_CONFIG_HOME/autostart/Pressbird.desktop" ] || fail "Yes made no autostart entry"
[ "$(setting StartUpQ qStrup)" = "1" ] || fail "Yes did not store qStrup=1 (got '$(setting StartUpQ qStrup)')"

# The layout is in twips below the menu bar; the window's height minus the
# client height (278 px) is the menu bar.
height="$(xwininfo -id "$main" | awk '/Height:/ {print $2}')"
mb=$((height - 278))
step "adding the link rule 'Press me' (Contains) and ticking it (menu bar ${mb} px)"
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
click "$main" 50 $((mb + 41))
xdotool type --delay 30 "Press me"
# Combo1's arrow, then the fourth kind, "Contains ".
click "$main" 168 $((mb + 42))
xdotool key --delay 100 Down Down Down Down Return
sleep 0.3
click "$main" 48 $((mb + 68))
wait_for 5 "Add stored no rule" bash -c "sqlite3 -readonly '$store' \"SELECT value FROM settings WHERE section='list' AND key='listclick-0'\" | grep -q 'Press me -Type: Contains'"
# The tick box of the first line of ListClick.
click "$main" 17 $((mb + 97))
wait_for 5 "ticking the line stored no tick" bash -c "sqlite3 -readonly '$store' \"SELECT value FROM settings WHERE section='list' AND key='listclick-0'\" | grep -q 'Checked: True'"
import -window root "$shots/main-window.png"

step "waiting for the link to be clicked (interval 5000 ms)"
wait_for 12 "the link was not clicked within one interval" title_says "link [1-9]"
page_title

# --- pressbird-ctl against the running instance ----------------------------------------
ctl="$prefix/bin/pressbird-ctl"
link_clicks() { page_title | sed -n 's/.*link \([0-9]*\),.*/\1/p'; }
step "pressbird-ctl status, pause: no press for the next intervals"
"$ctl" status >"$tmp/status.txt" || fail "pressbird-ctl status failed"
[ "$(head -n1 "$tmp/status.txt")" = "scanning" ] || fail "status did not say scanning: $(cat "$tmp/status.txt")"
[ "$("$ctl" pause)" = "paused" ] || fail "pressbird-ctl pause did not answer paused"
paused_at="$(link_clicks)"
sleep 11 # two intervals and the pause after a press
[ "$(link_clicks)" = "$paused_at" ] || fail "a link was pressed while paused ($paused_at, then $(link_clicks))"
[ "$(head -n1 <("$ctl" status))" = "paused" ] || fail "status did not say paused"
step "pressbird-ctl resume: presses again, and activity lists the presses"
[ "$("$ctl" resume)" = "scanning" ] || fail "pressbird-ctl resume did not answer scanning"
more_than_paused() { [ "$(link_clicks)" -gt "$paused_at" ]; }
wait_for 12 "no press after resume" more_than_paused
sleep 1
"$ctl" activity 5 >"$tmp/activity.txt" || fail "pressbird-ctl activity failed"
grep -qP '^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\tlink\tPress me -Type: Contains \tPress me[^\t]*\tfile://.*/demo/index\.html' "$tmp/activity.txt" ||
    fail "activity did not list the presses: $(cat "$tmp/activity.txt")"
[ "$(wc -l <"$tmp/activity.txt")" -ge 2 ] || fail "activity listed fewer than two presses"
"$ctl" preview >"$tmp/preview.txt" || fail "pressbird-ctl preview failed"
grep -q $'^link\tPress me -Type: Contains \tPress me' "$tmp/preview.txt" || fail "preview listed no match: $(cat "$tmp/preview.txt")"

step "a rule that notifies: its presses reach the desktop's notification service"
"$ctl" rule links "Press me" --notify on >"$tmp/rule.txt" 2>&1 || fail "pressbird-ctl rule failed: $(cat "$tmp/rule.txt")"
grep -q $'^link\tPress me -Type: Contains \teverywhere\tnone\ton$' "$tmp/rule.txt" ||
    fail "pressbird-ctl rule answered '$(cat "$tmp/rule.txt")'"
wait_for 12 "no notification of a press" grep -q $'^Pressed "Press me[^\t]*"\t.*demo' "$tmp/notifications.log"
"$ctl" rule links "Press me" --notify off >/dev/null || fail "pressbird-ctl rule --notify off failed"

step "the Activity, Preview, Browsers, Preferences and Rule Options windows"
for window in activity preview browsers; do
    "$ctl" show "$window" || fail "pressbird-ctl show $window failed"
    name="Pressbird - ${window^}"
    wait_for 5 "the $window window did not appear" bash -c "xdotool search --onlyvisible --name '^$name\$'"
    sleep 1.5
    import -window "$(xdotool search --onlyvisible --name "^$name\$" | head -n1)" "$shots/$window-window.png"
done
"$ctl" show preferences || fail "pressbird-ctl show preferences failed"
wait_for 5 "the preferences window did not appear" bash -c "xdotool search --onlyvisible --name '^Pressbird Preferences\$'"
sleep 1.5
import -window "$(xdotool search --onlyvisible --name '^Pressbird Preferences$' | head -n1)" "$shots/preferences-window.png"
"$ctl" rule links "Press me" --sites "*.example.com, localhost:8080/app" --limit 2 --limit 30/hour >/dev/null ||
    fail "pressbird-ctl rule --sites --limit failed"
"$ctl" show rules || fail "pressbird-ctl show rules failed"
wait_for 5 "the rule options window did not appear" bash -c "xdotool search --onlyvisible --name '^Pressbird Rule Options\$'"
sleep 1.5
import -window "$(xdotool search --onlyvisible --name '^Pressbird Rule Options$' | head -n1)" "$shots/rule-options-window.png"
"$ctl" rule links "Press me" --sites "" --limit none >/dev/null || fail "pressbird-ctl rule could not clear the options"


step "minimising to the tray"
before="$(tray_icons)"
xdotool windowminimize "$main"
wait_for 5 "the window did not hide" bash -c "! xwininfo -id $main | grep -q IsViewable"
wait_for 5 "no tray icon appeared" bash -c "xwininfo -tree -id $panel | grep -q '(\"pressbird\" \"pressbird\")'"
sleep 0.5
[ "$(tray_icons)" -eq $((before + 1)) ] || fail "expected exactly one tray icon, found $(( $(tray_icons) - before ))"
import -window root "$tmp/tray.png"
ppos="$(xwininfo -id "$panel" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}')"
read -r px py pw ph <<<"$ppos"
convert "$tmp/tray.png" -crop "${pw}x${ph}+${px}+${py}" +repage -scale 300% "$shots/tray.png"

step "a left click on the icon restores the window"
icon="$(xwininfo -tree -id "$panel" | grep '("pressbird" "pressbird")' | awk '{print $1}')"
xdotool mousemove --window "$icon" 8 8 sleep 0.1 click 1
wait_for 5 "the window did not come back" visible "$main"
xprop -id "$main" _NET_WM_STATE | grep -q HIDDEN && fail "the window came back minimised"

step "a second pressbird brings the window forward and ends"
xdotool windowminimize "$main"
wait_for 5 "the window did not hide" bash -c "! xwininfo -id $main | grep -q IsViewable"
timeout 10 "$prefix/bin/pressbird" >>"$tmp/pressbird.log" 2>&1 || fail "a second pressbird ended with status $?"
wait_for 5 "the second start did not bring the window back" visible "$main"
[ "$(pgrep -c -f "^$prefix/bin/pressbird\$")" -eq 1 ] || fail "more than one pressbird runs"

step "a close request leaves the window open"
xdotool windowactivate --sync "$main" 2>/dev/null
xdotool key alt+F4
sleep 1
kill -0 "$pb" 2>/dev/null || fail "the program ended on a close request"
visible "$main" || fail "the window closed on a close request"

step "File > Exit ends the program and leaves no icon"
click "$main" 19 $((mb / 2))
xdotool key --delay 150 Up Return
wait_for 5 "the program did not end after File > Exit" bash -c "! kill -0 $pb"
wait "$pb"; rc=$?
[ "$rc" -eq 0 ] || fail "pressbird ended with status $rc after File > Exit"
[ "$(tray_icons)" -eq "$before" ] || fail "a tray icon was left behind"

step "starting again: no prompt, the rule is still there and ticked"
clicks_before="$(page_title | sed -n 's/.*link \([0-9]*\),.*/\1/p')"
start_pressbird
sleep 1.5
xdotool search --onlyvisible --name '^Form2255$' >/dev/null && fail "the prompt came again after Yes"
sqlite3 -readonly "$store" "SELECT value FROM settings WHERE section='list'" | grep -q 'Press me -Type: Contains  -Checked: True' ||
    fail "the rule was not kept ticked"
import -window root "$shots/second-start.png"
# Only a rule that came back into the list, ticked, presses the link again.
more_clicks() { [ "$(page_title | sed -n 's/.*link \([0-9]*\),.*/\1/p')" -gt "$clicks_before" ]; }
wait_for 12 "the reloaded rule did not press the link within one interval" more_clicks
# The press is followed by a five-second pause: Exit now cancels the scan
# where it waits and ends the program at once.
step "File > Exit during the pause after a press ends the program at once"
click "$main" 19 $((mb / 2))
xdotool key --delay 150 Up Return
wait_for 2 "the program did not end at once on Exit during the pause" bash -c "! kill -0 $pb"
wait "$pb"; rc=$?
[ "$rc" -eq 0 ] || fail "pressbird ended with status $rc the second time"

step "two starts at once: one scanner"
"$prefix/bin/pressbird" >>"$tmp/pressbird.log" 2>&1 &
first=$!
track "$first"
"$prefix/bin/pressbird" >>"$tmp/pressbird.log" 2>&1 &
second=$!
track "$second"
sleep 3
[ "$(pgrep -c -f "^$prefix/bin/pressbird\$")" -eq 1 ] || fail "two starts at once left $(pgrep -c -f "^$prefix/bin/pressbird\$") running"
survivor="$(pgrep -f "^$prefix/bin/pressbird\$")"
step "a crashed instance's lock and socket are taken over"
kill -9 "$survivor"
sleep 0.5
start_pressbird
"$ctl" status >/dev/null || fail "pressbird-ctl did not reach the instance started after a crash"
"$ctl" pause >/dev/null
click "$main" 19 $((mb / 2))
xdotool key --delay 150 Up Return
wait_for 5 "the program did not end the third time" bash -c "! kill -0 $pb"
"$ctl" status >/dev/null 2>&1 && fail "pressbird-ctl status succeeded with nothing running"

step "PASS (screenshots in $shots)"
exit 0
