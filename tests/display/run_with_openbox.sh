#!/usr/bin/env bash
# Runs a test program under openbox on the caller's X server (xvfb-run): a window manager that
# reparents, focuses, stacks and takes full-screen requests as a desktop's does.
# usage: run_with_openbox.sh <program> [args...]
set -u
command -v openbox >/dev/null || { echo "openbox is not installed"; exit 77; }
openbox --sm-disable >/dev/null 2>&1 &
openbox_pid=$!
trap 'kill "$openbox_pid" 2>/dev/null; wait "$openbox_pid" 2>/dev/null' EXIT
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    kill -0 "$openbox_pid" 2>/dev/null || { echo "openbox ended"; exit 1; }
    sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { echo "openbox did not start"; exit 1; }
"$@"
