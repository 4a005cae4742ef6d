#!/bin/sh
# Draws the window's pictures and the program's icon into a folder, for the
# resource compiler: the three product pictures and the tick, each at the size
# the window shows it at 96 DPI (32 x 32, 64 x 59) and at twice that size
# (NAME_2x.bmp), as run-length packed Windows bitmaps of at most 256 colours
# on white; and the icon with 48, 32 and 16 pixel images in 24-bit colour with
# a transparency mask, and a 256 pixel image stored as PNG.
#
# Usage: make_images.sh OUTPUT_FOLDER
set -eu

out=${1:?usage: make_images.sh OUTPUT_FOLDER}
mkdir -p "$out"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A picture drawn large, reduced to the size it is shown at and to twice that,
# in at most 256 colours without dithering (so that the ground stays one
# colour), then packed by rle8.py: every version of GDI reads it, it takes a
# tenth of the room of a 24-bit bitmap, and its ground is the first colour of
# its table, which the window sets to the system's window colour.
# Usage: to_bmps DRAWING NAME WIDTH HEIGHT
to_bmps() {
    for scale in 1 2; do
        convert "$1" -background white -alpha remove -alpha off -filter Triangle \
            -resize "$(($3 * scale))x$(($4 * scale))!" +dither -colors 256 -type Palette -compress None \
            "BMP3:$work/indexed.bmp"
        python3 "$here/rle8.py" "$work/indexed.bmp" "$out/$2$([ "$scale" = 1 ] || echo _2x).bmp"
    done
}

# The mail server: a server tower with a letter in front of it.
convert -size 128x128 xc:white \
    -fill '#455A64' -draw 'roundrectangle 12,6 72,120 10,10' \
    -fill '#B0BEC5' -draw 'rectangle 22,20 62,30' -draw 'rectangle 22,40 62,50' \
    -fill '#43A047' -draw 'circle 56,106 56,100' \
    -fill '#1565C0' -stroke white -strokewidth 4 -draw 'rectangle 44,56 122,114' \
    -fill none -stroke white -strokewidth 8 -draw 'polyline 48,62 83,92 118,62' \
    "$work/mail_server.png"
to_bmps "$work/mail_server.png" mail_server 32 32

# The organizer: a calendar page with its rings and a marked day.
convert -size 128x128 xc:white \
    -fill white -stroke '#37474F' -strokewidth 6 -draw 'roundrectangle 10,18 118,120 12,12' \
    -stroke none -fill '#00897B' -draw 'roundrectangle 10,18 118,50 12,12' -draw 'rectangle 10,36 118,50' \
    -fill '#37474F' -draw 'roundrectangle 32,4 44,32 5,5' -draw 'roundrectangle 84,4 96,32 5,5' \
    -fill '#90A4AE' \
    -draw 'rectangle 22,60 42,76' -draw 'rectangle 54,60 74,76' -draw 'rectangle 86,60 106,76' \
    -draw 'rectangle 22,88 42,104' -draw 'rectangle 86,88 106,104' \
    -fill '#F4511E' -draw 'rectangle 54,88 74,104' \
    "$work/organizer.png"
to_bmps "$work/organizer.png" organizer 32 32

# The groupware server: a team of three standing on a server.
convert -size 128x128 xc:white \
    -fill '#7E57C2' -draw 'circle 30,44 30,31' -draw 'ellipse 30,92 22,26 180,360' \
    -draw 'circle 98,44 98,31' -draw 'ellipse 98,92 22,26 180,360' \
    -fill '#EF6C00' -stroke white -strokewidth 4 -draw 'circle 64,34 64,17' -draw 'ellipse 64,94 28,34 180,360' \
    -stroke none -fill '#4527A0' -draw 'roundrectangle 6,92 122,122 8,8' \
    -fill '#D1C4E9' -draw 'rectangle 18,104 70,110' -fill '#66BB6A' -draw 'circle 106,107 106,102' \
    "$work/groupware_server.png"
to_bmps "$work/groupware_server.png" groupware_server 32 32

# The tick shown when the work is done.
convert -size 360x350 xc:white \
    -fill none -stroke '#2E9E3E' -strokewidth 58 \
    -draw 'stroke-linecap round stroke-linejoin round polyline 66,186 144,266 298,84' \
    "$work/tick.png"
to_bmps "$work/tick.png" tick 64 59

# The icon: a database drum squeezed by two arrows, drawn large on a
# transparent ground and reduced to each size.
convert -size 256x256 xc:none \
    -fill '#1565C0' -draw 'rectangle 20,58 236,206' -draw 'ellipse 128,206 108,34 0,360' \
    -fill '#64B5F6' -draw 'ellipse 128,58 108,34 0,360' \
    -fill none -stroke '#0D47A1' -strokewidth 12 -draw 'ellipse 128,110 108,34 0,180' \
    -draw 'ellipse 128,158 108,34 0,180' \
    -stroke none -fill '#FFA000' \
    -draw 'polygon 128,136 84,84 172,84' -draw 'polygon 128,146 84,198 172,198' \
    -fill '#FFA000' -draw 'rectangle 108,4 148,84' -draw 'rectangle 108,198 148,252' \
    "$work/icon.png"
for size in 48 32 16; do
    convert "$work/icon.png" -filter Lanczos -resize "${size}x${size}" -depth 8 "RGBA:$work/icon$size.rgba"
done
convert "$work/icon.png" -strip -define png:compression-level=9 "PNG32:$work/icon256.png"

# ImageMagick writes an icon with transparency only as 32-bit colour, so the
# 24-bit images and their masks are packed here, after them the 256 pixel
# image as the PNG that Windows Vista and later read from an icon.
python3 - "$work" "$out/CompactAndRepair.ico" 48 32 16 <<'PYTHON'
import struct
import sys

work, target, sizes = sys.argv[1], sys.argv[2], [int(s) for s in sys.argv[3:]]
ground = (240, 240, 240)  # what a half-transparent edge is blended with


def image(size):
    rgba = open(f"{work}/icon{size}.rgba", "rb").read()
    colour_row = (size * 3 + 3) // 4 * 4
    mask_row = ((size + 31) // 32) * 4
    colour, mask = bytearray(), bytearray()
    for y in reversed(range(size)):  # bitmaps run bottom-up
        row, bits = bytearray(), bytearray(mask_row)
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            if a < 128:
                row += b"\0\0\0"
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                blend = [(c * a + k * (255 - a)) // 255 for c, k in zip((r, g, b), ground)]
                row += bytes((blend[2], blend[1], blend[0]))
        colour += row + bytes(colour_row - len(row))
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + mask


images = [(size, 24, image(size)) for size in sizes]
images.append((256, 32, open(f"{work}/icon256.png", "rb").read()))
offset = 6 + 16 * len(images)
out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
for size, bits, data in images:
    out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data), offset)
    offset += len(data)
for _, _, data in images:
    out += data
open(target, "wb").write(out)
PYTHON
