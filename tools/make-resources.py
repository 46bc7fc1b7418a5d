#!/usr/bin/env python3
"""Draws the dashboard's pictures and icon and writes its resource files.

Outputs, all below resources/ (committed, so a build needs no Python):
  home.bmp, stop.bmp                  the command bar's two 48x48 buttons
  VelastromNavigazione.ico            the application icon, five sizes
  icons/hicolor/NxN/apps/velastrom-navigazione.png
  velastrom-navigazione.desktop       the Linux desktop entry
  VelastromNavigazione.rc             the Windows resource script

Usage:
  make-resources.py            write the files
  make-resources.py --check    compare the files on disk with what would be
                               written; exit status 1 and a list on mismatch
  make-resources.py --out DIR  write below DIR instead of resources/

Only the standard library is used. The drawing uses nothing but + - * /
and square roots, so the output is the same bytes on every machine.

The buttons are shown as transparent images whose transparent colour is
the bottom-left pixel: everything outside the disc is exactly crimson.
The disc's edge pixels are blended toward the command bar's pale green,
the colour they are shown on, so the edge is smooth on the bar and no
crimson fringe remains once crimson is taken out.
"""

import argparse
import math
import os
import struct
import sys
import zlib

CRIMSON = (186, 31, 57)      # background and transparent colour of the buttons
BAR = (240, 245, 213)        # command bar, on which the buttons are shown
DARK_GREEN = (61, 148, 90)   # the title's green
LIGHT_GREEN = (176, 213, 83)  # the scroll-bar green
WHITE = (255, 255, 255)

BUTTON_SIZE = 48
ICON_SIZES = (16, 32, 48, 64, 128)


# ---------------------------------------------------------------------------
# Shapes: each is a function (x, y) -> bool, in picture coordinates where
# pixel (i, j) covers the square [i, i+1) x [j, j+1), y growing downwards.

