#!/usr/bin/env python3
"""Builds AVI_FILECOPY, the clip the copy dialogs play in their animation control.

Usage: make_avi.py OUTPUT_AVI

The clip: 17 frames of 260 x 40 pixels at 10 frames per second. A sheet of paper leaves an open
yellow folder at the left, flies in an arc and drops into an open yellow folder at the right, on a
magenta background. The animation control plays only uncompressed or RLE8 clips without sound, and
with ACS_TRANSPARENT it replaces the colour of the frame's top-left pixel by the dialog's own, so:

    RIFF 'AVI '
      LIST 'hdrl'
        'avih'  main header: 100000 us per frame, 17 frames, 1 stream, 260 x 40, has index
        LIST 'strl'
          'strh'  'vids' stream, handler 'RLE ', rate 10 / scale 1, 17 frames
          'strf'  BITMAPINFOHEADER (8 bits, BI_RLE8, 16 colours used) and the 16-entry palette
      LIST 'movi'
        '00dc' x 17  one whole RLE8 frame each (every frame is a key frame)
      'idx1'  one entry per frame: '00dc', AVIIF_KEYFRAME, offset from the 'movi' tag, size

Palette entry 0 is pure magenta (255, 0, 255), the background, and every frame's corners are
background. Each frame is encoded on its own: rows bottom-up, encoded runs (count, value),
absolute runs (0, n >= 3, n values, padded to 16 bits) for mixed stretches, 0 0 after every row and
0 1 at the end. No delta codes, so every pixel of every frame is written. The output is the same
bytes on every run.
"""

import struct
import sys

WIDTH = 260
HEIGHT = 40
FRAME_COUNT = 17
MICROSECONDS_PER_FRAME = 100000
RATE, SCALE = 10, 1

AVIF_HASINDEX = 0x10
AVIIF_KEYFRAME = 0x10
BI_RLE8 = 1

# The clip's palette, as (r, g, b). Entry 0 is the transparent background.
PALETTE = [
    (0xFF, 0x00, 0xFF),  # 0 magenta: background
    (0x00, 0x00, 0x00),  # 1 black: outlines
    (0xFF, 0xFF, 0xFF),  # 2 white: paper, highlights
    (0xFF, 0xFF, 0x00),  # 3 yellow: folder
    (0x80, 0x80, 0x00),  # 4 olive: folder shading
    (0x80, 0x80, 0x80),  # 5 gray: text lines, paper shading
    (0xC0, 0xC0, 0xC0),  # 6 silver: paper's turned corner
    (0x00, 0x00, 0x80),  # 7 navy: the paper's heading
    (0x00, 0x00, 0xFF),  # 8 blue
    (0x80, 0x00, 0x00),  # 9 maroon
    (0xFF, 0x00, 0x00),  # 10 red
    (0x00, 0x80, 0x00),  # 11 green
    (0x00, 0xFF, 0x00),  # 12 lime
    (0x00, 0x80, 0x80),  # 13 teal
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0x80, 0x00, 0x80),  # 15 purple
]

# Sprite characters: '.' leaves the pixel below as it is.
INK = {'k': 1, 'W': 2, 'Y': 3, 'o': 4, 'd': 5, 's': 6, 'n': 7}

# The sheet of paper, with its top right corner turned down.
PAPER = [
    'kkkkkkkkk...',
    'kWWWWWWWkk..',
    'kWnnnnnWksk.',
    'kWWWWWWWkssk',
    'kWddddWWkkkk',
    'kWWWWWWWWWWk',
    'kWdddddddWWk',
    'kWWWWWWWWWWk',
    'kWddddddddWk',
    'kWWWWWWWWWWk',
    'kWdddddWWWWk',
    'kWWWWWWWWWWk',
    'kWddddddddWk',
    'kWWWWWWWWWWk',
    'kkkkkkkkkkkk',
]

# An open folder, drawn in two parts so the paper can pass between them: the back wall with its
# tab, and the front flap, which leans back and hides the lower part of whatever is inside.
FOLDER_BACK = [
    '.kkkkkkkkkk...........................',
    'kWWWWWWWWWWk..........................',
    'kWYYYYYYYYYWkkkkkkkkkkkkkkkkkkkkkkk...',
    'kWYYYYYYYYYYWWWWWWWWWWWWWWWWWWWWWWk...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWooooooooooooooooooooooooooooooook...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    'kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk...',
]
FOLDER_FLAP = [
    '......................................',
    '......................................',
    '......................................',
    '......................................',
    '......................................',
    '......................................',
    '......................................',
    '......................................',
    '......................................',
    '....kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk',
    '....kWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWk',
    '....kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok',
    '....kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok',
    '...kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok.',
    '...kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok.',
    '...kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok.',
    '...kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok.',
    '..kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok..',
    '..kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok..',
    '..kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok..',
    '..kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok..',
    '.kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    '.kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    '.kWYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYok...',
    '.kWoooooooooooooooooooooooooooooook...',
    'kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk....',
]

FOLDER_WIDTH = len(FOLDER_BACK[0])
FOLDER_TOP = HEIGHT - 1 - len(FOLDER_BACK)       # one background row below the folders
FOLDER_LEFT = (3, WIDTH - 3 - FOLDER_WIDTH)       # left and right folder
PAPER_IN_FOLDER = 11                              # paper's offset from the folder's left edge
PAPER_REST_Y = FOLDER_TOP + 1                     # paper sitting in a folder, top sticking out
PAPER_APEX_Y = 1                                  # highest point of the arc


