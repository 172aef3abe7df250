#!/usr/bin/env bash
# What pressbird answers from a terminal: --version and --help without a
# display, a clear sentence and status 1 when no display can be opened, and
# nothing written to the settings folder in either case.
#
#   tests/e2e/cli.sh PRESSBIRD_BINARY
set -uo pipefail

pressbird="$1"
tmp="$(mktemp -d "${TMPDIR:-/tmp}/pressbird-cli.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT
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
echo "cli: PASS"
