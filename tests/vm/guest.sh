#!/usr/bin/env bash
# The checks of the VM tier, run by the VM's init in a chroot on the host's
# root: BUILD is the build folder, KROOT the unpacked kernel tree.
set -uo pipefail
BUILD=$1 KROOT=$2
OUT=/tmp/results
BIN=$BUILD/bin
W=/tmp/work
mkdir -p "$W"
export QT_QPA_PLATFORM=offscreen PATH=/usr/sbin:/usr/bin:/sbin:/bin
MAIN=4 ZOOM=22 # a filler unit for each id between: the zoom unit sits above 20
LOG=$W/requests.log

# A guest that ends early keeps the words of its last check.
trap 'cp "$W/last" "$OUT/last.log" 2>/dev/null' EXIT
check() { # check NAME COMMAND...: one line per check
    local name=$1
    shift
    local start=$SECONDS
    if "$@" >"$W/last" 2>&1; then
        echo "ok   $name ($((SECONDS - start)) s)${FIGURE:+: $(tail -1 "$W/last")}" >>"$OUT/checks"
    else
        echo "FAIL $name: $(tail -3 "$W/last" | tr '\n' ' ')" >>"$OUT/checks"
        { echo "--- FAIL $name"; cat "$W/last"; } >>"$OUT/guest.log"
    fi
}
wait_for() { # wait_for SECONDS COMMAND...
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}

# modprobe finds the VM's modules in the unpacked kernel, for the helpers too.
mkdir -p /tmp/bin
printf '#!/bin/sh\nexec /sbin/modprobe -d "%s" "$@"\n' "$KROOT" >/tmp/bin/modprobe
chmod +x /tmp/bin/modprobe
export PATH=/tmp/bin:$PATH
# Two dummy controllers, for two identical cameras.
modprobe -a libcomposite usb_f_uvc usb_f_uac2 uvcvideo snd-usb-audio || echo "FAIL modules" >>"$OUT/checks"
modprobe dummy_hcd num=2 || echo "FAIL modules" >>"$OUT/checks"
mount -t configfs none /sys/kernel/config
mount -t debugfs none /sys/kernel/debug

# shellcheck source=microphone.sh
source "$(dirname "${BASH_SOURCE[0]}")/microphone.sh"

# USB layout of a GUID: the first three fields little-endian.
guid_bytes() { python3 -c 'import sys, uuid; sys.stdout.buffer.write(uuid.UUID(sys.argv[1]).bytes_le)' "$1"; }
# A configfs list in one write: bash writes each line on its own, and every
# write replaces the whole list.
list() { printf '%s\0' "$@"; }

