# The display of the Windows build under Wine: CPU time over a fixed period and memory, measured
# like scripts/measure-display measures the Linux build (same screen, same service, same clock).
# shellcheck shell=bash

# $1 work folder, $2 seconds. Runs on the X server; prints one result line.
nimbrel_win_measure_under_xvfb() {
    local work=$1 seconds=$2 wid pid before after w_before w_after
    # Not local: the exit trap below needs them after this function has returned.
    service_pid='' program_pid=''
    nimbrel_win_new_prefix "$work"
    wine reg add 'HKCU\Software\Corvane\Nimbrel' /v APIKey /t REG_SZ /d demo-key /f >/dev/null
    "$NIMBREL_WIN_HOST_BUILD/tools/sample-weather-service/sample-weather-service" --port 18475 \
        >"$work/service.out" &
    service_pid=$!
    wine "$NIMBREL_WIN_BUILD/tests/e2e/nimbrel-e2e.exe" &
    program_pid=$!
    # This runs in a process of its own (scripts/windows __measure-under-xvfb): whatever ends it
    # takes the service and Wine with it.
    trap 'kill $program_pid $service_pid 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
    wid=$(timeout 120 xdotool search --sync --onlyvisible --name '^Nimbrel$' | head -n 1)
    # The start button's centre in the client area; Wine's own frame, if any, comes first.
    local geometry width height side title
    geometry=$(xdotool getwindowgeometry --shell "$wid")
    width=$(sed -n 's/^WIDTH=//p' <<<"$geometry")
    height=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
    side=$(((width - 536) / 2))
    title=$((height - 541 - side))
    xdotool mousemove --window "$wid" $((side + 8 + 520 / 2)) $((title + 44 + 27 / 2)) click 1
    # The display is the program's own window that covers the screen (the root window does too).
    local deadline=$((SECONDS + 120)) full=
    while [ "$SECONDS" -lt "$deadline" ] && [ -z "$full" ]; do
        for wid in $(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null); do
            if xdotool getwindowgeometry --shell "$wid" 2>/dev/null | grep -qx 'WIDTH=1920' &&
                xdotool getwindowgeometry --shell "$wid" 2>/dev/null | grep -qx 'HEIGHT=1080'; then
                full=$wid
                break
            fi
        done
        sleep 0.2
    done
    [ -n "$full" ] || { echo "the Windows build showed no display" >&2; return 1; }
    # Wine runs the program in the process it was started in; its server is the newest one, started
    # for this prefix.
    pid=$program_pid
    local server
    server=$(pgrep -n -u "$(id -u)" '^wineserver')
    sleep 2
    before=$(awk '{ print $1 }' "/proc/$pid/schedstat")
    w_before=$(awk '{ print $1 }' "/proc/$server/schedstat")
    sleep "$seconds"
    after=$(awk '{ print $1 }' "/proc/$pid/schedstat")
    w_after=$(awk '{ print $1 }' "/proc/$server/schedstat")
    awk -v ns=$((after - before)) -v wns=$((w_after - w_before)) -v s="$seconds" \
        -v pss="$(awk '/^Pss:/ { print $2 }' "/proc/$pid/smaps_rollup")" \
        -v rss="$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")" 'BEGIN {
            printf "%-22s CPU %7.3f s in %d s (%5.2f %% of one core)   Pss %7.1f MiB   RSS %7.1f MiB\n",
                "nimbrel.exe (Wine)", ns / 1e9, s, 100 * ns / 1e9 / s, pss / 1024, rss / 1024
            printf "%-22s CPU %7.3f s in %d s\n", "wineserver", wns / 1e9, s
        }'
    kill "$program_pid" "$service_pid" 2>/dev/null || true
    wineserver -k || true
    wait "$program_pid" "$service_pid" 2>/dev/null || true
}
