#!/usr/bin/env python3
"""Builds the launcher's program icon from its text description.

Usage: make_icon.py ICON_TXT OUTPUT_ICO

The description (res/icon.txt) holds a legend and two pixel grids, one character per pixel:

    color <char> <index> <rrggbb> <name>   a palette colour of the standard 16-colour palette
    transparent <char>                     the character that marks transparent pixels
    image <size>                           followed by <size> rows of <size> characters

Lines starting with '#' and blank lines between the entries are ignored. The legend must name each
palette entry with its standard value, so the description cannot drift from the palette the icon
is written with.

The output is one .ico file with two images, 32 x 32 and then 16 x 16, each 4 bits per pixel:
ICONDIR, two ICONDIRENTRY records, and per image a BITMAPINFOHEADER of double height, the
16-entry palette, the colour (XOR) bits and the 1-bit AND mask, both bottom-up with rows padded
to 32 bits. Transparent pixels have colour index 0 and mask bit 1. The same description always
gives the same bytes.
"""

import struct
import sys

# The standard Windows 16-colour palette (VGA order), as (r, g, b).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Image sizes the icon holds, in the order they are written.
SIZES = (32, 16)


class DescriptionError(Exception):
    pass


def parse_description(text):
    """Returns (legend, transparent, images): legend maps a character to a palette index,
    images maps a size to its rows (lists of palette indices, None for transparent)."""
    legend = {}
    transparent = None
    grids = {}
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i].rstrip()
        lineno = i + 1
        i += 1
        if not line or line.startswith('#'):
            continue
        words = line.split()
        if words[0] == 'color':
            if len(words) < 4 or len(words[1]) != 1:
                raise DescriptionError('line %d: expected "color <char> <index> <rrggbb> <name>"' % lineno)
            char = words[1]
            try:
                index = int(words[2])
                rgb = bytes.fromhex(words[3])
            except ValueError:
                raise DescriptionError('line %d: bad index or colour' % lineno)
            if not 0 <= index < 16 or len(rgb) != 3:
                raise DescriptionError('line %d: bad index or colour' % lineno)
            if tuple(rgb) != PALETTE[index]:
                raise DescriptionError('line %d: colour %s is not palette entry %d' % (lineno, words[3], index))
            if char in legend or char == transparent:
                raise DescriptionError('line %d: character %r defined twice' % (lineno, char))
            legend[char] = index
        elif words[0] == 'transparent':
            if len(words) != 2 or len(words[1]) != 1 or words[1] in legend or transparent is not None:
                raise DescriptionError('line %d: expected one "transparent <char>" with a new character' % lineno)
            transparent = words[1]
        elif words[0] == 'image':
            if len(words) != 2 or not words[1].isdigit() or int(words[1]) not in SIZES:
                raise DescriptionError('line %d: expected "image <size>" with size one of %s' % (lineno, SIZES))
            size = int(words[1])
            if size in grids:
                raise DescriptionError('line %d: image %d given twice' % (lineno, size))
            if len(lines) - i < size:
                raise DescriptionError('line %d: image %d needs %d rows' % (lineno, size, size))
            grids[size] = (i + 1, [row.rstrip('\r\n') for row in lines[i:i + size]])
            i += size
        else:
            raise DescriptionError('line %d: unknown entry %r' % (lineno, words[0]))

    if transparent is None:
        raise DescriptionError('no "transparent" character given')
    images = {}
    for size in SIZES:
        if size not in grids:
            raise DescriptionError('image %d missing' % size)
        first, rows = grids[size]
        pixels = []
        for n, row in enumerate(rows):
            if len(row) != size:
                raise DescriptionError('line %d: row has %d pixels, expected %d' % (first + n, len(row), size))
            out = []
            for char in row:
                if char == transparent:
                    out.append(None)
                elif char in legend:
                    out.append(legend[char])
                else:
                    raise DescriptionError('line %d: character %r is not in the legend' % (first + n, char))
            pixels.append(out)
        images[size] = pixels
    return legend, transparent, images


def padded_row_bytes(bits):
    return (bits + 31) // 32 * 4


def encode_image(pixels):
    """One icon image: header, palette, XOR bits and AND mask."""
    size = len(pixels)
    xor_stride = padded_row_bytes(size * 4)
    and_stride = padded_row_bytes(size)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # DIB rows run bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, index in enumerate(row):
            value = 0 if index is None else index
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if index is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 0, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def build_icon(images):
    blobs = [encode_image(images[size]) for size in SIZES]
    out = bytearray(struct.pack('<HHH', 0, 1, len(blobs)))
    offset = 6 + 16 * len(blobs)
    for size, blob in zip(SIZES, blobs):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write('usage: make_icon.py ICON_TXT OUTPUT_ICO\n')
        return 2
    try:
        with open(argv[1], 'r', encoding='ascii') as f:
            text = f.read()
        _, _, images = parse_description(text)
    except (OSError, UnicodeDecodeError) as e:
        sys.stderr.write('make_icon.py: cannot read %s: %s\n' % (argv[1], e))
        return 1
    except DescriptionError as e:
        sys.stderr.write('make_icon.py: %s: %s\n' % (argv[1], e))
        return 1
    data = build_icon(images)
    try:
        with open(argv[2], 'wb') as f:
            f.write(data)
    except OSError as e:
        sys.stderr.write('make_icon.py: cannot write %s: %s\n' % (argv[2], e))
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
