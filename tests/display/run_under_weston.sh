#!/usr/bin/env bash
# Runs a test program on a Wayland compositor of its own: weston's headless backend with the
# pixman renderer (no GPU), on a private socket in a private runtime folder.
# usage: run_under_weston.sh <width> <height> <program> [args...]
set -u
width=$1 height=$2
shift 2
command -v weston >/dev/null || { echo "weston is not installed"; exit 77; }
runtime=$(mktemp -d)
chmod 700 "$runtime"
socket=nimbrel-test-$$
XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --use-pixman --no-config \
    --socket="$socket" --width="$width" --height="$height" --idle-time=0 \
    >"$runtime/weston.log" 2>&1 &
weston_pid=$!
cleanup() {
    kill "$weston_pid" 2>/dev/null
    wait "$weston_pid" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -S "$runtime/$socket" ] && break
    kill -0 "$weston_pid" 2>/dev/null || { cat "$runtime/weston.log"; exit 1; }
    sleep 0.1
done
[ -S "$runtime/$socket" ] || { echo "weston did not open its socket"; cat "$runtime/weston.log"; exit 1; }
# The Wayland client library and Qt's Wayland plugin keep a few allocations until the process
# ends; the leak check of the sanitizer build is left to the tests that run without them.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland \
    NIMBREL_OUTPUT_SIZE="${width}x${height}" "$@"
