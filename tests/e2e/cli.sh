#!/usr/bin/env bash
# What pressbird answers from a terminal: --version and --help without a
# display, a clear sentence and status 1 when no display can be opened, and
# nothing written to the settings folder in either case. Then what
# pressbird-ctl does with the preferences, on its own and through a running
# Pressbird (on the offscreen platform, looking for no browser), and the
# frame of a press in its activity lines.
#
#   tests/e2e/cli.sh PRESSBIRD_BINARY PRESSBIRD_CTL_BINARY
set -uo pipefail

pressbird="$1"
ctl="$2"
tmp="$(mktemp -d "${TMPDIR:-/tmp}/pressbird-cli.XXXXXX")"
instance=""
trap '[ -n "$instance" ] && kill "$instance" 2>/dev/null; rm -rf "$tmp"' EXIT
fail() {
    echo "cli: FAIL: $*" >&2
    [ -f "$tmp/err" ] && sed 's/^/  stderr: /' "$tmp/err" >&2
    exit 1
}
# Runs pressbird with no display but $display; a hung program is killed after 10 s.
display=""
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ${display:+DISPLAY="$display"} \
        XDG_CONFIG_HOME="$tmp/config" timeout -k 2 10 "$pressbird" "$@" >"$tmp/out" 2>"$tmp/err"
}

run --version
rc=$?
[ "$rc" -eq 0 ] || fail "--version ended with status $rc"
grep -qx 'pressbird 2\.1' "$tmp/out" || fail "--version printed '$(cat "$tmp/out")'"

run --help
rc=$?
[ "$rc" -eq 0 ] || fail "--help ended with status $rc"
grep -q -- '--version' "$tmp/out" || fail "--help does not list --version"
grep -q 'pressbird-browser' "$tmp/out" || fail "--help does not say how to start a browser"

run
rc=$?
[ "$rc" -eq 1 ] || fail "without a display pressbird ended with status $rc, not 1"
grep -q 'pressbird: no display could be opened (DISPLAY is not set)' "$tmp/err" ||
    fail "without a display pressbird did not say so"

display=":0.99" # a screen that no server has
run
rc=$?
[ "$rc" -eq 1 ] || fail "with an unreachable display pressbird ended with status $rc, not 1"

[ ! -e "$tmp/config" ] || fail "pressbird wrote settings although it could not start"

# --- the preferences, with no Pressbird running -------------------------------------
command -v sqlite3 >/dev/null || fail "sqlite3 is not installed (scripts/bootstrap installs it)"
home="$tmp/home"
mkdir -p "$home/run" && chmod 700 "$home/run"
# An empty PRESSBIRD_BROWSERS: no browser is looked for, not even one of another session.
in_home=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config"
    XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" PRESSBIRD_BROWSERS=)
ctl_run() { "${in_home[@]}" timeout -k 2 10 "$ctl" "$@" >"$tmp/out" 2>"$tmp/err"; }
# expect STATUS OUTPUT ARGUMENTS...: pressbird-ctl ends with STATUS and prints OUTPUT.
expect() {
    local status=$1 output=$2
    shift 2
    ctl_run "$@"
    rc=$?
    [ "$rc" -eq "$status" ] || fail "pressbird-ctl $* ended with status $rc, not $status"
    [ "$(cat "$tmp/out")" = "$(printf '%b' "$output")" ] ||
        fail "pressbird-ctl $* printed '$(cat "$tmp/out")'"
}
# refused_keeping VIEW ARGUMENTS...: a reason on stderr, status 1, and what
# pressbird-ctl VIEW prints as it was.
refused_keeping() {
    local view=$1 before
    shift
    ctl_run "$view"
    before=$(cat "$tmp/out")
    expect 1 "" "$@"
    grep -q '^pressbird-ctl: ..' "$tmp/err" || fail "pressbird-ctl $* gave no reason"
    ctl_run "$view"
    [ "$(cat "$tmp/out")" = "$before" ] || fail "pressbird-ctl $* changed what $view prints"
}
refused() { refused_keeping get "$@"; }

expect 0 'pages\tclassic\nvisible-only\toff' get
expect 0 'pages\ttoday' set pages today
expect 0 'pages\ttoday' get pages
refused set pages modern
refused set pages Today
refused set page today
refused set visible-only today
refused get page
expect 2 "" set pages

# --- each rule's options, with no Pressbird running ---------------------------------
printf '%s' '{"format": "pressbird-rules", "version": 1,
  "links": [{"name": "Next", "kind": "Contains", "ticked": false},
            {"name": "Next", "kind": "Exact Match", "ticked": true}],
  "buttons": [{"name": "Skip ad", "kind": "Exact Match", "ticked": true, "notify": true}]}' \
    >"$tmp/rules.json"