def blit(frame, sprite, left, top):
    for dy, row in enumerate(sprite):
        y = top + dy
        if not 0 <= y < HEIGHT:
            continue
        for dx, char in enumerate(row):
            x = left + dx
            if char != '.' and 0 <= x < WIDTH:
                frame[y][x] = INK[char]


def paper_position(n):
    """Top-left corner of the paper in frame n. The height follows a parabola over time; the
    sideways motion eases in and out (smoothstep), so the paper lifts steeply out of the left
    folder and drops steeply into the right one."""
    last = FRAME_COUNT - 1
    x0 = FOLDER_LEFT[0] + PAPER_IN_FOLDER
    x1 = FOLDER_LEFT[1] + PAPER_IN_FOLDER
    eased = 3 * n * n * last - 2 * n * n * n            # smoothstep(n / last) * last**3
    x = x0 + ((x1 - x0) * eased * 2 + last ** 3) // (last ** 3 * 2)
    rise = PAPER_REST_Y - PAPER_APEX_Y
    y = PAPER_REST_Y - (rise * 4 * n * (last - n) * 2 + last * last) // (last * last * 2)
    return x, y


def render_frames():
    """The clip's frames, each a list of HEIGHT rows (top first) of WIDTH palette indices."""
    frames = []
    for n in range(FRAME_COUNT):
        frame = [[0] * WIDTH for _ in range(HEIGHT)]
        for left in FOLDER_LEFT:
            blit(frame, FOLDER_BACK, left, FOLDER_TOP)
        x, y = paper_position(n)
        blit(frame, PAPER, x, y)
        for left in FOLDER_LEFT:
            blit(frame, FOLDER_FLAP, left, FOLDER_TOP)
        frames.append(frame)
    return frames


def encode_row(row):
    """RLE8 codes for one row, without its end-of-line code. Runs of three or more equal pixels
    become encoded runs; stretches between them become absolute runs when they are at least three
    pixels long (the shortest absolute run), else one or two short encoded runs."""
    out = bytearray()
    width = len(row)

    def run_length(i):
        n = 1
        while i + n < width and row[i + n] == row[i] and n < 255:
            n += 1
        return n

    i = 0
    while i < width:
        n = run_length(i)
        if n >= 3:
            out += bytes((n, row[i]))
            i += n
            continue
        # A mixed stretch: up to the next run of three, at most 255 pixels.
        j = i
        while j < width and j - i < 255 and run_length(j) < 3:
            j += 1
        if j - i >= 3:
            out += bytes((0, j - i)) + bytes(row[i:j])
            if (j - i) % 2:
                out.append(0)  # absolute runs end on a 16-bit boundary
            i = j
        else:
            while i < j:
                n = min(run_length(i), j - i)
                out += bytes((n, row[i]))
                i += n
    return out


def encode_rle8(frame):
    """One frame as BI_RLE8 data: rows bottom-up, 0 0 after each row, 0 1 at the end."""
    out = bytearray()
    for row in reversed(frame):
        out += encode_row(row)
        out += b'\x00\x00'
    out += b'\x00\x01'
    return bytes(out)


def chunk(fourcc, data):
    out = fourcc + struct.pack('<I', len(data)) + data
    if len(data) % 2:
        out += b'\x00'
    return out


def riff_list(kind, fourcc, payload):
    return kind + struct.pack('<I', len(payload) + 4) + fourcc + payload


def build_avi(frames):
    encoded = [encode_rle8(frame) for frame in frames]
    largest = max(len(data) for data in encoded)

    avih = struct.pack('<10I4I',
                       MICROSECONDS_PER_FRAME,
                       largest * RATE // SCALE,      # dwMaxBytesPerSec
                       0,                            # dwPaddingGranularity
                       AVIF_HASINDEX,
                       len(frames),                  # dwTotalFrames
                       0,                            # dwInitialFrames
                       1,                            # dwStreams
                       largest,                      # dwSuggestedBufferSize
                       WIDTH, HEIGHT,
                       0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh',
                       b'vids', b'RLE ',
                       0,                            # dwFlags
                       0, 0,                         # wPriority, wLanguage
                       0,                            # dwInitialFrames
                       SCALE, RATE,
                       0,                            # dwStart
                       len(frames),                  # dwLength
                       largest,                      # dwSuggestedBufferSize
                       0xFFFFFFFF,                   # dwQuality: default
                       0,                            # dwSampleSize: frames vary in size
                       0, 0, WIDTH, HEIGHT)          # rcFrame
    # biSizeImage is the largest frame, so a reader that bounds its RLE decoding by it never
    # cuts a frame short; each frame ends at its own end-of-bitmap code.
    strf = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 8, BI_RLE8, largest, 0, 0,
                       len(PALETTE), len(PALETTE))
    strf += b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)

    strl = riff_list(b'LIST', b'strl', chunk(b'strh', strh) + chunk(b'strf', strf))
    hdrl = riff_list(b'LIST', b'hdrl', chunk(b'avih', avih) + strl)

    movi = bytearray()
    index = bytearray()
    for data in encoded:
        offset = 4 + len(movi)  # from the 'movi' tag to the chunk's header
        index += struct.pack('<4sIII', b'00dc', AVIIF_KEYFRAME, offset, len(data))
        movi += chunk(b'00dc', data)
    movi_list = riff_list(b'LIST', b'movi', bytes(movi))

    return riff_list(b'RIFF', b'AVI ', hdrl + movi_list + chunk(b'idx1', bytes(index)))


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: make_avi.py OUTPUT_AVI\n')
        return 2
    data = build_avi(render_frames())
    try:
        with open(argv[1], 'wb') as f:
            f.write(data)
    except OSError as e:
        sys.stderr.write('make_avi.py: cannot write %s: %s\n' % (argv[1], e))
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
