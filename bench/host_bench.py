#!/usr/bin/python3
"""The stand-in on generated DXF drawings of 10,000 and 100,000 LINEs (and as many other
entities) against the tool's runs over the same lines and cp of the file: medians of wall
time and peak memory. Usage: host_bench.py LINETILT_HOST LINETILT [RUNS]"""
import os, statistics, subprocess, sys, tempfile, time

HOST, TOOL = map(os.path.abspath, sys.argv[1:3])
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 9
PER_RUN = 24999  # lines in one exchange file: 50000 records with hq and the point


def drawing(lines):
    out = ["  0\nSECTION\n  2\nENTITIES\n"]
    for i in range(lines):
        x, y = i % 1000 * 1.25, i // 1000 * 2.5
        out.append(f"  0\nLINE\n  5\n{i + 256:X}\n  8\nwalls\n 10\n{x}\n 20\n{y}\n 30\n0.0\n 11\n{x + 0.75}\n 21\n"
                   f"{y + 1.5}\n 31\n0.0\n  0\nCIRCLE\n  8\nmarks\n 10\n{x}\n 20\n{y}\n 30\n0.0\n 40\n0.2\n")
    out.append("  0\nENDSEC\n  0\nEOF\n")
    return "".join(out)


def measure(command, cwd, before=None):
    """Wall time and peak resident memory of one run of `command`, by GNU time: a child that
    Python starts would report Python's own memory as its peak."""
    if before:
        before()
    start = time.perf_counter()
    run = subprocess.run(["/usr/bin/time", "-f", "%M", *command], cwd=cwd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True)
    elapsed = time.perf_counter() - start
    if run.returncode != 0:
        sys.exit(f"{command} failed: {run.stderr}")
    return elapsed, int(run.stderr.split()[-1]) / 1024


print("| LINEs | bytes | stand-in median | peak memory | tool runs (sum) | tool peak memory | cp median "
      "| stand-in minus tool |")
print("|--:|--:|--:|--:|--:|--:|--:|--:|")
for lines in (10000, 100000):
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "drawing.dxf")
        with open(path, "w") as f:
            f.write(drawing(lines))
        host = [measure([HOST, path, "--at", "0,0", "-o", "new.dxf"], work) for _ in range(RUNS)]
        # The same lines as the stand-in hands them to the tool, run after run.
        batches = []
        for start in range(0, lines, PER_RUN):
            records = ["hq", "hp1ln 0 0"]
            for i in range(start, min(lines, start + PER_RUN)):
                x, y = i % 1000 * 1.25, i // 1000 * 2.5
                records += [f"#linetilt-host line {i}", f" {x} {y} {x + 0.75} {y + 1.5}"]
            batches.append("\r\n".join(records) + "\r\n")
        tool = []
        for _ in range(RUNS):
            total, peak = 0, 0
            for batch in batches:
                put = lambda: open(os.path.join(work, "qxc_temp.txt"), "w", newline="").write(batch)
                t, m = measure([TOOL], work, put)
                total, peak = total + t, max(peak, m)
            tool.append((total, peak))
        copy = [measure(["cp", path, "copy.dxf"], work) for _ in range(RUNS)]
        med = lambda runs, i: statistics.median(r[i] for r in runs)
        print(f"| {lines} | {os.path.getsize(path)} | {med(host, 0) * 1000:.1f} ms | {med(host, 1):.1f} MiB "
              f"| {med(tool, 0) * 1000:.1f} ms ({len(batches)} runs) | {med(tool, 1):.1f} MiB "
              f"| {med(copy, 0) * 1000:.1f} ms | {(med(host, 0) - med(tool, 0)) * 1000:.1f} ms |")
