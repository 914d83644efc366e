# Sourced by scripts/bench and scripts/soak: a build folder's Wine prefix and test server, and
# the benchmark package.

# Usage: bench_setup BUILD_DIR PACKAGE_MIB; sets bench_build, bench_port, bench_package.
bench_setup() {
    bench_build=$(cd "$1" && pwd)
    source "$root/scripts/wine-env.sh"
    vexa_wine_env "$bench_build"
    bench_port=$(sed -n 's/^VEXA_TEST_PORT_BASE:STRING=//p' "$bench_build/CMakeCache.txt")
    # The tests' fixture may already run this build folder's server; otherwise start it here.
    local server="$bench_build/test-server"
    if [[ -f "$server/ready" ]] && kill -0 "$(cat "$server/server.pid" 2>/dev/null)" 2>/dev/null; then
        vexa_wine_up
    else
        "$root/scripts/test-env" up "$bench_build" >/dev/null
        trap '"$root/scripts/test-env" down "$bench_build"' EXIT
    fi
    bench_package="$bench_build/bench-data/package-${2}m.zip"
    python3 "$root/bench/make_package.py" "$2" "$bench_build/tools/demo_client.exe" "$bench_package"
}

bench_machine() {
    echo "$(date -u '+%Y-%m-%d'), $(nproc) cores ($(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n1)), $(wine --version 2>/dev/null), under Xvfb"
}