# A gadget: the simulated camera's descriptors, units and modes, and its
# microphone, as a composite device like a PTZ conference camera. The
# gadget NAME goes to the dummy controller's UDC of the same number.
gadget_create() { # gadget_create [NAME]
    local g=/sys/kernel/config/usb_gadget/${1:-lumora} f
    mkdir "$g" && cd "$g" || return 1
    echo 0x7a4c >idVendor && echo 0x0001 >idProduct && echo 0x0100 >bcdDevice
    mkdir strings/0x409
    echo Lumora >strings/0x409/manufacturer
    echo "Lumora Simulated Camera" >strings/0x409/product
    echo VM0001 >strings/0x409/serialnumber
    mkdir configs/c.1 && echo 500 >configs/c.1/MaxPower
    f=functions/uvc.0
    mkdir $f
    echo 3072 >$f/streaming_maxpacket
    # AE mode, zoom absolute, pan/tilt absolute and relative; contrast,
    # white balance temperature and its automatic mode.
    list 2 26 0 >$f/control/terminal/camera/default/bmControls
    list 66 16 >$f/control/processing/default/bmControls
    local id=4 x
    while [ $id -le $ZOOM ]; do
        x=$f/control/extensions/xu$id
        mkdir $x
        case $id in
        $MAIN) guid_bytes A7A6A934-3A4A-4351-85F4-042EF2CDCAAB >$x/guidExtensionCode ;;
        $ZOOM) guid_bytes 9D33BBE7-E619-435C-8FAC-528EECCCBCA4 >$x/guidExtensionCode ;;
        *) guid_bytes "$(printf '00000000-0000-0000-0000-0000000000%02X' $id)" >$x/guidExtensionCode ;;
        esac
        echo 2 >$x/baSourceID
        echo 32 >$x/bNumControls
        list 0xff 0xff 0xff 0xff >$x/bmControls
        id=$((id + 1))
    done
    # Frames are numbered in the order they are made: 720p is MJPEG frame 1,
    # 1080p frame 2, 2160p frame 3.
    mkdir -p $f/streaming/mjpeg/m/720p $f/streaming/mjpeg/m/1080p $f/streaming/mjpeg/m/2160p \
        $f/streaming/uncompressed/u/480p
    echo 1280 >$f/streaming/mjpeg/m/720p/wWidth && echo 720 >$f/streaming/mjpeg/m/720p/wHeight
    list 333333 666666 >$f/streaming/mjpeg/m/720p/dwFrameInterval
    echo 1843200 >$f/streaming/mjpeg/m/720p/dwMaxVideoFrameBufferSize
    echo 1920 >$f/streaming/mjpeg/m/1080p/wWidth && echo 1080 >$f/streaming/mjpeg/m/1080p/wHeight
    list 166666 333333 >$f/streaming/mjpeg/m/1080p/dwFrameInterval
    echo 4147200 >$f/streaming/mjpeg/m/1080p/dwMaxVideoFrameBufferSize
    echo 3840 >$f/streaming/mjpeg/m/2160p/wWidth && echo 2160 >$f/streaming/mjpeg/m/2160p/wHeight
    echo 333333 >$f/streaming/mjpeg/m/2160p/dwFrameInterval
    echo 333333 >$f/streaming/mjpeg/m/2160p/dwDefaultFrameInterval
    echo 16588800 >$f/streaming/mjpeg/m/2160p/dwMaxVideoFrameBufferSize
    echo 640 >$f/streaming/uncompressed/u/480p/wWidth && echo 480 >$f/streaming/uncompressed/u/480p/wHeight
    echo 333333 >$f/streaming/uncompressed/u/480p/dwFrameInterval
    mkdir $f/streaming/header/h
    ln -s $f/streaming/mjpeg/m $f/streaming/header/h/
    ln -s $f/streaming/uncompressed/u $f/streaming/header/h/
    for s in fs hs ss; do ln -s $f/streaming/header/h $f/streaming/class/$s/; done
    mkdir $f/control/header/h
    for s in fs ss; do ln -s $f/control/header/h $f/control/class/$s/; done
    ln -s $f configs/c.1/
    microphone_create "$g" && ln -s "$g/functions/uac2.0" configs/c.1/
    cd /
}

udc_of() { [ "${1:-lumora}" = lumora ] && echo 0 || echo "${1#lumora}"; }
plug() { echo "dummy_udc.$(udc_of "$1")" >"/sys/kernel/config/usb_gadget/${1:-lumora}/UDC"; }
# The gadget side's video node of a UDC, and the host side's camera on the
# matching dummy host controller.
gadget_node() {
    local v
    for v in /sys/class/video4linux/video*; do
        [ -e "$v/function_name" ] && readlink -f "$v/device" | grep -q "/dummy_udc\.$1/" &&
            echo "/dev/$(basename "$v")" && return 0
    done
    return 1
}
camera_node() { # camera_node [UDC]
    local v
    for v in /sys/class/video4linux/video*; do
        [ "$(basename "$(readlink -f "$v/device/driver" 2>/dev/null)")" = uvcvideo ] &&
            [ "$(cat "$v/index")" = 0 ] && readlink -f "$v/device" | grep -q "/dummy_hcd\.${1:-0}/" &&
            echo "/dev/$(basename "$v")" && return 0
    done
    return 1
}
declare -A GADGETS
start_gadget() { # start_gadget [NAME]
    local name=${1:-lumora} udc log=$LOG
    udc=$(udc_of "$name")
    [ "$udc" = 0 ] || log=$W/requests$udc.log
    # Still plugged after a check that failed half-way: out first.
    [ -z "$(cat "/sys/kernel/config/usb_gadget/$name/UDC")" ] || unplug "$name" || return 1
    plug "$name" || return 1
    wait_for 20 gadget_node "$udc" || return 1
    "$BIN/lumora-uvc-gadget" "$(gadget_node "$udc")" "$log" $MAIN $ZOOM 2>>"$W/gadget.err" &
    GADGETS[$name]=$!
    wait_for 60 camera_node "$udc"
}
replug() { start_gadget "$@" && microphone_start "$(udc_of "${1:-lumora}")"; }
# Unplug: unbinding the gadget from the UDC, which returns once the gadget
# program has let go of its node (it ends when the node goes).
unplug() { # unplug [NAME]
    local name=${1:-lumora}
    (echo "" >"/sys/kernel/config/usb_gadget/$name/UDC") &
    local writer=$! gadget=${GADGETS[$name]}
    wait_for 30 eval "! kill -0 $writer 2>/dev/null" || { echo "unbinding did not return" && return 1; }
    wait_for 10 eval "! kill -0 $gadget 2>/dev/null" || { echo "the gadget program did not end" && return 1; }
    wait "$gadget"
}

