# Sourced by the scripts that run our Windows programs. Each build folder gets its own Wine
# prefix, its own Xvfb display and its own wineserver, all kept inside that folder; nothing is
# written to the user's home.

vexa_wine_env() {
    local build
    build=$(cd "$1" && pwd)
    export VEXA_BUILD_DIR="$build"
    export VEXA_WINE_STATE="$build/wine-state"
    export WINEPREFIX="$build/wine-prefix"
    export WINEDEBUG=-all
    # No menu entries in the host's home, no offers to install Mono or Gecko.
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
    export HOME="$VEXA_WINE_STATE/home"
    export LC_ALL=C.UTF-8
    unset http_proxy https_proxy ftp_proxy all_proxy no_proxy \
          HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY
    mkdir -p "$VEXA_WINE_STATE" "$HOME"
}

_vexa_pid_alive() {
    [[ -f "$1" ]] && kill -0 "$(cat "$1")" 2>/dev/null
}

# Usage: vexa_wait_for WHAT PID SECONDS COMMAND...
# Waits until COMMAND succeeds; fails with one line naming WHAT when the process PID ends
# first or the time runs out.
vexa_wait_for() {
    local what=$1 pid=$2 seconds=$3 tries
    shift 3
    for tries in $(seq $((seconds * 10))); do
        "$@" && return 0
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "$what ended before it was ready" >&2
            return 1
        fi
        sleep 0.1
    done
    echo "$what was not ready after $seconds s" >&2
    return 1
}

_vexa_line_written() {
    [[ "$(tail -c1 "$1" 2>/dev/null | od -An -c | tr -d ' ')" == '\n' ]]
}

_vexa_display_up() {
    local state=$VEXA_WINE_STATE
    # The demo shows its window on the user's own display when there is one.
    [[ -n "${VEXA_WINE_HOST_DISPLAY:-}" && -n "${DISPLAY:-}" ]] && return
    if _vexa_pid_alive "$state/xvfb.pid" && [[ -s "$state/display" ]]; then
        export DISPLAY=":$(cat "$state/display")"
        return
    fi
    rm -f "$state/display" "$state/display.fd"
    # Xvfb writes the display number and the newline separately: wait for the newline.
    setsid Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp \
        8>"$state/display.fd" </dev/null >"$state/xvfb.log" 2>&1 9>&- &
    echo $! >"$state/xvfb.pid"
    vexa_wait_for Xvfb "$(cat "$state/xvfb.pid")" 10 _vexa_line_written "$state/display.fd" ||
        { echo "see $state/xvfb.log" >&2; return 1; }
    tr -d '\n' <"$state/display.fd" >"$state/display"
    export DISPLAY=":$(cat "$state/display")"
}

_vexa_prefix_up() {
    local state=$VEXA_WINE_STATE
    # A persistent wineserver started here, away from any caller's pipes: a caller that waits
    # for the end of a program's output must not wait for Wine's background processes too.
    setsid wineserver -p </dev/null >>"$state/wineserver.log" 2>&1 9>&- || true
    [[ -f "$WINEPREFIX/.vexa-ready" ]] && return
    echo "Creating the Wine prefix $WINEPREFIX (once per build folder)..." >&2
    wine wineboot -i </dev/null >"$state/wineboot.log" 2>&1 9>&-
    # A new prefix links Desktop, Documents, Downloads and more to $HOME: make them real
    # folders inside the prefix.
    local link
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
        if [[ -L "$link" ]]; then
            rm -f "$link"
            mkdir -p "$link"
        fi
    done
    cat >"$state/prefix.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Microsoft YaHei UI"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
REG
    wine regedit /S "$(vexa_windows_path "$state/prefix.reg")" </dev/null \
        >>"$state/wineboot.log" 2>&1 9>&-
    touch "$WINEPREFIX/.vexa-ready"
}

# Starts the display and the wineserver and creates the prefix when needed.
vexa_wine_up() {
    exec 9>"$VEXA_WINE_STATE/lock"
    flock 9
    _vexa_display_up && _vexa_prefix_up
    local rc=$?
    flock -u 9
    exec 9>&-
    return $rc
}

# Stops this build folder's wineserver (and every Wine process in the prefix) and display.
vexa_wine_down() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if _vexa_pid_alive "$VEXA_WINE_STATE/xvfb.pid"; then
        kill "$(cat "$VEXA_WINE_STATE/xvfb.pid")" 2>/dev/null || true
    fi
    rm -f "$VEXA_WINE_STATE/xvfb.pid" "$VEXA_WINE_STATE/display"
}

# Puts the build's PowerShell stand-in in place of Wine's stub in the prefix.
vexa_install_powershell_standin() {
    local target="$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0"
    mkdir -p "$target"
    cp -f "$VEXA_BUILD_DIR/tools/powershell.exe" "$target/powershell.exe"
}

# Windows form of a host path, through the prefix's Z: drive.
vexa_windows_path() {
    local path
    path=$(realpath -m "$1")
    echo "Z:${path//\//\\}"
}
