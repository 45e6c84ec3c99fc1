"""Reads a screenshot and reports on the game picture inside it.

  geometry FILE              -> "left top width height palette_ok"
  count FILE X Y W H INDEX   -> how many picture pixels (160 x 144 grid) in the
                                rectangle have palette colour INDEX
  blocks FILE X0 Y0 SCALE    -> 1 when every picture pixel is a uniform SCALE x SCALE block
  solid FILE INDEX N         -> how many N x N squares of the picture are all colour INDEX
  same FILE X0 Y0 X1 Y1      -> 1 when the 4 x 8 cream glyph cells at (X0, Y0) and (X1, Y1)
                                are equal and not empty, else 0
"""
import subprocess
import sys

PALETTE = [(255, 204, 169), (255, 0, 77), (62, 0, 165), (16, 29, 52)]
# The window clear rounds the float colour to bytes, one step off the palette texel.
BAR = (63, 0, 166)


def load(path):
    size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True, check=True)
    w, h = map(int, size.stdout.split())
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return w, h, raw


def px(img, x, y):
    w, _, raw = img
    i = (y * w + x) * 3
    return tuple(raw[i:i + 3])


def geometry(img):
    w, h, _ = img
    # The picture spans the full height; its sides are where bar columns stop.
    left = 0
    while left < w and all(px(img, left, y) == BAR for y in range(0, h, 7)):
        left += 1
    right = w
    while right > left and all(px(img, right - 1, y) == BAR for y in range(0, h, 7)):
        right -= 1
    return left, 0, right - left, h


def picture_rect(img):
    w, h, _ = img
    pw = round(h * 160 / 144)
    return (w - pw) // 2, 0, pw, h


def main():
    cmd, path = sys.argv[1], sys.argv[2]
    img = load(path)
    w, h, _ = img
    if cmd == "geometry":
        left, top, pw, ph = picture_rect(img)
        ok = all(px(img, x, y) in PALETTE for y in range(h) for x in range(max(0, left), min(w, left + pw)))
        bars = all(px(img, x, y) == BAR for y in range(0, h, 3) for x in list(range(0, max(0, left))) + list(range(left + pw, w)))
        print(left, top, pw, ph, int(ok), int(bars))
    elif cmd == "count":
        x, y, cw, ch, index = map(int, sys.argv[3:8])
        left, top, pw, ph = picture_rect(img)
        sx, sy = pw / 160, ph / 144
        n = 0
        for gy in range(y, y + ch):
            for gx in range(x, x + cw):
                if px(img, int(left + (gx + 0.5) * sx), int(top + (gy + 0.5) * sy)) == PALETTE[index]:
                    n += 1
        print(n)
    elif cmd == "blocks":
        x0, y0, s = map(int, sys.argv[3:6])
        for gy in range(144):
            for gx in range(160):
                c = px(img, x0 + gx * s, y0 + gy * s)
                for dy in range(s):
                    for dx in range(s):
                        if px(img, x0 + gx * s + dx, y0 + gy * s + dy) != c:
                            print(0, gx, gy)
                            return
        print(1)
    elif cmd == "solid":
        index, n = map(int, sys.argv[3:5])
        left, top, pw, ph = picture_rect(img)
        sx, sy = pw / 160, ph / 144
        grid = [[px(img, int(left + (gx + 0.5) * sx), int(top + (gy + 0.5) * sy)) == PALETTE[index]
                 for gx in range(160)] for gy in range(144)]
        count = 0
        for gy in range(144 - n + 1):
            for gx in range(160 - n + 1):
                if all(grid[gy + dy][gx + dx] for dy in range(n) for dx in range(n)):
                    count += 1
        print(count)
    elif cmd == "same":
        x0, y0, x1, y1 = map(int, sys.argv[3:7])
        left, top, pw, ph = picture_rect(img)
        sx, sy = pw / 160, ph / 144

        def glyph(gx, gy):
            return [[px(img, int(left + (gx + x + 0.5) * sx), int(top + (gy + y + 0.5) * sy)) == PALETTE[0]
                     for x in range(4)] for y in range(8)]
        a, b = glyph(x0, y0), glyph(x1, y1)
        print(int(a == b and any(any(r) for r in a)))
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main()
