#!/bin/sh
# Rebuilds every generated picture from the hand-drawn sources in this folder.
# Needs rsvg-convert (librsvg2-bin), ImageMagick's convert and python3; run it from anywhere.
# The alcove page (data/画像データ/tokonoma.html and tokonoma/*.svg) is hand-written and used as is.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
res="$root/app/resources"
pics="$root/data/画像データ"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$res" "$pics"

# Window, tray and menu icons (data/icons/). The 16 px one has its own drawing; scaling the big one down turns
# to mush.
mkdir -p "$root/data/icons"
rsvg-convert -w 32 -h 32 "$here/icon.svg" -o "$root/data/icons/icon-32.png"
rsvg-convert -w 64 -h 64 "$here/icon.svg" -o "$root/data/icons/icon-64.png"
rsvg-convert -w 16 -h 16 "$here/icon-16.svg" -o "$root/data/icons/icon-16.png"
rsvg-convert -w 128 -h 128 "$here/icon.svg" -o "$root/data/icons/icon-128.png"

# Banner: the loader wants a plain 24-bit BMP, so flatten onto the panel green and drop alpha.
rsvg-convert -w 397 -h 65 "$here/banner.svg" -o "$work/banner.png"
convert "$work/banner.png" -background '#004000' -flatten -alpha off -type TrueColor BMP3:"$res/banner.bmp"

# Toolbar buttons are pixel art already; just change the container.
convert "$here/mail-check.xpm" "$res/picture7.gif"
convert "$here/home-page.xpm" "$res/picture10.gif"

# Light bulb: render each frame, build one palette for all of them so unchanged pixels stay
# identical between frames (that is what keeps the optimised GIF small), no dithering for the same reason.
# Once at its own size and once at twice that (denkyu@2x.gif), which the program shows on screens that
# draw more than one pixel to the point.
python3 "$here/bulb-frames.py" "$work/bulb" > "$work/frames.txt"
for scale in 1 2; do
    set --
    while read -r svg delay; do
        rsvg-convert -z "$scale" "$svg" -o "${svg%.svg}-x$scale.png"
        set -- "$@" -delay "$delay" "${svg%.svg}-x$scale.png"
    done < "$work/frames.txt"
    convert "$work"/bulb/bulb-*-x$scale.png -append +dither -colors 255 -unique-colors "$work/palette.png"
    gif="$pics/denkyu.gif"
    [ "$scale" = 1 ] || gif="$pics/denkyu@${scale}x.gif"
    convert "$@" -loop 0 +dither -remap "$work/palette.png" -layers Optimize "$gif"
done

echo "pictures written to $res and $pics"