def disc(cx, cy, r):
    r2 = r * r
    return lambda x, y: (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r2


def ellipse(cx, cy, rx, ry):
    def inside(x, y):
        u, v = (x - cx) / rx, (y - cy) / ry
        return u * u + v * v <= 1.0
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def polygon(points):
    """A convex polygon, points in either winding order."""
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        sign = 0
        for (ax, ay), (bx, by) in edges:
            cross = (bx - ax) * (y - ay) - (by - ay) * (x - ax)
            if cross != 0:
                s = 1 if cross > 0 else -1
                if sign == 0:
                    sign = s
                elif s != sign:
                    return False
        return True
    return inside


def capsule(ax, ay, bx, by, r):
    """A stroke from a to b with round ends, half-width r."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    r2 = r * r

    def inside(x, y):
        t = ((x - ax) * dx + (y - ay) * dy) / length2
        t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
        px, py = ax + t * dx - x, ay + t * dy - y
        return px * px + py * py <= r2
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def shifted(shape, dx, dy):
    return lambda x, y: shape(x - dx, y - dy)


def mix(a, b, t):
    return tuple(a[k] + (b[k] - a[k]) * t for k in range(3))


def over(dst, src, alpha):
    return mix(dst, src, alpha)


# ---------------------------------------------------------------------------
# Rendering with supersampling.

def render(size, paint, samples):
    """paint(x, y) -> (r, g, b, a) with 0..255 colour and 0..1 alpha, or None
    where nothing is drawn. Returns rows of (r, g, b, coverage) with
    coverage 0..1 and the colour averaged over the covered samples."""
    step = 1.0 / samples
    offsets = [(k + 0.5) * step for k in range(samples)]
    total = samples * samples
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            acc_r = acc_g = acc_b = acc_a = 0.0
            for oy in offsets:
                for ox in offsets:
                    c = paint(i + ox, j + oy)
                    if c is None:
                        continue
                    r, g, b, a = c
                    acc_r += r * a
                    acc_g += g * a
                    acc_b += b * a
                    acc_a += a
            if acc_a == 0.0:
                row.append((0.0, 0.0, 0.0, 0.0))
            else:
                row.append((acc_r / acc_a, acc_g / acc_a, acc_b / acc_a,
                            acc_a / total))
        rows.append(row)
    return rows


def byte(v):
    v = int(v + 0.5)
    return 0 if v < 0 else 255 if v > 255 else v


# ---------------------------------------------------------------------------
# The command bar's buttons.

CENTRE = 24.0
RADIUS = 23.0


def glossy_disc(top, bottom, rim):
    """Paint of a glossy disc: a vertical gradient, a darker rim, a soft
    glow at the bottom and a white gloss over the upper half."""
    inside = disc(CENTRE, CENTRE, RADIUS)
    top_of_disc = CENTRE - RADIUS

    def base(x, y):
        t = (y - top_of_disc) / (2 * RADIUS)
        c = mix(top, bottom, t)
        dx, dy = x - CENTRE, y - CENTRE
        d = math.sqrt(dx * dx + dy * dy)
        # a glow rising from the bottom edge
        gy = y - (CENTRE + RADIUS * 0.95)
        glow_d = math.sqrt(dx * dx + gy * gy)
        if glow_d < RADIUS * 0.75:
            c = over(c, top, 0.45 * (1.0 - glow_d / (RADIUS * 0.75)))
        # the rim darkens over the outer two pixels
        if d > RADIUS - 2.5:
            c = over(c, rim, min(1.0, (d - (RADIUS - 2.5)) / 2.0) * 0.85)
        return c
    return inside, base


def gloss(c, x, y):
    """The white highlight across the upper half of a disc."""
    gx, gy, rx, ry = CENTRE, CENTRE - 9.5, 17.5, 11.5
    u, v = (x - gx) / rx, (y - gy) / ry
    q = u * u + v * v
    if q > 1.0:
        return c
    t = (y - (gy - ry)) / (2 * ry)            # 0 at the gloss top, 1 at its bottom
    alpha = 0.72 * (1.0 - t) * (1.0 - t) + 0.04
    edge = 1.0 - q                             # soft sides
    if edge < 0.15:
        alpha *= edge / 0.15
    return over(c, WHITE, alpha)


def button(disc_colours, symbol_layers, shadow_shape):
    inside, base = glossy_disc(*disc_colours)

    def paint(x, y):
        if not inside(x, y):
            return BAR + (1.0,)
        c = base(x, y)
        if shadow_shape(x - 0.9, y - 1.1):
            c = over(c, (0, 40, 10), 0.38)
        for shape, colour in symbol_layers:
            if shape(x, y):
                c = colour
        c = gloss(c, x, y)
        return c + (1.0,)

    # Coverage of the disc alone decides where crimson stays.
    rows = render(BUTTON_SIZE, paint, 8)
    cover = render(BUTTON_SIZE, lambda x, y: (0, 0, 0, 1.0) if inside(x, y) else None, 8)
    pixels = []
    for j in range(BUTTON_SIZE):
        line = []
        for i in range(BUTTON_SIZE):
            if cover[j][i][3] == 0.0:
                line.append(CRIMSON)
            else:
                r, g, b, _ = rows[j][i]
                p = (byte(r), byte(g), byte(b))
                if p == CRIMSON:
                    raise SystemExit("a drawn pixel came out as the transparent colour")
                line.append(p)
        pixels.append(line)
    return pixels


def home_picture():
    roof = polygon([(24.0, 9.5), (38.5, 24.0), (9.5, 24.0)])
    chimney = rect(30.0, 11.0, 33.6, 20.0)
    body = rect(14.0, 23.0, 34.0, 37.5)
    house = union(roof, chimney, body)
    window = disc(24.0, 18.6, 2.7)
    door = union(rect(20.8, 29.0, 27.2, 37.5), disc(24.0, 29.0, 3.2))
    layers = [(house, WHITE), (window, (128, 128, 128)), (door, (0, 0, 0))]
    return button(((176, 228, 118), (72, 160, 64), (38, 110, 44)), layers, house)


def stop_picture():
    a, b, w = 14.5, 33.5, 4.0
    cross = union(capsule(a, a, b, b, w), capsule(b, a, a, b, w))
    return button(((110, 196, 96), (24, 118, 52), (14, 80, 34)), [(cross, WHITE)], cross)


def bmp24(pixels):
    """A bottom-up, uncompressed 24-bit BMP."""
    height, width = len(pixels), len(pixels[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 0, 0, 0, 0)
    return header + info + bytes(data)


# ---------------------------------------------------------------------------
# The application icon: a compass star on a pale green badge with a green
# ring. Drawn in a unit square and scaled to each size.

def icon_paint(size):
    s = float(size)
    c = 0.5 * s
    # Small icons get a relatively thicker ring so that it stays visible.
    ring = max(0.06 * s, 1.6)
    outer_r = 0.485 * s if size > 16 else 7.6
    outer = disc(c, c, outer_r)
    inner = disc(c, c, outer_r - ring)
    long_r, short_r = 0.41 * s, 0.27 * s
    # Small icons get a stouter star.
    waist = (0.15 if size <= 16 else 0.125 if size <= 32 else 0.11) * s
    w = waist * math.sqrt(0.5)

    # The four main points, each split along its axis into a dark and a
    # light facet, lit from the upper left.
    facets = [
        ((c, c - long_r), (c - w, c - w), (c, c), DARK_GREEN),    # north, left
        ((c, c - long_r), (c + w, c - w), (c, c), LIGHT_GREEN),   # north, right
        ((c + long_r, c), (c + w, c - w), (c, c), DARK_GREEN),    # east, top
        ((c + long_r, c), (c + w, c + w), (c, c), LIGHT_GREEN),   # east, bottom
        ((c, c + long_r), (c + w, c + w), (c, c), DARK_GREEN),    # south, right
        ((c, c + long_r), (c - w, c + w), (c, c), LIGHT_GREEN),   # south, left
        ((c - long_r, c), (c - w, c + w), (c, c), DARK_GREEN),    # west, bottom
        ((c - long_r, c), (c - w, c - w), (c, c), LIGHT_GREEN),   # west, top
    ]
    d = short_r * math.sqrt(0.5)
    hw = waist * 0.8
    minor = [
        ((c + d, c - d), (c, c - hw), (c, c), LIGHT_GREEN),
        ((c + d, c - d), (c + hw, c), (c, c), DARK_GREEN),
        ((c + d, c + d), (c + hw, c), (c, c), LIGHT_GREEN),
        ((c + d, c + d), (c, c + hw), (c, c), DARK_GREEN),
        ((c - d, c + d), (c, c + hw), (c, c), LIGHT_GREEN),
        ((c - d, c + d), (c - hw, c), (c, c), DARK_GREEN),
        ((c - d, c - d), (c - hw, c), (c, c), LIGHT_GREEN),
        ((c - d, c - d), (c, c - hw), (c, c), DARK_GREEN),
    ]
    minor_shapes = [(polygon([p, q, o]), col) for p, q, o, col in minor]
    main_shapes = [(polygon([p, q, o]), col) for p, q, o, col in facets]
    hub = disc(c, c, 0.045 * s)

    def paint(x, y):
        if not outer(x, y):
            return None
        if not inner(x, y):
            return DARK_GREEN + (1.0,)
        col = BAR
        if size >= 32:
            for shape, colour in minor_shapes:
                if shape(x, y):
                    col = mix(colour, BAR, 0.35)
        for shape, colour in main_shapes:
            if shape(x, y):
                col = colour
        if size > 16 and hub(x, y):
            col = BAR
        return col + (1.0,)
    return paint


def icon_image(size):
    rows = render(size, icon_paint(size), 8 if size <= 32 else 6 if size <= 64 else 4)
    return [[(byte(r), byte(g), byte(b), byte(a * 255.0)) if a > 0.0 else (0, 0, 0, 0)
             for r, g, b, a in row] for row in rows]


def png(rgba):
    height, width = len(rgba), len(rgba[0])
    raw = bytearray()
    for row in rgba:
        raw.append(0)
        for p in row:
            raw += bytes(p)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def ico(images):
    """An icon file of 32-bit DIB entries: BGRA rows bottom-up, followed by
    a 1-bit mask that is set where a pixel is fully transparent."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for rgba in images:
        size = len(rgba)
        xor = bytearray()
        mask = bytearray()
        mask_stride = ((size + 31) // 32) * 4
        for row in reversed(rgba):
            bits = bytearray(mask_stride)
            for i, (r, g, b, a) in enumerate(row):
                xor += bytes((b, g, r, a))
                if a == 0:
                    bits[i // 8] |= 0x80 >> (i % 8)
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                           len(xor) + len(mask), 0, 0, 0, 0)
        blob = info + bytes(xor) + bytes(mask)
        dim = 0 if size >= 256 else size
        entries.append(struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


# ---------------------------------------------------------------------------
# Text resources.

DESKTOP_ENTRY = """\
[Desktop Entry]
Type=Application
Name=Velastrom di Navigazione
GenericName=Cruscotto di navigazione
Comment=Avvia i prodotti TAV ROLENDI installati e ne mostra le novit\u00e0
Exec=VelastromNavigazione
Icon=velastrom-navigazione
Terminal=false
Categories=Utility;
"""

RESOURCE_SCRIPT = """\
// Resources of the Windows executable. Written by tools/make-resources.py;
// file names are relative to this folder.

LANGUAGE 0x10, 0x01  // Italian (Italy)

MAINICON ICON "VelastromNavigazione.ico"

HOME BITMAP "home.bmp"
STOP BITMAP "stop.bmp"

1 VERSIONINFO
FILEVERSION 4,0,0,174
PRODUCTVERSION 1,0,0,0
FILEFLAGSMASK 0x3F
FILEFLAGS 0x0
FILEOS 0x40004
FILETYPE 0x1
FILESUBTYPE 0x0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "041004E4"
    BEGIN
      VALUE "CompanyName", "TAV ROLENDI"
      VALUE "FileDescription", ""
      VALUE "FileVersion", "4.0.0.174"
      VALUE "InternalName", ""
      VALUE "LegalCopyright", ""
      VALUE "LegalTrademarks", ""
      VALUE "OriginalFilename", ""
      VALUE "ProductName", ""
      VALUE "ProductVersion", "1.0.0.0"
      VALUE "Comments", ""
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0410, 1252
  END
END
"""


def outputs():
    files = {
        "home.bmp": bmp24(home_picture()),
        "stop.bmp": bmp24(stop_picture()),
        "velastrom-navigazione.desktop": DESKTOP_ENTRY.encode("utf-8"),
        "VelastromNavigazione.rc": RESOURCE_SCRIPT.encode("ascii"),
    }
    images = [icon_image(n) for n in ICON_SIZES]
    for n, image in zip(ICON_SIZES, images):
        files[f"icons/hicolor/{n}x{n}/apps/velastrom-navigazione.png"] = png(image)
    files["VelastromNavigazione.ico"] = ico(images)
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the files on disk instead of writing")
    parser.add_argument("--out", help="folder to write (default: resources/)")
    args = parser.parse_args()
    root = args.out or os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                    os.pardir, "resources")
    root = os.path.normpath(root)

    files = outputs()
    if args.check:
        different = []
        for name, data in sorted(files.items()):
            path = os.path.join(root, name)
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                different.append(name)
        for name in different:
            print(f"differs or missing: {os.path.join(root, name)}")
        return 1 if different else 0

    for name, data in sorted(files.items()):
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
