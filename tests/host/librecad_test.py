#!/usr/bin/python3
"""LibreCAD draws the example before and after the stand-in turned its walls and doors: the
pictures differ along the turned lines and nowhere else. Usage: librecad_test.py HOST EXAMPLE"""
import io, math, os, subprocess, sys, tempfile

from ezdxf import recover


def gray(pdf):
    """The PDF's page as rows of gray bytes, through pdftoppm's PGM."""
    subprocess.run(["pdftoppm", "-gray", "-singlefile", "-scale-to", "700", pdf, pdf[:-4]], check=True)
    data = open(pdf[:-4] + ".pgm", "rb").read()
    magic, width, height, depth, pixels = data.split(maxsplit=4)
    width, height = int(width), int(height)
    return width, height, pixels[:width * height]


def distance(p, a, b):
    (px, py), (ax, ay), (bx, by) = p, a, b
    length = (bx - ax) ** 2 + (by - ay) ** 2
    t = max(0, min(1, ((px - ax) * (bx - ax) + (py - ay) * (by - ay)) / length)) if length else 0
    return math.hypot(px - ax - t * (bx - ax), py - ay - t * (by - ay))


with tempfile.TemporaryDirectory() as work:
    before, after = os.path.join(work, "before.dxf"), os.path.join(work, "after.dxf")
    open(before, "wb").write(open(sys.argv[2], "rb").read())
    # The frame stays, so that LibreCAD fits both drawings to the page alike.
    subprocess.run([sys.argv[1], before, "--at", "0,0", "--layer", "walls", "--layer", "doors", "-o", after],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["librecad", "dxf2pdf", "-a", "-m", "-t", work, before, after], check=True,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"), capture_output=True)
    (width, height, old), (_, _, new) = gray(before[:-4] + ".pdf"), gray(after[:-4] + ".pdf")

    # The frame (-100, -70) to (100, 70) is the outermost drawn thing: it gives the scale.
    dark = [i for i, v in enumerate(old) if v < 128]
    xs, ys = [i % width for i in dark], [i // width for i in dark]
    left, right, top, bottom = min(xs), max(xs), min(ys), max(ys)
    pixel = lambda x, y: (left + (x + 100) / 200 * (right - left), bottom - (y + 70) / 140 * (bottom - top))

    docs = [recover.read(io.BytesIO(open(f, "rb").read()))[0] for f in (before, after)]
    moved = []
    for line in docs[0].modelspace().query("LINE"):
        turned = docs[1].entitydb[line.dxf.handle]
        if turned.dxf.start != line.dxf.start or turned.dxf.end != line.dxf.end:
            moved += [(pixel(e.dxf.start.x, e.dxf.start.y), pixel(e.dxf.end.x, e.dxf.end.y)) for e in (line, turned)]
    changed = [(i % width, i // width) for i, (u, v) in enumerate(zip(old, new)) if abs(u - v) > 96]
    stray = [p for p in changed if min(distance(p, a, b) for a, b in moved) > 4]
    near = [sum(distance(p, a, b) <= 4 for p in changed) for a, b in moved[1::2]]
    print(f"{len(moved) // 2} lines turned, {len(changed)} pixels changed, {len(stray)} away from them, near each: {near}")
    sys.exit(0 if len(moved) == 10 and not stray and min(near) >= 20 else 1)