check "gadget: configfs UVC function with the camera's units and modes" gadget_create
check "gadget: uvcvideo binds the gadget camera" start_gadget
check "microphone: snd-usb-audio binds the camera's UAC2 microphone, PulseAudio lists it" microphone_start 0
CAM=$(camera_node) || {
    dmesg | tail -40 >>"$OUT/guest.log"
    od -An -tx1 -v /sys/bus/usb/devices/1-1/descriptors >>"$OUT/guest.log" 2>&1
    echo done >>"$OUT/checks"
    exit 0
}

ctl() { timeout 120 "$BIN/lumora-ctl" "$@"; }
listed() { ctl --json list | grep -q "\"device\": \"$CAM\"" && ctl list | grep -q "Lumora Simulated Camera"; }
check "discovery: lumora-ctl lists the USB camera by its real descriptors" listed

# Every control through lumora-ctl, as the UVC request the gadget received.
request() { # request SETTING EXPECTED-LOG-REGEX...
    local setting=$1 from
    shift
    from=$(wc -l <"$LOG")
    ctl set 0 "$setting" || return 1
    local re
    for re in "$@"; do
        tail -n +"$((from + 1))" "$LOG" | grep -Eq "^SET_CUR ${re}[0-9a-f]* ok" || {
            echo "no request matching '$re' for $setting; got:"
            tail -n +"$((from + 1))" "$LOG" | grep SET_CUR
            return 1
        }
    done
}
check "control: exposure=3" request exposure=3 "unit=$MAIN selector=10 data=00" "unit=$MAIN selector=11 data=03"
check "control: exposure=-2" request exposure=-2 "unit=$MAIN selector=11 data=fe"
check "control: exposure=0 (automatic)" request exposure=0 "unit=$MAIN selector=10 data=01"
check "control: contrast=40" request contrast=40 "unit=2 selector=3 data=2800"
check "control: red-shift=5" request red-shift=5 "unit=$MAIN selector=15 data=05"
check "control: blue-shift=3" request blue-shift=3 "unit=$MAIN selector=14 data=03"
check "control: image-style=live" request image-style=live "unit=$MAIN selector=13 data=05"
check "control: flip-horizontal=on" request flip-horizontal=on "unit=$MAIN selector=25 data=01"
check "control: flip-vertical=on" request flip-vertical=on "unit=$MAIN selector=24 data=01"
check "control: audio-algo=off" request audio-algo=off "unit=$MAIN selector=27 data=00"
check "control: zoom-in=200" request zoom-in=200 "unit=$ZOOM selector=12 data=01" "unit=$ZOOM selector=12 data=000000"
check "control: zoom-out=200" request zoom-out=200 "unit=$ZOOM selector=12 data=ff"
check "control: pan-left=200" request pan-left=200 "unit=1 selector=14 data=ff" "unit=1 selector=14 data=00000000"
check "control: pan-right=200" request pan-right=200 "unit=1 selector=14 data=01"
check "control: tilt-up=200" request tilt-up=200 "unit=1 selector=14 data=....01"
check "control: tilt-down=200" request tilt-down=200 "unit=1 selector=14 data=....ff"
check "control: home" request home "unit=1 selector=13 data=0000000000000000" "unit=1 selector=11 data=0000"
check "control: pan=20 (absolute)" request pan=20 "unit=1 selector=13 data=14000000"
check "control: zoom=40 (absolute)" request zoom=40 "unit=1 selector=11 data=2800"
readback() {
    ctl get 0 >"$W/get" || return 1
    cat "$W/get"
    grep -Eq 'contrast +40' "$W/get" && grep -Eq 'red-shift +5' "$W/get" &&
        grep -Eq 'blue-shift +3' "$W/get" && grep -Eq 'image-style +live' "$W/get" &&
        grep -Eq 'flip-horizontal +on' "$W/get" && grep -Eq 'flip-vertical +on' "$W/get" &&
        grep -Eq 'audio-algo +off' "$W/get" && grep -Eq 'firmware +1\.0\.0' "$W/get"
}
check "control: lumora-ctl get reads the values back from the gadget" readback
check "control: factory-reset" request factory-reset "unit=$MAIN selector=23 data=01"

