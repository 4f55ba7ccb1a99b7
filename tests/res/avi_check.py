#!/usr/bin/env python3
"""Reads an RLE8 AVI clip back, independently of the generator that wrote it.

As a program: avi_check.py CLIP_AVI SHEET_PPM decodes every frame and writes them one under
another, separated by a dark line, as a PPM contact sheet to look at.
"""

import struct
import sys


class FormatError(Exception):
    pass


def read_chunks(data, start, end):
    """(fourcc, list type or None, payload start, payload end) for each chunk in data[start:end]."""
    chunks = []
    pos = start
    while pos < end:
        if end - pos < 8:
            raise FormatError('truncated chunk header at %d' % pos)
        fourcc, size = struct.unpack_from('<4sI', data, pos)
        body = pos + 8
        if size > end - body:
            raise FormatError('chunk %r at %d runs past its parent' % (fourcc, pos))
        kind = None
        if fourcc in (b'RIFF', b'LIST'):
            if size < 4:
                raise FormatError('list at %d has no type' % pos)
            kind = data[body:body + 4]
        chunks.append((fourcc, kind, body, body + size, pos))
        pos = body + size + (size & 1)
    if pos != end and pos != end + 1:
        raise FormatError('chunks overrun their parent')
    return chunks


def decode_rle8(codes, width, height):
    """Decodes BI_RLE8 data. Returns (rows top first, written): pixel indices and whether each
    pixel was set. Raises FormatError on any code that leaves the bitmap or the data, or on data
    without an end-of-bitmap code."""
    pixels = [[0] * width for _ in range(height)]
    written = [[False] * width for _ in range(height)]
    x, y = 0, 0  # y counts rows from the bottom
    pos = 0

    def put(value):
        nonlocal x
        if y >= height or x >= width:
            raise FormatError('pixel outside the bitmap at x=%d, row %d' % (x, y))
        pixels[height - 1 - y][x] = value
        written[height - 1 - y][x] = True
        x += 1

    while True:
        if len(codes) - pos < 2:
            raise FormatError('no end-of-bitmap code')
        count, value = codes[pos], codes[pos + 1]
        pos += 2
        if count > 0:
            for _ in range(count):
                put(value)
        elif value == 0:  # end of line
            x, y = 0, y + 1
        elif value == 1:  # end of bitmap
            return pixels, written, pos
        elif value == 2:  # delta
            if len(codes) - pos < 2:
                raise FormatError('truncated delta')
            x += codes[pos]
            y += codes[pos + 1]
            pos += 2
        else:  # absolute run
            if len(codes) - pos < value:
                raise FormatError('truncated absolute run')
            for b in codes[pos:pos + value]:
                put(b)
            pos += value + (value & 1)


def read_avi(data):
    """Parses a one-stream RLE8 AVI. Returns a dict with the headers, palette and frame chunks."""
    top = read_chunks(data, 0, len(data))
    if len(top) != 1 or top[0][0] != b'RIFF' or top[0][1] != b'AVI ':
        raise FormatError('not a RIFF AVI file')
    _, _, body, end, _ = top[0]
    if end != len(data):
        raise FormatError('bytes after the RIFF chunk')
    parts = read_chunks(data, body + 4, end)
    names = [(c[0], c[1]) for c in parts]
    if names != [(b'LIST', b'hdrl'), (b'LIST', b'movi'), (b'idx1', None)]:
        raise FormatError('unexpected top-level layout %r' % names)
    hdrl, movi, idx1 = parts

    hdr = read_chunks(data, hdrl[2] + 4, hdrl[3])
    if [(c[0], c[1]) for c in hdr] != [(b'avih', None), (b'LIST', b'strl')]:
        raise FormatError('unexpected hdrl layout')
    avih = data[hdr[0][2]:hdr[0][3]]
    if len(avih) != 56:
        raise FormatError('avih is %d bytes' % len(avih))
    strl = read_chunks(data, hdr[1][2] + 4, hdr[1][3])
    if [c[0] for c in strl] != [b'strh', b'strf']:
        raise FormatError('unexpected strl layout')
    strh = data[strl[0][2]:strl[0][3]]
    strf = data[strl[1][2]:strl[1][3]]
    if len(strh) != 56 or len(strf) < 40:
        raise FormatError('bad strh or strf size')

    clip = {}
    (clip['usec_per_frame'], clip['max_bytes_per_sec'], _, clip['avi_flags'], clip['total_frames'],
     clip['initial_frames'], clip['streams'], clip['avi_buffer'], clip['width'],
     clip['height']) = struct.unpack_from('<10I', avih)
    (clip['type'], clip['handler'], _, _, _, _, clip['scale'], clip['rate'], clip['start'],
     clip['length'], clip['stream_buffer'], _, clip['sample_size'], *frame_rect) = \
        struct.unpack_from('<4s4sIHHIIIIIIIIhhhh', strh)
    clip['frame_rect'] = tuple(frame_rect)
    (size, clip['bi_width'], clip['bi_height'], clip['planes'], clip['bit_count'],
     clip['compression'], clip['size_image'], _, _, clip['clr_used'], _) = \
        struct.unpack_from('<IiiHHIIiiII', strf)
    if size != 40:
        raise FormatError('biSize is %d' % size)
    colours = clip['clr_used'] or 256
    if len(strf) != 40 + 4 * colours:
        raise FormatError('palette size does not match biClrUsed')
    clip['palette'] = [(strf[40 + 4 * i + 2], strf[40 + 4 * i + 1], strf[40 + 4 * i])
                       for i in range(colours)]

    movi_start = movi[2]  # the 'movi' tag
    clip['frames'] = [(c[0], c[4] - movi_start, data[c[2]:c[3]])
                      for c in read_chunks(data, movi_start + 4, movi[3])]
    raw = data[idx1[2]:idx1[3]]
    if len(raw) % 16:
        raise FormatError('idx1 size is not a multiple of 16')
    clip['index'] = [struct.unpack_from('<4sIII', raw, i) for i in range(0, len(raw), 16)]
    return clip


def decode_frames(clip):
    frames = []
    for _, _, codes in clip['frames']:
        pixels, _, _ = decode_rle8(codes, clip['bi_width'], clip['bi_height'])
        frames.append(pixels)
    return frames


def write_contact_sheet(clip, path):
    width = clip['bi_width']
    rows = []
    for pixels in decode_frames(clip):
        for row in pixels:
            rows.append(b''.join(bytes(clip['palette'][v]) for v in row))
        rows.append(b'\x30\x30\x30' * width)
    with open(path, 'wb') as f:
        f.write(b'P6 %d %d 255\n' % (width, len(rows)))
        f.write(b''.join(rows))


def main(argv):
    if len(argv) != 3:
        sys.stderr.write('usage: avi_check.py CLIP_AVI SHEET_PPM\n')
        return 2
    with open(argv[1], 'rb') as f:
        clip = read_avi(f.read())
    write_contact_sheet(clip, argv[2])
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
