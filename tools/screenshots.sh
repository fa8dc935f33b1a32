#!/usr/bin/env bash
# Screenshots of the window for the README: a small demo tree searched in
# the real window on a 1920 x 1080 screen under Xvfb, saved at the size of a
# first start and maximised.
#   tools/screenshots.sh [BUILD_DIR [SCALE [OUT_DIR]]]
# BUILD_DIR defaults to build/, SCALE to 1 (2 runs the window at
# QT_SCALE_FACTOR=2 on a 3840 x 2160 screen), OUT_DIR to docs/.
# Writes OUT_DIR/screenshot-default.png and OUT_DIR/screenshot-maximised.png.
# Needs xvfb, xdotool and imagemagick (installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scale=${2:-1}
out=${3:-docs}
[ -x "$build/kormial" ] || { echo "no $build/kormial: build it first" >&2; exit 2; }

missing=()
for p in xvfb xdotool imagemagick qt6-image-formats-plugins; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d)
xvfb=""
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The demo tree: photos copied into a backup folder, a song kept twice, an
# interrupted download beside the finished one.
demo=$work/Pictures
mkdir -p "$demo/2023 holiday" "$demo/backup/phone" "$demo/music" "$demo/downloads"
i=0
for colour in orange skyblue seagreen; do
    i=$((i + 1))
    convert -size 320x200 "gradient:$colour-white" -fill white -draw "circle $((60 * i + 40)),70 $((60 * i + 40)),30" \
        -fill khaki -draw "rectangle 0,150 320,200" "$demo/2023 holiday/beach_00$i.png"
    cp -p "$demo/2023 holiday/beach_00$i.png" "$demo/backup/phone/IMG_202307$i.png"
done
cp -p "$demo/2023 holiday/beach_001.png" "$demo/backup/beach_001 (copy).png"
head -c 300000 /dev/urandom >"$demo/music/sunrise-live.ogg"
cp -p "$demo/music/sunrise-live.ogg" "$demo/downloads/sunrise-live.ogg"
head -c 900000 /dev/urandom >"$demo/downloads/installer.iso"
head -c 400000 "$demo/downloads/installer.iso" >"$demo/downloads/installer.iso.part"
touch -d '2024-03-01 10:00' "$demo"/backup/phone/* "$demo/downloads/sunrise-live.ogg"

# A fresh settings folder: no tip window, nothing remembered.
mkdir -p "$work/config/Kormial"
printf '[Options]\nShow%%20Tips%%20at%%20Startup=0\n' >"$work/config/Kormial/Kormial.conf"

width=$((1920 * scale))
height=$((1080 * scale))
export DISPLAY=:97
Xvfb "$DISPLAY" -screen 0 "${width}x${height}x24" -nolisten tcp &
xvfb=$!
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

(cd "$demo" && XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale exec "$OLDPWD/$build/kormial") &
app=$!
win=""
for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --name '^Kormial - ' 2>/dev/null | head -1) && [ -n "$win" ] && break
    sleep 0.1
done
[ -n "$win" ] || { echo "the window did not show" >&2; exit 1; }
xdotool windowfocus --sync "$win"
sleep 0.5
# The demo folder added with [>], then Search.
xdotool key --window "$win" alt+greater
sleep 0.3
xdotool key --window "$win" alt+s
sleep 3
# The second duplicate row clicked (the result list begins a little below
# a third of the window's height): the preview shows its picture.
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((60 * scale)) $((HEIGHT * 38 / 100 + 34 * scale)) click 1
sleep 0.5
xdotool key --window "$win" Down
sleep 1

mkdir -p "$out"
shot() {
    import -window root -crop "$(xdotool getwindowgeometry --shell "$win" |
        awk -F= '/WIDTH/{w=$2} /HEIGHT/{h=$2} /^X/{x=$2} /^Y/{y=$2} END{print w"x"h"+"x"+"y}')" +repage "$1"
}
shot "$out/screenshot-default.png"
# Maximised: the whole screen (there is no window manager to ask).
xdotool windowmove "$win" 0 0 windowsize "$win" "$width" "$height"
sleep 1.5
import -window root "$out/screenshot-maximised.png"
echo "wrote $out/screenshot-default.png $out/screenshot-maximised.png"