# What lumora-ctl list's in-use check (the format read and set again) costs
# on uvcvideo, which asks the camera for it over USB.
inuse_cost() {
    strace -f -T -e trace=ioctl -o "$W/list.strace" "$BIN/lumora-ctl" list || return 1
    awk -F'<' '/VIDIOC_[GS]_FMT/ {t += $NF} /VIDIOC_S_FMT/ {n++} END {ms = 1000 * t / n
        printf "%.1f ms per camera (%d probed, limit 100)\n", ms, n; exit !(n > 0 && ms <= 100)}' "$W/list.strace"
}
FIGURE=1 check "measure: lumora-ctl list's in-use check on uvcvideo" inuse_cost

# Pictures through libavdevice's V4L2 input from the real driver.
decodes() { # decodes FILE: every frame decodes to the end
    local frames
    frames=$([ -s "$1" ] && ffmpeg -v error -xerror -i "$1" -f null - && ffprobe -v error \
        -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 "$1")
    echo "$1: ${frames:-no} frames"
    [ "${frames:-0}" -gt 0 ]
}
check "capture: lumora-ctl snapshot (MJPEG 1280x720)" ctl snapshot 0 "$W/shot.png"
record() { ctl record 0 "$W/rec.mp4" --seconds 3 && decodes "$W/rec.mp4"; }
check "capture: lumora-ctl record 3 s, decodes to the end" record
modes() { ctl modes 0 >"$W/modes.txt" && cat "$W/modes.txt" && grep -qx '3840x2160@30 mjpeg' "$W/modes.txt" && grep -qx '1920x1080@60 mjpeg' "$W/modes.txt" && grep -qx '640x480@30 yuyv' "$W/modes.txt"; }
check "capture: lumora-ctl modes lists what the gadget's descriptors offer" modes
# The frames' times come from uvcvideo's buffers: they rise and stay within
# the recording, however few 1080p pictures the emulated machine encodes (a
# picture or two a second under TCG).
rising_stamps() {
    ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 "$1" |
        sort -g | awk 'NR > 1 && $1 <= last { bad = 1 } { if (NR == 1) first = $1; last = $1 }
            END { printf "%d frames over %.2f s\n", NR, last - first; exit bad || NR < 2 || last - first <= 0 || last - first > 8.5 }'
}
record_1080() {
    ctl record 0 "$W/rec1080.mp4" --seconds 8 --mode 1920x1080@30 && decodes "$W/rec1080.mp4" &&
        [ "$(ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=p=0 "$W/rec1080.mp4")" = 1920,1080 ] &&
        grep -q 'STREAMON format=1 frame=2 interval=333333' "$LOG" && rising_stamps "$W/rec1080.mp4"
}
check "capture: lumora-ctl record --mode 1920x1080@30 from uvcvideo, its size and rising time stamps" record_1080
# One 4K picture whole through uvcvideo (frame 3), kept as the gadget sent
# it. lumora-ctl snapshot waits for five pictures in 8 s, more than the
# emulated machine encodes at 4K.
uhd() {
    timeout 120 ffmpeg -v error -f v4l2 -input_format mjpeg -video_size 3840x2160 -i "$CAM" -frames:v 1 -c:v copy -y "$W/uhd.jpg" &&
        [ "$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$W/uhd.jpg")" = 3840,2160 ] &&
        grep -q 'STREAMON format=1 frame=3 interval=333333' "$LOG"
}
check "capture: one MJPEG 3840x2160 picture from uvcvideo, whole" uhd
check "microphone: PulseAudio records the tone the gadget plays" server_hears 0
check "microphone: lumora-ctl pairs the camera with the microphone on its USB device" paired 0 0
check "microphone: lumora-ctl record holds the tone the gadget plays" record_microphone 0 0 "$W/mic.mp4"
yuyv() { ffmpeg -v error -f v4l2 -input_format yuyv422 -video_size 640x480 -i "$CAM" -frames:v 3 -y "$W/yuyv.mkv" && grep -q 'STREAMON format=2' "$LOG"; }
check "capture: YUYV 640x480 streams" yuyv

