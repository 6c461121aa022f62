#!/bin/bash
# readercpu.sh BUILD_DIR [SECONDS [SCENARIO...]]
#
# CPU time (user + system) of the real reader from its start to Ctrl+C over
# generated slide-show magazines. Each scenario packs the sample magazine's
# files (BUILD_DIR/sample-files, made by the build) with its own opening
# show, runs BUILD_DIR/mirandol2 for SECONDS (default 8), sends SIGINT and
# prints the reader's CPU time and peak RSS, with the load average.
#
# Scenarios (all by default):
#   still   640x480, one picture for the whole run, no visual effects
#   fullhd  1920x1080, six 640x480 pictures one second apart, no effects
#   faded   640x480, three pictures two seconds apart with 600 ms fades
#
# The display is $DISPLAY when set (for example an Xvfb started with
# "-screen 0 1920x1080x24"), otherwise SDL's dummy video driver. Sound goes
# to SDL's dummy audio driver.
set -eu

build=${1:?usage: readercpu.sh BUILD_DIR [SECONDS [SCENARIO...]]}
build=$(cd "$build" && pwd)
seconds=${2:-8}
shift $(($# < 2 ? $# : 2))
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(still fullhd faded)

for need in "$build/mirandol2" "$build/mkmag" "$build/sample-files/config.txt"; do
    [ -e "$need" ] || { echo "readercpu: $need is missing (build the reader first)" >&2; exit 2; }
done

work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# scenario -> width height effects fading, and the show's image tags
setup() {
    case $1 in
    still)
        size="640 480"; effects=false; fading=0
        images='<image file=intro1.jpg time=60000>' ;;
    fullhd)
        size="1920 1080"; effects=false; fading=0
        images='<image file=intro1.jpg time=1000>
<image file=intro2.bmp time=1000>
<image file=outro.jpg time=1000>
<image file=gallery1.jpg time=1000>
<image file=gallery2.bmp time=1000>
<image file=classic.jpg time=60000>' ;;
    faded)
        size="640 480"; effects=true; fading=600
        images='<image file=intro1.jpg time=2000>
<image file=intro2.bmp time=2000>
<image file=outro.jpg time=60000>' ;;
    *)
        echo "readercpu: unknown scenario $1" >&2; exit 2 ;;
    esac
}

if [ -z "${DISPLAY:-}" ]; then
    export SDL_VIDEODRIVER=dummy
    where="dummy video driver"
else
    where="display $DISPLAY"
fi
export SDL_AUDIODRIVER=dummy

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)   ($where, ${seconds}s each)"
printf '%-8s %8s %8s %8s %9s\n' scenario user_s sys_s cpu_s rss_kb
for name in "${scenarios[@]}"; do
    setup "$name"
    read -r width height <<<"$size"
    dir=$work/$name
    mkdir -p "$dir/stage" "$dir/run" "$dir/config"
    cp -r "$build/sample-files/." "$dir/stage/"
    sed -i "s|^<parameters .*>|<parameters main=main.txt help=help.txt width=$width height=$height open=show close=none fading=$fading>|" \
        "$dir/stage/config.txt"
    printf '<imagelist name=show>\n%s\n</imagelist>\n' "$images" >>"$dir/stage/config.txt"
    "$build/mkmag" "$dir/run/magazine.dat" "$dir/stage" >/dev/null
    printf 'showConfig=false\nfullscreen=false\neffects=%s\nmusic=true\nsoundEffects=true\n' \
        "$effects" >"$dir/config/mirandol2"

    (cd "$dir/run" && XDG_CONFIG_HOME="$dir/config" exec /usr/bin/time -f '%U %S %M' \
        -o "$dir/time" "$build/mirandol2" >"$dir/out" 2>&1) &
    timer=$!
    started=$(date +%s.%N)
    reader=
    for _ in $(seq 40); do
        reader=$(pgrep -P "$timer" || true)
        [ -n "$reader" ] && break
        sleep 0.05
    done
    sleep "$(awk -v s="$seconds" -v t0="$started" -v t1="$(date +%s.%N)" \
        'BEGIN { d = s - (t1 - t0); print (d > 0 ? d : 0) }')"
    if [ -z "$reader" ] || ! kill -INT "$reader" 2>/dev/null; then
        wait "$timer" || true
        echo "$name: the reader ended before the interrupt: $(tail -n 1 "$dir/out")"
        continue
    fi
    wait "$timer" || true
    # time notes a death by signal on a line of its own before the figures.
    read -r user sys rss < <(tail -n 1 "$dir/time") || true
    [ -n "${rss:-}" ] || { echo "$name: no timing"; tail -n 3 "$dir/out"; continue; }
    printf '%-8s %8s %8s %8s %9s\n' "$name" "$user" "$sys" \
        "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')" "$rss"
done
