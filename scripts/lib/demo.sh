# The offline demo: the sample weather service on a free loopback port, a build of the program
# pointed at it, and a throwaway settings folder. Shared by scripts/run --demo and
# scripts/screenshots.
# shellcheck shell=bash

NIMBREL_DEMO_BUILD="$NIMBREL_ROOT/build/demo"

# Starts the service; sets NIMBREL_DEMO_SERVICE_PID and NIMBREL_DEMO_URL.
nimbrel_demo_start_service() {
    local jobs
    jobs=$(nimbrel_jobs)
    cmake -S "$NIMBREL_ROOT" -B "$NIMBREL_DEMO_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DNIMBREL_TESTS=OFF -DNIMBREL_BENCH=OFF >/dev/null
    cmake --build "$NIMBREL_DEMO_BUILD" -j"$jobs" --target sample-weather-service
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    "$NIMBREL_DEMO_BUILD/tools/sample-weather-service/sample-weather-service" --port 0 >"$fifo" &
    NIMBREL_DEMO_SERVICE_PID=$!
    local line
    read -r line <"$fifo"
    rm -f "$fifo"
    NIMBREL_DEMO_URL=${line#listening on }
    echo "Sample weather service at $NIMBREL_DEMO_URL"
}

# Builds the program as it ships; the demo points it at the service with --service-url, so a new
# port never rebuilds anything.
nimbrel_demo_build_program() {
    local jobs
    jobs=$(nimbrel_jobs)
    cmake --build "$NIMBREL_DEMO_BUILD" -j"$jobs" --target nimbrel
}

# A settings folder of its own, so the user's settings are never touched; sets
# NIMBREL_DEMO_CONFIG.
nimbrel_demo_config() {
    NIMBREL_DEMO_CONFIG=$(mktemp -d)
    printf '[Nimbrel]\nAPIKey=demo-key\nText1=San Diego CA\n' >"$NIMBREL_DEMO_CONFIG/Corvane.ini"
}

# The same with every element of the wall on: the time and date, the details line, the symbol
# and the forecast for the next days.
nimbrel_demo_every_element() {
    printf 'Show Time=1\nShow Date=1\nShow Details=1\nShow Symbol=1\nForecast=2\n' \
        >>"$NIMBREL_DEMO_CONFIG/Corvane.ini"
}

nimbrel_demo_stop() {
    if [ -n "${NIMBREL_DEMO_SERVICE_PID:-}" ]; then
        kill "$NIMBREL_DEMO_SERVICE_PID" 2>/dev/null || true
        wait "$NIMBREL_DEMO_SERVICE_PID" 2>/dev/null || true
    fi
    if [ -n "${NIMBREL_DEMO_CONFIG:-}" ]; then
        rm -rf "$NIMBREL_DEMO_CONFIG"
    fi
}
