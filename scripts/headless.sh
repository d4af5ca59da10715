# Sourced by the scripts that show Lumora on a private X server: they set
# app_pid once the program runs; both processes go when the script ends.
app_pid=""
xvfb_pid=""

stop_headless() {
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}

# Starts Xvfb on the first free display and points DISPLAY at it.
start_xvfb() {
    local display=99
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    trap stop_headless EXIT
    trap 'exit 130' INT TERM
    export DISPLAY=":$display"
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$display" ] && break
        sleep 0.1
    done
}

# find_lumora_window SECONDS: prints the id of the main window once it is
# mapped; fails when it has not appeared by then.
find_lumora_window() {
    local window
    for _ in $(seq $(($1 * 10))); do
        window=$(xdotool search --name "Lumora_V1.0.0.1" 2>/dev/null | head -n 1 || true)
        if [ -n "$window" ]; then
            echo "$window"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
