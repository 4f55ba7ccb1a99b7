#!/usr/bin/env python3
"""Checks the build-time resource generators: the program icon and the AVI_FILECOPY clip.

Both outputs are read back with readers written here, independently of the generators, and
compared with what the generators meant to draw."""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))
GEN = os.path.join(ROOT, 'res', 'gen')
ICON_TXT = os.path.join(ROOT, 'res', 'icon.txt')
sys.path.insert(0, GEN)
sys.path.insert(0, HERE)

import avi_check  # noqa: E402
import make_avi  # noqa: E402
import make_icon  # noqa: E402

# The standard Windows 16-colour palette, written out here on its own.
STANDARD_16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def run_generator(script, *args):
    return subprocess.run([sys.executable, os.path.join(GEN, script)] + list(args),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def generate(script, *inputs):
    """Runs a generator twice into a temporary folder; returns both outputs."""
    outputs = []
    with tempfile.TemporaryDirectory() as tmp:
        for n in range(2):
            path = os.path.join(tmp, 'out%d' % n)
            result = run_generator(script, *inputs, path)
            if result.returncode != 0:
                raise AssertionError(result.stderr.decode())
            with open(path, 'rb') as f:
                outputs.append(f.read())
    return outputs


def read_icon_grids(text):
    """The grids of the icon description as palette indices (None: transparent), read simply."""
    legend, transparent, grids = {}, None, {}
    lines = text.splitlines()
    for n, line in enumerate(lines):
        words = line.split()
        if words[:1] == ['color']:
            legend[words[1]] = int(words[2])
        elif words[:1] == ['transparent']:
            transparent = words[1]
        elif words[:1] == ['image']:
            size = int(words[1])
            grids[size] = [[None if c == transparent else legend[c] for c in row]
                           for row in lines[n + 1:n + 1 + size]]
    return grids


def read_ico(data):
    """Parses a 4-bit icon file; returns {size: rows of (index, transparent)} and the palettes."""
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    assert (reserved, kind) == (0, 1), 'not an icon file'
    images, palettes = {}, []
    end_of_previous = 6 + 16 * count
    for i in range(count):
        w, h, colours, res, planes, bits, size, offset = struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)
        assert (w, colours, res, planes, bits) == (h, 16, 0, 1, 4)
        assert offset == end_of_previous, 'images are not packed in order'
        end_of_previous = offset + size
        (bi_size, bi_w, bi_h, bi_planes, bi_bits, compression, size_image, _, _, clr_used,
         _) = struct.unpack_from('<IiiHHIIiiII', data, offset)
        assert (bi_size, bi_w, bi_h, bi_planes, bi_bits, compression) == (40, w, 2 * w, 1, 4, 0)
        assert clr_used in (0, 16)
        pal_at = offset + 40
        palettes.append([(data[pal_at + 4 * k + 2], data[pal_at + 4 * k + 1], data[pal_at + 4 * k])
                         for k in range(16)])
        xor_stride = (w * 4 + 31) // 32 * 4
        and_stride = (w + 31) // 32 * 4
        xor_at = pal_at + 64
        and_at = xor_at + xor_stride * w
        assert and_at + and_stride * w == offset + size, 'image size does not match its bits'
        assert size_image in (0, xor_stride * w + and_stride * w)
        rows = []
        for y in range(w):  # bottom-up in the file
            xr = data[xor_at + xor_stride * y:xor_at + xor_stride * (y + 1)]
            ar = data[and_at + and_stride * y:and_at + and_stride * (y + 1)]
            rows.append([((xr[x // 2] >> (4 if x % 2 == 0 else 0)) & 15,
                          bool(ar[x // 8] & (0x80 >> (x % 8)))) for x in range(w)])
        images[w] = list(reversed(rows))
    assert end_of_previous == len(data), 'trailing bytes after the last image'
    return images, palettes


class IconTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.first, cls.second = generate('make_icon.py', ICON_TXT)
        with open(ICON_TXT, encoding='ascii') as f:
            cls.grids = read_icon_grids(f.read())

    def test_same_bytes_every_run(self):
        self.assertEqual(self.first, self.second)

    def test_two_images_with_the_standard_palette(self):
        images, palettes = read_ico(self.first)
        self.assertEqual(list(images), [32, 16])
        for palette in palettes:
            self.assertEqual(palette, STANDARD_16)

    def test_pixels_and_mask_follow_the_description(self):
        images, _ = read_ico(self.first)
        for size in (32, 16):
            with self.subTest(size=size):
                for y, (got_row, want_row) in enumerate(zip(images[size], self.grids[size])):
                    for x, ((index, clear), want) in enumerate(zip(got_row, want_row)):
                        # Transparent pixels are black in the colour bits so they vanish on any
                        # background; opaque ones have a clear mask bit.
                        self.assertEqual((index, clear), (0, True) if want is None else (want, False),
                                         'pixel %d,%d' % (x, y))

    def test_drawing_is_a_shape_on_a_clear_background(self):
        images, _ = read_ico(self.first)
        for size, rows in images.items():
            with self.subTest(size=size):
                self.assertTrue(rows[0][0][1] and rows[0][-1][1], 'top corners are transparent')
                self.assertFalse(rows[size // 2][size // 2][1], 'the centre is drawn')
                colours = {index for row in rows for index, clear in row if not clear}
                self.assertGreaterEqual(len(colours), 5)


def description(size32_rows=None, size16_rows=None, extra=''):
    """A small valid description to vary: a black pixel in an empty grid."""
    legend = ''.join('color %s %d %02x%02x%02x\n' % ((c, i) + STANDARD_16[i])
                     for i, c in enumerate('kABCDEFGHIJKLMNW'))
    rows32 = size32_rows or ['k' + '.' * 31] + ['.' * 32] * 31
    rows16 = size16_rows or ['.' * 16] * 16
    return (legend + 'transparent .\n' + extra + 'image 32\n' + '\n'.join(rows32) + '\n' +
            'image 16\n' + '\n'.join(rows16) + '\n')


class IconDescriptionTest(unittest.TestCase):
    def test_valid_description(self):
        _, _, images = make_icon.parse_description(description())
        self.assertEqual(images[32][0][:2], [0, None])

    def test_errors(self):
        base = description()
        cases = [
            ('short row', description(size16_rows=['.' * 15] + ['.' * 16] * 15)),
            ('long row', description(size16_rows=['.' * 17] + ['.' * 16] * 15)),
            ('character not in the legend', description(size16_rows=['x' * 16] + ['.' * 16] * 15)),
            ('missing rows', base.replace('image 16\n' + '.' * 16 + '\n', 'image 16\n', 1)),
            ('missing image', base[:base.index('image 16')]),
            ('image twice', base + 'image 16\n' + ('.' * 16 + '\n') * 16),
            ('unsupported size', base.replace('image 16', 'image 24')),
            ('colour not the palette entry', base.replace('color k 0 000000', 'color k 0 010101')),
            ('index out of range', base.replace('color k 0 000000', 'color k 16 000000')),
            ('character defined twice', base.replace('color A 1', 'color k 1')),
            ('no transparent character', base.replace('transparent .\n', '')),
            ('transparent also a colour', base.replace('transparent .', 'transparent k')),
            ('unknown entry', description(extra='colour z 1 800000\n')),
        ]
        for name, text in cases:
            with self.subTest(name):
                with self.assertRaises(make_icon.DescriptionError):
                    make_icon.parse_description(text)

    def test_bad_description_fails_the_build_step(self):
        with tempfile.TemporaryDirectory() as tmp:
            src = os.path.join(tmp, 'icon.txt')
            out = os.path.join(tmp, 'icon.ico')
            with open(src, 'w') as f:
                f.write(description(size16_rows=['?' * 16] + ['.' * 16] * 15))
            result = run_generator('make_icon.py', src, out)
            self.assertEqual(result.returncode, 1)
            self.assertIn(b'not in the legend', result.stderr)
            self.assertFalse(os.path.exists(out))
            self.assertEqual(run_generator('make_icon.py', src).returncode, 2)


class Rle8Test(unittest.TestCase):
    def test_decoder_reads_the_documented_example(self):
        # The RLE8 example of the bitmap format's documentation: runs, an absolute run, a delta
        # of 5 right and 1 down, an end of line and the end of the bitmap.
        codes = bytes.fromhex('0304 0506 0003455667 00 0278 00020501 0278 0000 091e 0001')
        pixels, written, used = avi_check.decode_rle8(codes, 20, 3)
        self.assertEqual(used, len(codes))
        bottom = [4] * 3 + [6] * 5 + [0x45, 0x56, 0x67, 0x78, 0x78]
        self.assertEqual(pixels[2][:13], bottom)
        self.assertEqual(pixels[1][18:20], [0x78, 0x78])
        self.assertEqual(pixels[0][:9], [0x1E] * 9)
        self.assertFalse(written[1][0])

    def test_decoder_rejects_bad_data(self):
        cases = [
            ('run past the row', bytes.fromhex('0501 0001'), 4),
            ('no end of bitmap', bytes.fromhex('0401 0000'), 4),
            ('truncated absolute run', bytes.fromhex('0004 0102'), 4),
            ('row past the top', bytes.fromhex('0000 0000 0101 0001'), 4),
        ]
        for name, codes, width in cases:
            with self.subTest(name):
                with self.assertRaises(avi_check.FormatError):
                    avi_check.decode_rle8(codes, width, 2)

    def test_rows_round_trip(self):
        alternating = [n % 2 for n in range(260)]
        cases = [
            ('one colour wider than a run', [0] * 260),
            ('alternating wider than an absolute run', alternating),
            ('odd absolute run gets padding', [1, 2, 3, 4, 5] + [0] * 10),
            ('even absolute run', [1, 2, 3, 4] + [0] * 10),
            ('short mixed stretches', [1, 1, 2, 0, 0, 0, 3, 4, 0, 0, 0, 5]),
            ('absolute run at the end', [0] * 6 + [1, 2, 3]),
            ('two pixels', [7, 8]),
            ('one pixel', [9]),
            ('runs of exactly three', [1, 1, 1, 2, 2, 2, 3, 3, 3]),
            ('pairs', [1, 1, 2, 2, 3, 3, 4, 4]),
            ('255 then 256 alternating', [0] * 255 + alternating[:256]),
        ]
        for name, row in cases:
            with self.subTest(name):
                codes = make_avi.encode_row(row) + b'\x00\x00\x00\x01'
                self.assertEqual(len(codes) % 2, 0)
                pixels, written, used = avi_check.decode_rle8(codes, len(row), 1)
                self.assertEqual(pixels[0], row)
                self.assertTrue(all(written[0]))
                self.assertEqual(used, len(codes))


class ClipTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.first, cls.second = generate('make_avi.py')
        cls.clip = avi_check.read_avi(cls.first)
        cls.source = make_avi.render_frames()

    def test_same_bytes_every_run(self):
        self.assertEqual(self.first, self.second)

    def test_small(self):
        self.assertLess(len(self.first), 32 * 1024)

    def test_headers(self):
        c = self.clip
        expected = {
            'usec_per_frame': 100000, 'total_frames': 17, 'initial_frames': 0, 'streams': 1,
            'width': 260, 'height': 40, 'type': b'vids', 'handler': b'RLE ', 'scale': 1,
            'rate': 10, 'start': 0, 'length': 17, 'sample_size': 0, 'frame_rect': (0, 0, 260, 40),
            'bi_width': 260, 'bi_height': 40, 'planes': 1, 'bit_count': 8, 'compression': 1,
            'clr_used': 16,
        }
        for key, value in expected.items():
            with self.subTest(key):
                self.assertEqual(c[key], value)
        self.assertTrue(c['avi_flags'] & 0x10, 'AVIF_HASINDEX')

    def test_buffers_hold_the_largest_frame(self):
        largest = max(len(codes) for _, _, codes in self.clip['frames'])
        for key in ('avi_buffer', 'stream_buffer', 'size_image'):
            with self.subTest(key):
                self.assertGreaterEqual(self.clip[key], largest)

    def test_palette_starts_with_the_transparent_magenta(self):
        palette = self.clip['palette']
        self.assertEqual(len(palette), 16)
        self.assertEqual(palette[0], (255, 0, 255))
        self.assertEqual(palette.count((255, 0, 255)), 1)

    def test_every_frame_decodes_to_its_source(self):
        self.assertEqual(len(self.clip['frames']), 17)
        for n, (fourcc, _, codes) in enumerate(self.clip['frames']):
            with self.subTest(frame=n):
                self.assertEqual(fourcc, b'00dc')
                pixels, written, used = avi_check.decode_rle8(codes, 260, 40)
                self.assertEqual(used, len(codes), 'end of bitmap is the last code')
                self.assertTrue(all(all(row) for row in written), 'every pixel is written')
                self.assertEqual(pixels, self.source[n])
                self.assertTrue(all(v < 16 for row in pixels for v in row))

    def test_corners_are_background(self):
        for n, pixels in enumerate(avi_check.decode_frames(self.clip)):
            with self.subTest(frame=n):
                corners = [pixels[0][0], pixels[0][-1], pixels[-1][0], pixels[-1][-1]]
                self.assertEqual(corners, [0, 0, 0, 0])

    def test_index_marks_every_frame_as_key_frame(self):
        index = self.clip['index']
        self.assertEqual(len(index), 17)
        for n, ((ckid, flags, offset, size), (fourcc, at, codes)) in enumerate(
                zip(index, self.clip['frames'])):
            with self.subTest(frame=n):
                self.assertEqual(ckid, fourcc)
                self.assertTrue(flags & 0x10, 'AVIIF_KEYFRAME')
                self.assertEqual((offset, size), (at, len(codes)))

    def test_paper_travels_left_to_right_in_an_arc(self):
        # The paper's heading line (navy) is drawn nowhere else; follow its leftmost pixel.
        navy = make_avi.PALETTE.index((0, 0, 128))
        path = []
        for pixels in avi_check.decode_frames(self.clip):
            spots = [(x, y) for y, row in enumerate(pixels) for x, v in enumerate(row) if v == navy]
            path.append(min(spots))
        xs = [x for x, _ in path]
        ys = [y for _, y in path]
        self.assertEqual(xs, sorted(xs))
        self.assertLess(xs[0], 60)
        self.assertGreater(xs[-1], 200)
        self.assertLess(min(ys), ys[0] - 10, 'rises well above the folders')
        self.assertEqual(ys[0], ys[-1])
        top = ys.index(min(ys))
        self.assertEqual(ys[:top + 1], sorted(ys[:top + 1], reverse=True))
        self.assertEqual(ys[top:], sorted(ys[top:]))

    def test_generator_needs_its_output_path(self):
        self.assertEqual(run_generator('make_avi.py').returncode, 2)


if __name__ == '__main__':
    unittest.main()
