# The gadget camera's microphone for the VM tier, sourced by guest.sh: a
# UAC2 function beside the UVC one, bound on the host side by the real
# snd-usb-audio and served by a PulseAudio server of the tier's own, as a
# user's desktop would serve it. Each gadget plays a tone of its own, so a
# recording tells whose microphone it holds.

export XDG_RUNTIME_DIR=/tmp/xdg
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
declare -A TONES

tone_of() { echo $((1000 + 500 * $1)); } # tone_of UDC: Hz

# microphone_create GADGET_DIR: the UAC2 function, capture only as the host
# sees it (mono, 48 kHz, 16 bit).
microphone_create() {
    local f=$1/functions/uac2.0
    mkdir "$f" || return 1
    echo 1 >"$f/p_chmask" && echo 48000 >"$f/p_srate" && echo 2 >"$f/p_ssize" &&
        echo 0 >"$f/c_chmask" || return 1
    echo 0 >"$f/p_mute_present" && echo 0 >"$f/p_volume_present"
    echo "Lumora Simulated Camera" >"$f/function_name"
}

# The sound card of a UDC on the gadget side (the tone goes in there), and
# the one snd-usb-audio made of it on the matching host controller.
gadget_card() { sound_card "/dummy_udc\\.$1/"; }
host_card() { sound_card "/dummy_hcd\\.$1/usb[0-9]*/.*:[0-9.]*/sound/"; }
sound_card() {
    local c
    for c in /sys/class/sound/card*; do
        [ -e "$c/number" ] && readlink -f "$c" | grep -q "$1" && cat "$c/number" && return 0
    done
    return 1
}

# The gadget's tone while its card is there; ffmpeg leaves when a write
# stalls for long (the host not reading) and is started again. The server
# keeps its sources running (no suspend on idle), as while a call goes on:
# a stalled tone and its restarts would cost the VM more than the stream.
play_tone() { # play_tone UDC
    local card
    while card=$(gadget_card "$1"); do
        ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=$(tone_of "$1"):sample_rate=48000" \
            -ac 1 -c:a pcm_s16le -f alsa "hw:$card" 2>>"$W/tone$1.err"
        sleep 0.2
    done
}

pulse_up() {
    pactl info >/dev/null 2>&1 && return 0
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --realtime=no \
        --high-priority=no --log-target=file:"$W/pulse.log" -L module-native-protocol-unix \
        -L module-always-sink >/dev/null 2>&1 &
    wait_for 60 eval 'pactl info >/dev/null 2>&1'
}

# The PulseAudio source of a UDC's microphone: its card, found without udev
# (the VM has no udev daemon) by the card's number, carries the sysfs path.
pulse_source() { # pulse_source UDC
    pactl list sources | awk -v want="/dummy_hcd.$1/" '
        /^\tName: / { name = $2 }
        /sysfs.path = / && index($0, want) && name !~ /monitor$/ { print name; exit }'
}
microphone_start() { # microphone_start UDC
    local card
    wait_for 60 host_card "$1" || { echo "snd-usb-audio made no card of the microphone" && return 1; }
    card=$(host_card "$1")
    play_tone "$1" >/dev/null 2>&1 &
    TONES[$1]=$!
    pulse_up || { echo "PulseAudio did not start" && return 1; }
    # A card of an earlier plug may still be served (a suspended source does
    # not notice the device going): the name is taken for the new card.
    pactl list short modules | awk -v n="name=usb$1 " '$2 == "module-alsa-card" && index($0 " ", n) {print $1}' |
        xargs -r -n1 pactl unload-module
    pactl load-module module-alsa-card device_id="$card" name="usb$1" tsched=0 >/dev/null ||
        { echo "PulseAudio did not take card $card" && return 1; }
    wait_for 30 eval "[ -n \"\$(pulse_source $1)\" ]" || { pactl list sources && return 1; }
}

# The frequency of a file's sound, from the median time between its upward
# zero crossings (gaps of silence, which keep the sound in step with the
# pictures when the device delivers late, do not shift it), its loudest
# sample and where the sound begins.
tone_in() { # tone_in FILE [INPUT-OPTION...]: Hz, samples, peak, seconds
    local file=$1
    shift
    ffmpeg -nostdin -v error "$@" -i "$file" -map 0:a:0 -ac 1 -ar 48000 -f s16le - | python3 -c '
import array, statistics, sys
s = array.array("h", sys.stdin.buffer.read())
peak = max((abs(v) for v in s), default=0)
ups = [i for i in range(1, len(s)) if s[i - 1] < 0 <= s[i] and peak >= 1000]
gaps = [b - a for a, b in zip(ups, ups[1:])]
hz = round(48000 / statistics.median(gaps)) if len(gaps) > 100 else 0
begins = next((i for i, v in enumerate(s) if abs(v) >= 1000), len(s))
print(hz, len(s), peak, "%.2f" % (begins / 48000))'
}
has_tone() { # has_tone FILE UDC [INPUT-OPTION...]: the file's sound is that microphone's tone
    local heard want samples peak begins
    read -r heard samples peak begins <<<"$(tone_in "$1" "${@:3}")"
    want=$(tone_of "$2")
    echo "$1: ${heard:-no} Hz of sound ($samples samples, peak $peak, sound from $begins s), the microphone of UDC $2 plays $want Hz"
    [ -n "$heard" ] && [ "$heard" -ge $((want * 97 / 100)) ] && [ "$heard" -le $((want * 103 / 100)) ]
}
# What the audio server itself records of the microphone, as any program
# would get it.
server_hears() { # server_hears UDC
    timeout 5 parec -d "$(pulse_source "$1")" --raw --format=s16le --rate=48000 --channels=1 \
        >"$W/parec$1.raw"
    has_tone "$W/parec$1.raw" "$1" -f s16le -ar 48000 -ac 1
}
streams() { ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$1" | sort | tr '\n' ' '; }

# lumora-ctl pairs the camera with the microphone on its own USB device.
paired() { # paired CAMERA_INDEX UDC
    ctl --json list >"$W/list.json" || return 1
    python3 - "$W/list.json" "$1" "$2" <<'PY'
import json, sys
cameras = json.load(open(sys.argv[1]))
cameras = cameras.get("cameras", cameras) if isinstance(cameras, dict) else cameras
camera = cameras[int(sys.argv[2])]
print(camera.get("device"), "with", camera.get("microphone"))
sys.exit(0 if camera.get("microphone") else 1)
PY
}
record_microphone() { # record_microphone CAMERA_INDEX UDC FILE
    ctl record "$1" "$3" --seconds 8 >"$W/record-mic.out" || { cat "$W/record-mic.out" && return 1; }
    echo "streams: $(streams "$3")"
    [ "$(streams "$3")" = "audio video " ] && has_tone "$3" "$2"
}
