#!/usr/bin/env python3
"""Screenshots from Xvfb without further packages: Xvfb -fbdir keeps its screen in an XWD file.

  screenshot.py grab XWD|PNG OUT.png [X Y W H]   the screen (or a PNG), or a part of it, as PNG
  screenshot.py find XWD                      the window frame's box: X Y W H (largest area that
                                              is not the empty screen's colour)
  screenshot.py wait XWD                      waits up to 30 s for a window (a box larger than the
                                              mouse pointer), 2 s more for its pictures and clock,
                                              then prints its box; exits 1 when none came
  screenshot.py compare A.png B.png           share of pixels that differ by more than a little
"""
import struct
import sys
import time
import zlib


def read_xwd(path):
    data = open(path, 'rb').read()
    header = struct.unpack('>25I', data[:100])
    header_size, _, _, depth, width, height = header[:6]
    bits_per_pixel, bytes_per_line = header[11], header[12]
    ncolors = header[19]
    if bits_per_pixel != 32:
        raise SystemExit('expected a 32-bit screen (Xvfb -screen 0 WxHx24), got %d bits' % bits_per_pixel)
    offset = header_size + ncolors * 12
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * 4]
        # Little-endian BGRX.
        row = bytearray(width * 3)
        row[0::3] = line[2::4]
        row[1::3] = line[1::4]
        row[2::3] = line[0::4]
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    raw = b''.join(b'\x00' + r for r in rows)

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)

    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    open(path, 'wb').write(png)


def read_png(path):
    data = open(path, 'rb').read()
    pos, idat, width, height = 8, b'', 0, 0
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height, bit_depth, colour = struct.unpack('>IIBB', body[:10])
            if bit_depth != 8 or colour not in (2, 6):
                raise SystemExit('%s: only 8-bit RGB or RGBA' % path)
            channels = 3 if colour == 2 else 4
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, i = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = previous[x]
            c = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 0xff
            elif kind == 2:
                line[x] = (line[x] + b) & 0xff
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 0xff
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xff
        previous = line
        rgb = bytearray(width * 3)
        for k in range(3):
            rgb[k::3] = line[k::channels]
        rows.append(bytes(rgb))
    return width, height, rows


def find_box(path):
    """The box of everything that is not the empty screen's colour, or None."""
    try:
        width, height, rows = read_xwd(path)
    except (OSError, struct.error):
        return None  # not written yet
    empty = rows[0][0:3]
    ys = [y for y in range(height) if rows[y] != empty * width]
    xs = [x for x in range(width) if any(rows[y][x * 3:x * 3 + 3] != empty for y in ys[::4])]
    if not ys or not xs:
        return None
    return xs[0], ys[0], xs[-1] - xs[0] + 1, ys[-1] - ys[0] + 1


def main():
    command = sys.argv[1]
    if command == 'grab':
        source = sys.argv[2]
        width, height, rows = read_png(source) if source.endswith('.png') else read_xwd(source)
        if len(sys.argv) == 8:
            x, y, w, h = map(int, sys.argv[4:8])
            rows = [r[x * 3:(x + w) * 3] for r in rows[y:y + h]]
            width, height = w, h
        write_png(sys.argv[3], width, height, rows)
    elif command == 'find':
        box = find_box(sys.argv[2])
        if not box:
            raise SystemExit('the screen is empty')
        print(*box)
    elif command == 'wait':
        for _ in range(60):
            time.sleep(0.5)
            box = find_box(sys.argv[2])
            if box and box[2] > 100 and box[3] > 100:
                break
        else:
            raise SystemExit('no window on the screen')
        time.sleep(2)
        print(*find_box(sys.argv[2]))
    elif command == 'compare':
        wa, ha, a = read_png(sys.argv[2])
        wb, hb, b = read_png(sys.argv[3])
        w, h = min(wa, wb), min(ha, hb)
        differing = 0
        for y in range(h):
            ra, rb = a[y], b[y]
            for x in range(0, w * 3, 3):
                if max(abs(ra[x + k] - rb[x + k]) for k in range(3)) > 48:
                    differing += 1
        print('%dx%d and %dx%d: %.1f %% of the pixels differ' % (wa, ha, wb, hb, 100.0 * differing / (w * h)))
    else:
        raise SystemExit(__doc__)


if __name__ == '__main__':
    main()
