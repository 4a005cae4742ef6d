"""Packs an uncompressed Windows bitmap with a colour table (as ImageMagick
writes one) as an 8-bit run-length encoded one (BI_RLE8), its colour table
cut to the colours in use and the ground, the colour of the bottom-left
pixel, moved to the first entry.

Usage: rle8.py INDEXED.bmp TARGET.bmp
"""
import struct
import sys


def read(path):
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    _, width, height, _, bits, compression, _, _, _, used, _ = struct.unpack_from("<IiiHHIIiiII", data, 14)
    if bits not in (1, 4, 8) or compression != 0 or height <= 0:
        sys.exit(f"{path}: not a bottom-up, uncompressed bitmap with a colour table")
    table = [data[54 + 4 * i:58 + 4 * i] for i in range(used or 1 << bits)]
    stride = (width * bits + 31) // 32 * 4
    per_byte, mask = 8 // bits, (1 << bits) - 1
    rows = []
    for y in range(height):
        line = data[offset + y * stride:offset + (y + 1) * stride]
        rows.append(bytes(line[x // per_byte] >> (8 - bits * (x % per_byte + 1)) & mask for x in range(width)))
    return width, height, table, rows


def encode(row):
    out, i = bytearray(), 0
    while i < len(row):
        run = 1
        while i + run < len(row) and run < 255 and row[i + run] == row[i]:
            run += 1
        if run > 1:
            out += bytes((run, row[i]))
            i += run
            continue
        # Literal bytes up to the next repeat; fewer than three go as runs of one.
        end = i + 1
        while end < len(row) and end - i < 255 and (end + 1 >= len(row) or row[end] != row[end + 1]):
            end += 1
        literal = row[i:end]
        if len(literal) < 3:
            for value in literal:
                out += bytes((1, value))
        else:
            out += bytes((0, len(literal))) + literal + bytes(len(literal) % 2)
        i = end
    return out


def main(source, target):
    width, height, table, rows = read(source)
    ground = rows[0][0]
    used = [ground] + sorted({value for row in rows for value in row} - {ground})
    index = {value: i for i, value in enumerate(used)}
    packed = bytearray()
    for y, row in enumerate(rows):
        packed += encode(bytes(index[value] for value in row))
        packed += bytes((0, 1 if y == height - 1 else 0))  # end of the bitmap, or of the line
    colours = b"".join(table[value] for value in used)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(packed), 0, 0, len(used), 0)
    with open(target, "wb") as out:
        out.write(b"BM" + struct.pack("<IHHI", offset + len(packed), 0, 0, offset) + header + colours + packed)


if __name__ == "__main__":
    main(*sys.argv[1:])
