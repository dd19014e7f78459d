#!/bin/sh
# Encodes 300 pictures of moving lavfi content (test patterns, a cut to a
# zooming fractal that stands still for two seconds, a cut to a scrolling
# pattern) with `kmqx encode --bitrate` and with ffmpeg's own H.263 encoder
# at the same rates, and prints for each: the achieved rate over the run,
# the worst deviation of any one-second window after the first, the largest
# frame and the luminance PSNR of ffmpeg's decoding against the source.
#
#   bench/rate_vs_ffmpeg.sh [path/to/kmqx] [size:fps:rate ...]
set -eu
KMQX=${1:-build/release/tools/kmqx}
[ $# -gt 0 ] && shift
CASES=${*:-"qcif:10:32000 qcif:25:64000 qcif:25:256000 qcif:25:512000 qcif:25:2000000
cif:25:64000 cif:25:256000 cif:25:1000000 cif:25:2000000"}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

clip() {  # size fps -> $WORK/size-fps.y4m
    out="$WORK/$1-$2.y4m"
    [ -f "$out" ] && return 0
    zoom=$((3 * $2)) still=$((2 * $2))
    ffmpeg -nostdin -loglevel error -filter_complex \
        "testsrc2=s=$1:r=$2:d=4,setsar=1[a];mandelbrot=s=$1:r=$2,trim=end_frame=$zoom,tpad=stop=$still:stop_mode=clone,setsar=1[b];testsrc=s=$1:r=$2,scroll=h=0.003:v=0.001,setsar=1[c];[a][b][c]concat=n=3:v=1:a=0,format=yuv420p" \
        -frames:v 300 -y "$out"
}

# Packet sizes of the video stream, one a line.
sizes() {
    ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$1"
}

# achieved kbit/s, worst one-second window (%), largest frame (bytes)
rate_figures() {  # file fps target
    sizes "$1" | awk -v fps="$2" -v target="$3" '
        { b[NR] = 8 * $1; total += 8 * $1; if ($1 > largest) largest = $1 }
        END {
            worst = 0
            for (first = fps + 1; first + fps - 1 <= NR; ++first) {
                s = 0
                for (i = first; i < first + fps; ++i) s += b[i]
                d = s / target - 1; if (d < 0) d = -d
                if (d > worst) worst = d
            }
            printf "%8.1f %6.1f %7d", total * fps / NR / 1000, 100 * worst, largest
        }'
}

psnr_y() {  # coded source (our FourCC is unknown to ffmpeg: it is told the codec)
    ffmpeg -nostdin -c:v h263 -i "$1" -i "$2" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 |
        sed -n 's/.*PSNR y:\([0-9.inf]*\).*/\1/p' | tail -n 1
}

printf '%-10s %9s | %-33s | %-33s\n' size target "kmqx: kbit/s worst% maxframe PSNR" \
    "ffmpeg h263: kbit/s worst% maxframe PSNR"
for case in $CASES; do
    size=${case%%:*} rest=${case#*:}
    fps=${rest%%:*} rate=${rest#*:}
    clip "$size" "$fps"
    source="$WORK/$size-$fps.y4m"
    ours="$WORK/kmqx.avi" theirs="$WORK/ffmpeg.avi"
    "$KMQX" encode --bitrate "$rate" "$source" "$ours" > /dev/null 2>&1
    ffmpeg -nostdin -loglevel error -i "$source" -c:v h263 -b:v "$rate" -maxrate "$rate" \
        -bufsize "$rate" -y "$theirs" 2> /dev/null
    printf '%-10s %9s | %s %6s | %s %6s\n' "$size@$fps" "$rate" \
        "$(rate_figures "$ours" "$fps" "$rate")" "$(psnr_y "$ours" "$source")" \
        "$(rate_figures "$theirs" "$fps" "$rate")" "$(psnr_y "$theirs" "$source")"
done