ctl_run import "$tmp/rules.json" || fail "the rules to give options to were not imported"
exact='Next -Type: Exact Match'
plain="link\tNext -Type: Contains\teverywhere\tnone\toff\nlink\t$exact\teverywhere\tnone\toff"
skip='button\tSkip ad -Type: Exact Match\teverywhere\tnone\ton'
# rules_are OUTPUT: rules prints those lines; the lists turn round at each
# reload of the settings, so in any order.
rules_are() {
    ctl_run rules || fail "pressbird-ctl rules ended with status $?"
    [ "$(sort "$tmp/out")" = "$(printf '%b\n' "$1" | sort)" ] ||
        fail "pressbird-ctl rules printed '$(cat "$tmp/out")'"
}
rules_are "$plain\n$skip"
rule_refused() { refused_keeping rules "$@"; }
rule_refused rule links "$exact" --sites "not a site!"
rule_refused rule links "$exact" --limit 0
rule_refused rule links "$exact" --limit 1000000000000
rule_refused rule links "$exact" --limit 2/day
rule_refused rule links "$exact" --notify maybe
rule_refused rule links Next --notify on # two rules have that name
rule_refused rule links Gone --notify on
rule_refused rule pages Next --notify on
rule_refused rule links "$exact" --sites "$(printf 'a.com,%.0s' $(seq 10000))"
expect 0 "link\t$exact\t*.example.com, localhost:8080/app\t2/load, 5/hour\ton" \
    rule links "$exact" --sites "*.example.com, localhost:8080/app" --limit 2 --limit 5/hour \
    --notify on
expect 0 "button\tSkip ad -Type: Exact Match\teverywhere\tnone\toff" \
    rule buttons "Skip ad" --notify off
rules_are "link\tNext -Type: Contains\teverywhere\tnone\toff
link\t$exact\t*.example.com, localhost:8080/app\t2/load, 5/hour\ton
button\tSkip ad -Type: Exact Match\teverywhere\tnone\toff"

# --- the frame of a press: the seventh field of activity ------------------------------
expect 0 "" activity # opens the log, empty
sqlite3 "$home/config/Pressbird/activity.sqlite3" "INSERT INTO presses(time, list, entry,
    element, title, address, browser, frame) VALUES('2026-12-08T09:00:05.000', 'button', 'OK',
    'OK', 't', 'https://example.org/', 'b', 'https://ads.example.net/frame')" ||
    fail "the activity log has no frame column"
ctl_run activity 1
[ "$(cut -f6- "$tmp/out")" = "$(printf '\thttps://ads.example.net/frame')" ] ||
    fail "activity did not print the frame as the seventh field: '$(cat "$tmp/out")'"

# --- the preferences through a running Pressbird ------------------------------------
"${in_home[@]}" QT_QPA_PLATFORM=offscreen timeout -k 2 40 "$pressbird" >"$tmp/instance.log" 2>&1 &
instance=$!
for _ in $(seq 50); do
    [ -S "$home/run/pressbird/control" ] && break
    sleep 0.2
done
# The launcher's Preferences action, as the desktop runs it; only a running
# Pressbird shows a window.
entry="$(dirname "$0")/../../data/pressbird.desktop"
grep -qx 'Actions=.*;Preferences;.*' "$entry" || fail "the launcher offers no Preferences action"
action=$(sed -n '/^\[Desktop Action Preferences\]/,/^\[/s/^Exec=pressbird-ctl //p' "$entry")
[ "$action" = "show preferences" ] || fail "the Preferences action runs '$action'"
# shellcheck disable=SC2086
expect 0 "" $action
expect 0 'pages\ttoday\nvisible-only\toff' get
expect 0 'visible-only\ton' set visible-only on
refused set visible-only maybe
refused set pages ""
expect 0 'pages\ttoday\nvisible-only\ton' get
# The Rule options action, and a rule's options set through the running Pressbird.
grep -qx 'Actions=.*;RuleOptions;.*' "$entry" || fail "the launcher offers no Rule options action"
action=$(sed -n '/^\[Desktop Action RuleOptions\]/,/^\[/s/^Exec=pressbird-ctl //p' "$entry")
[ "$action" = "show rules" ] || fail "the Rule options action runs '$action'"
# shellcheck disable=SC2086
expect 0 "" $action
expect 0 "link\t$exact\teverywhere\tnone\toff" rule links "$exact" --sites "" --limit none \
    --notify off
rule_refused rule links "$exact" --sites "example.com/?q"
kill "$instance"
wait "$instance" 2>/dev/null
instance=""
pgrep -f "^$pressbird\$" >/dev/null && fail "Pressbird did not end"
# What the instance saved is in the settings file.
expect 0 'visible-only\ton' get visible-only
rules_are "$plain\nbutton\tSkip ad -Type: Exact Match\teverywhere\tnone\toff"

echo "cli: PASS"