# The hardware suite against the real drivers: the gadget camera, beside a
# v4l2loopback device nobody writes to, which is no camera.
realcamera() {
    modprobe vivid && modprobe v4l2loopback devices=1 card_label="Idle Loopback" || return 1
    ctl list | grep -q "Idle Loopback" && { echo "the idle loopback is listed as a camera"; return 1; }
    timeout 300 "$BIN/tst_realcamera" -v2 | tee "$W/realcamera"
    [ "${PIPESTATUS[0]}" = 0 ] && grep -q "PASS   : tst_RealCamera::failedStartLeavesTheDeviceFree" "$W/realcamera"
}
check "hardware suite: tst_realcamera with uvcvideo, vivid and an idle v4l2loopback (no camera, free after a failed start)" realcamera

# A program to run as nobody, copied with the build's libraries it needs to
# where nobody can read them: the build may sit in a home only its owner
# may enter.
as_nobody() { # as_nobody PROGRAM ARGS...
    local dir=$W/nobody
    mkdir -p "$dir" && cp "$BIN/$1" "$dir/" || return 1
    ldd "$BIN/$1" | awk -v b="$BUILD/" 'index($3, b) == 1 {print $3}' | xargs -r cp -t "$dir"
    chmod -R a+rX "$dir"
    local program=$dir/$1
    shift
    setpriv --reuid=65534 --regid=65534 --clear-groups env LD_LIBRARY_PATH="$dir" "$program" "$@"
}
# What a virtual camera check may leave behind, taken away before the next
# one: a failed check is reported once, not again by the checks after it.
vcam_reset() {
    [ -n "${PUBLISHER:-}" ] && kill "$PUBLISHER" 2>/dev/null && wait "$PUBLISHER" 2>/dev/null
    PUBLISHER=
    "$BIN/virtual/lumora-vcam" unregister >/dev/null 2>&1
    rmmod v4l2loopback vivid 2>/dev/null
    return 0
}

