#!/usr/bin/env python3
"""Draws the program's icon (32x32, 24-bit) and the dialog's picture (32x32, 8-bit palette)."""
import struct

SIZE = 32


def pixel(x, y):
    """A blue installation box with a green arrow pointing into it, on white."""
    if 6 <= x <= 25 and 14 <= y <= 27:
        edge = x in (6, 25) or y in (14, 27)
        return (20, 40, 120) if edge else (60, 110, 210)
    if 13 <= x <= 18 and 3 <= y <= 9:
        return (30, 160, 60)
    if 9 <= y <= 13 and abs(x - 15.5) <= 13 - y + 0.5:
        return (30, 160, 60)
    return (255, 255, 255)


def rows_bottom_up():
    return [[pixel(x, y) for x in range(SIZE)] for y in reversed(range(SIZE))]


def info_header(height, bits, colours):
    return struct.pack('<IiiHHIIiiII', 40, SIZE, height, 1, bits, 0, 0, 0, 0, colours, 0)


def write_icon(path):
    xor = b''.join(bytes((b, g, r)) for row in rows_bottom_up() for (r, g, b) in row)
    mask = bytes(SIZE * SIZE // 8)
    image = info_header(SIZE * 2, 24, 0) + xor + mask
    header = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 24, len(image), 6 + 16)
    with open(path, 'wb') as f:
        f.write(header + entry + image)


def write_bitmap(path):
    rows = rows_bottom_up()
    # Only the colours used are in the table (biClrUsed): a full 256-entry table of an 8-bit
    # picture would add a kilobyte to each program.
    palette = sorted({c for row in rows for c in row})
    index = {c: i for i, c in enumerate(palette)}
    pixels = b''.join(bytes(index[c] for c in row) for row in rows)
    table = b''.join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 14 + 40 + len(table)
    body = info_header(SIZE, 8, len(palette)) + table + pixels
    with open(path, 'wb') as f:
        f.write(struct.pack('<2sIHHI', b'BM', 14 + len(body), 0, 0, offset) + body)


if __name__ == '__main__':
    write_icon('stagerun.ico')
    write_bitmap('setup.bmp')