# The virtual camera through the helper as root with the real v4l2loopback.
virtual_camera() {
    local v=$BIN/virtual/lumora-vcam dev
    mkdir -p "$W/vc" && chmod 777 "$W/vc"
    # The user's program shares a known picture, as the window would.
    TMPDIR="$W/vc" as_nobody lumora-vcam-picture publish 90 >"$W/publisher.out" 2>"$W/publisher.err" &
    PUBLISHER=$!
    wait_for 60 grep -q published "$W/publisher.out" || { echo "nothing was published" && return 1; }
    PKEXEC_UID=65534 "$v" register --tmpdir "$W/vc" || return 1
    dev=/dev/$(basename "$(dirname "$(grep -l "Vorn DShow VCamera" /sys/class/video4linux/*/name)")")
    timeout 120 ffmpeg -v error -f v4l2 -i "$dev" -frames:v 3 -f rawvideo -y "$W/vc.raw" &&
        [ "$(stat -c %s "$W/vc.raw")" -eq $((3 * 640 * 480 * 2)) ] || return 1
    # Later frames carry the shared picture: its colours where they were put.
    timeout 120 ffmpeg -v error -f v4l2 -i "$dev" -frames:v 30 -pix_fmt rgb24 -f rawvideo -y "$W/vc.rgb" &&
        "$BIN/lumora-vcam-picture" compare "$W/vc.rgb" || { cat "$W/publisher.err" && return 1; }
    "$v" unregister && ! grep -q "Vorn DShow VCamera" /sys/class/video4linux/*/name
}
check "virtual camera: the helper adds the loopback device, the published picture is read back, switching off removes it" virtual_camera
vcam_reset

# Beside another program's loopback device: Lumora adds and removes only its
# own, and leaves the module loaded for the other program.
beside_another() {
    local v=$BIN/virtual/lumora-vcam names
    modprobe v4l2loopback devices=1 card_label=OBS || return 1
    PKEXEC_UID=65534 "$v" register --tmpdir "$W/vc" || return 1
    names=$(cat /sys/class/video4linux/*/name)
    echo "registered: $names"
    grep -qx OBS <<<"$names" && grep -qx "Vorn DShow VCamera" <<<"$names" || return 1
    "$v" unregister || return 1
    names=$(cat /sys/class/video4linux/*/name)
    echo "unregistered: $names"
    grep -qx OBS <<<"$names" && ! grep -q "Vorn DShow VCamera" <<<"$names" &&
        [ -d /sys/module/v4l2loopback ]
}
check "virtual camera: beside another program's loopback device only Lumora's own is added and removed" beside_another
vcam_reset

# The pictures uvcvideo has delivered in this stream (its debugfs statistics).
delivered() { sed -n 's/^frames: *\([0-9]*\).*/\1/p' /sys/kernel/debug/usb/uvcvideo/*/stats 2>/dev/null | head -1; }
# Ten more pictures from uvcvideo than when called; TCG on a loaded machine
# may take minutes for them.
ten_more_pictures() {
    local seen
    seen=$(delivered)
    wait_for 180 eval '[ "$(delivered)" -ge $((seen + 10)) ]' ||
        { echo "uvcvideo delivered $(delivered) pictures, $seen before" && return 1; }
}
# Unplug during a recording: lumora-ctl ends it there and keeps the file,
# which plays to its end; the camera leaves the list.
unplug_recording() {
    timeout 300 "$BIN/lumora-ctl" record 0 "$W/unplugged.mp4" --seconds 200 >"$W/record.out" 2>&1 &
    local record=$!
    # The file begun, then ten more pictures from uvcvideo.
    wait_for 120 test -s "$W/unplugged.mp4" || { cat "$W/record.out" && return 1; }
    ten_more_pictures || return 1
    unplug || return 1
    wait_for 30 eval "! kill -0 $record 2>/dev/null" || { echo "the recording did not end" && return 1; }
    cat "$W/record.out"
    echo "streams: $(streams "$W/unplugged.mp4")"
    grep -q "went away" "$W/record.out" && decodes "$W/unplugged.mp4" &&
        [ "$(streams "$W/unplugged.mp4")" = "audio video " ] && ! ctl list | grep -q "Lumora Simulated Camera"
}
# The agent, with settings of its own: it learns of the camera from the
# kernel's device events, sees it leave with the recording's unplug and
# gives it its profile when it comes back; SIGTERM stops it.
agent_log() { grep -c "$1" "$W/agent.log"; }
agent_start() {
    local settings=$W/agent-config
    XDG_CONFIG_HOME=$settings ctl set 0 contrast=40 && XDG_CONFIG_HOME=$settings ctl profile save 0 || return 1
    XDG_CONFIG_HOME=$settings "$BIN/lumora-ctl" agent 2>"$W/agent.log" &
    AGENT=$!
    wait_for 60 eval '[ "$(agent_log "plugged in; already as its profile says")" = 1 ]' || { cat "$W/agent.log"; return 1; }
    cat "$W/agent.log"
    grep -q "cameras: the kernel's device events" "$W/agent.log"
}
agent_replug() {
    replug || return 1
    wait_for 60 eval '[ "$(agent_log "plugged in")" = 2 ]' || { cat "$W/agent.log"; return 1; }
    kill -TERM "$AGENT" && wait "$AGENT" || { cat "$W/agent.log"; return 1; }
    cat "$W/agent.log"
    [ "$(agent_log ": unplugged")" = 1 ] && tail -1 "$W/agent.log" | grep -q "agent stopped"
}
check "agent: lumora-ctl agent keeps the camera's profile, from the kernel's device events" agent_start
check "unplug: during a recording, which ends there, keeps both tracks and decodes to the end; the camera leaves the list" unplug_recording
check "agent: sees the camera leave and come back, and stops on SIGTERM" agent_replug

# The window on a private X server, driven with the pointer as a user would
# (the switch and the button where the fixed-size window has them).
logged() { grep -c "$1" "$W/window.log"; }
more() { [ "$(logged "$1")" -gt "$2" ]; } # more TEXT COUNT: logged more than COUNT times
window_start() {
    mkdir -p /tmp/xkb /tmp/home/Videos && mount --bind /tmp/xkb /var/lib/xkb # Xvfb's keymaps
    Xvfb :5 -screen 0 1280x800x24 -nolisten tcp >"$W/xvfb.log" 2>&1 &
    export DISPLAY=:5
    wait_for 60 test -e /tmp/.X11-unix/X5 || return 1
    QT_QPA_PLATFORM=xcb "$BIN/Lumora" >"$W/window.log" 2>&1 &
    timeout 120 xdotool search --sync --onlyvisible --name Lumora_V1.0.0.1
}
# Unplug during the preview (and a recording): the window lets the camera go
# (its list back to "No camera selected", camera id -1) and switches the
# preview off, and the recording is kept and decodes to its end. The time
# is reported, not held to the second a native machine takes: TCG runs the
# window's work many times slower. Screenshots before and after are kept.
window_unplug() { # window_unplug preview|record OPENED
    wait_for 120 more "open camera name" "$2" || { echo "the window opened no camera" && return 1; }
    local i started gone
    started=$(logged "start camera")
    for i in 1 2 3 4; do # the first click may come before the window takes input
        xdotool mousemove 440 604 click 1
        wait_for 15 more "start camera" "$started" && break
    done
    ten_more_pictures || return 1
    # The window's pictures come through Lumora's own V4L2 source, which
    # sleeps in poll() on the node between them, from its few mapped buffers.
    more "capture: /dev/video[0-9]* streams .* buffers" 0 || { grep "capture:" "$W/window.log"; return 1; }
    if [ "$1" = record ]; then
        xdotool mousemove 1053 610 click 1
        timeout 60 xdotool search --sync --onlyvisible --name "video save path" && xdotool key Return
        wait_for 60 eval 'ls /tmp/home/Videos/*.mp4' || { cat "$W/window.log" && return 1; }
        ten_more_pictures || return 1
    fi
    import -window root "$OUT/$1-before-unplug.png"
    i=$(logged "CameraId:  -1") started=$(logged "stop camera") gone=$SECONDS
    unplug && wait_for 30 more "CameraId:  -1" "$i" && more "stop camera" "$started" || return 1
    import -window root "$OUT/$1-after-unplug.png"
    tail -n 12 "$W/window.log"
    [ "$1" = preview ] || decodes /tmp/home/Videos/*.mp4 || return 1
    echo "released $((SECONDS - gone)) s after the unplug began"
}
# The camera is plugged in again by the agent's check above.
check "window: starts on a private X server" window_start
FIGURE=1 check "unplug: during the preview the window lets the camera go" window_unplug preview 0
check "gadget: plugged in again" replug
FIGURE=1 check "unplug: during a recording in the window, which is kept and decodes to the end" window_unplug record 1

# Two identical composite cameras, the same descriptors and serial number
# on two controllers: each recording holds its own camera's microphone.
own_microphones() {
    local i node udc
    for i in 0 1; do
        node=$(ctl --json list | python3 -c 'import json, sys; print(json.load(sys.stdin)["cameras"]['"$i"']["device"])') &&
            udc=$(readlink -f "/sys/class/video4linux/$(basename "$node")/device" | sed -n 's|.*/dummy_hcd\.\([0-9]*\)/.*|\1|p') &&
            [ -n "$udc" ] && record_microphone "$i" "$udc" "$W/own$i.mp4" || return 1
    done
}
check "gadget: plugged in again" replug
check "gadget: a second, identical composite camera on the second controller" \
    eval 'gadget_create lumora1 && replug lumora1'
check "microphone: two identical cameras each record their own microphone" own_microphones

cp "$LOG" "$OUT/requests.log"
# What the kernel and the helpers said, for a failed check's reader.
dmesg >"$OUT/dmesg.log"
cp "$W"/*.err "$W"/*.log "$OUT/" 2>/dev/null
echo done >>"$OUT/checks"
