#!/usr/bin/python3
"""DXF drawings through the stand-in, checked against an independent reader (ezdxf) and
pair by pair. Usage: dxf_test.py --tool HOST [--runner CMD] [--corpus DIR --every N]"""
import argparse, glob, io, os, re, subprocess, sys, tempfile, time

import ezdxf
from ezdxf import recover

ap = argparse.ArgumentParser()
ap.add_argument("--tool", required=True)
ap.add_argument("--runner", default="")
ap.add_argument("--corpus")
ap.add_argument("--every", type=int, default=1)
opts = ap.parse_args()
HOST = opts.runner.split() + [os.path.abspath(opts.tool)]
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.join(HERE, "../../examples/drawing.dxf")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)
    return ok


def host(dxf_bytes, *args, name="in.dxf"):
    """Runs the stand-in on DXF_BYTES in a scratch directory: (status, stdout, stderr, output or None)."""
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, name), "wb") as f:
            f.write(dxf_bytes)
        # Files, not pipes: under Wine, Wine's own processes that outlive the run inherit its pipes.
        with open(os.path.join(work, "stdout"), "w+b") as out, open(os.path.join(work, "stderr"), "w+b") as err:
            for attempt in range(2):
                out.seek(0), out.truncate(), err.seek(0), err.truncate()
                status = subprocess.run(HOST + [name, "-o", "out.dxf", *args], cwd=work, stdout=out, stderr=err,
                                        timeout=600).returncode
                # Wine under load now and then fails to start a process ("Internal error"): once more.
                err.seek(0)
                if not (opts.runner and status == 1 and b"cannot be started: Internal error" in err.read()):
                    break
            texts = [f.seek(0) or f.read().decode(errors="replace").replace("\r\n", "\n") for f in (out, err)]
        host.files = {name: open(os.path.join(work, name), "rb").read() for name in os.listdir(work)}
        path = os.path.join(work, "out.dxf")
        return status, *texts, open(path, "rb").read() if os.path.exists(path) else None


def pairs(data):
    """(code, value line index) of every pair up to EOF, and the lines with their ends."""
    lines = data.split(b"\n")
    result = []
    for i in range(0, len(lines) - 1, 2):
        code, value = int(lines[i].strip(b"\r\xef\xbb\xbf ")), lines[i + 1].strip(b"\r ")
        result.append((code, value, i + 1))
        if code == 0 and value == b"EOF":
            break
    return result, lines


def changeable(data, layers):
    """Line indexes of the 10/20/11/21 values of the model-space LINEs of ENTITIES (on LAYERS)."""
    result, section, entity, prev = set(), None, None, None
    found, _ = pairs(data)
    for code, value, at in found + [(0, b"EOF", None)]:
        if code == 0:
            if entity and entity["type"] == b"LINE" and entity["67"] != b"1" and (
                    not layers or entity["8"].lower() in layers):
                result |= entity["at"]
            entity = {"type": value, "67": b"0", "8": b"", "at": set(), "x": False} if section == b"ENTITIES" else None
        elif prev == (0, b"SECTION") and code == 2:
            section = value
        elif entity is not None:
            entity["x"] |= code == 1001
            if code in (10, 20, 11, 21) and not entity["x"]:
                entity["at"].add(at)
            elif code in (8, 67) and not entity["x"]:
                entity[str(code)] = value
        if code == 0 and value == b"ENDSEC":
            section = None
        prev = (code, value)
    return result


def compare(before, after, layers=(), what=""):
    """Only the selected LINE values changed, each to a number; ezdxf reads the result alike."""
    a, al = pairs(before)[1], pairs(after)[1]
    if not check(len(a) == len(al), f"{what}: line count"):
        return
    allowed = changeable(before, set(l.lower() if isinstance(l, bytes) else l.lower().encode() for l in layers))
    for i, (x, y) in enumerate(zip(a, al)):
        if x != y and not check(i in allowed and re.fullmatch(rb"-?[0-9.]+(e[-+][0-9]+)?\r?", y),
                                f"{what}: line {i + 1} changed: {x!r} -> {y!r}"):
            return
    try:
        docs = [recover.read(io.BytesIO(before))]
    except Exception as e:  # a reader's fault on some inputs; the pairs are checked all the same
        print(f"{what}: ezdxf cannot read the input: {e!r:.80}")
        return 0
    docs.append(recover.read(io.BytesIO(after)))
    check(len(docs[1][1].errors) <= len(docs[0][1].errors), f"{what}: ezdxf finds more errors")
    turned = 0
    for e in docs[0][0].entitydb.values():
        f = docs[1][0].entitydb.get(e.dxf.handle)
        if not check(f is not None and f.dxftype() == e.dxftype(), f"{what}: entity {e.dxf.handle} lost"):
            return
        x, y = e.dxf.all_existing_dxf_attribs(), f.dxf.all_existing_dxf_attribs()
        if e.dxftype() == "LINE" and x != y:
            turned += 1
            # Each end stays itself, its Z with it: the pivot end does not move, the other
            # moves by a fraction of the line's length.
            (s0, e0), (s1, e1) = (x["start"], x["end"]), (y["start"], y["end"])
            check(s0.distance(s1) + e0.distance(e1) <= s0.distance(e1) + e0.distance(s1),
                  f"{what}: LINE {e.dxf.handle} came back reversed")
            check((s1.z, e1.z) == (s0.z, e0.z), f"{what}: LINE {e.dxf.handle} Z changed")
            x = {k: v for k, v in x.items() if k not in ("start", "end")}
            y = {k: v for k, v in y.items() if k not in ("start", "end")}
        check(x == y, f"{what}: entity {e.dxf.handle} attributes differ")
    return turned


def example_cases():
    example = open(EXAMPLE, "rb").read()
    crlf = example.replace(b"\n", b"\r\n").replace(b"Layout1", b"Lay\xe9out1")
    for data, args, layers in [(example, [], ()), (crlf, ["--layer", "WALLS", "--layer", "Doors"], ("walls", "doors")),
                               (example, ["--layer", "frame"], ("frame",))]:
        status, out, err, result = host(data, "--at", "5,5", *args, "--svg", "p.svg")
        if check(status == 0 and result, f"example {args}: status {status} {err}"):
            m = re.match(r"(\d+) lines selected, (\d+) turned", out)
            doc = recover.read(io.BytesIO(data))[0]
            lines = [e for e in doc.modelspace().query("LINE") if not layers or e.dxf.layer.lower() in layers]
            check(m and int(m[1]) == len(lines), f"example {args}: {out}")
            compare(data, result, layers, f"example {args}")
            # Drawn: the nine model-space lines; not drawn: the arc, the text, the insert, the paper-space line.
            svg = host.files["p.svg"].decode()
            check(svg.count('class="after"') == 9 and "4 other entities not drawn" in svg, "example picture")


R12 = "  0\nSECTION\n  2\nENTITIES\n{}  0\nENDSEC\n  0\nEOF\n"


def line(x1, y1, x2, y2, extra=""):
    return f"  0\nLINE\n  8\n0\n{extra} 10\n{x1}\n 20\n{y1}\n 11\n{x2}\n 21\n{y2}\n"


def refusals():
    good = R12.format(line(0, 0, 10, 0))
    for data, args, status, message in [
            (b"AutoCAD Binary DXF\r\n\x1a\x00" + bytes(40), [], 3, "save it as ASCII DXF"),
            (good[:good.index("ENDSEC") - 4].encode(), [], 3, "truncated"),
            (good[:good.index("ENDSEC")].encode(), [], 3, "truncated"),
            (R12.format(line("abc", 0, 10, 0)).encode(), [], 3, "not a number"),
            (R12.format(line("1e999", 0, 10, 0)).encode(), [], 3, "not a number"),
            (R12.format(line("+-2", 0, 10, 0)).encode(), [], 3, "not a number"),
            (R12.format(line(0, 0, 10, 0).replace(" 21\n0\n", "")).encode(), [], 3, "it has no group 21"),
            (R12.format(line(0, 0, 10, 0, " 10\n3\n")).encode(), [], 3, "in.dxf:5: LINE: it has group 10 twice"),
            (R12.format(line(0, 0, 10, 0).replace(" 11\n", " 11x\n")).encode(), [], 3, "line 13 is not a group code"),
            (R12.format(line(0, 0, 10, 0).replace(" 11\n", "\n")).encode(), [], 3, "line 13 is not a group code"),
            (open(EXAMPLE, "rb").read(), ["--handle", "FFFF"], 2, "--handle FFFF"),
            (open(EXAMPLE, "rb").read(), ["--handle", "36,45"], 2, "--handle 45"),  # 45: the paper-space line
            (open(EXAMPLE, "rb").read(), ["--handle", "36", "--layer", "doors"], 2, "--handle 36"),
            (open(EXAMPLE, "rb").read(), ["--layer", "walls", "--layer", "wals"], 2, "--layer wals"),
            (open(EXAMPLE, "rb").read(), ["--handle", "36", "--layer", "walls", "--layer", "doors"], 2, "--layer doors"),
            (good.encode(), ["--select", "3"], 2, "--select 3: in.dxf has no LINE at line 3"),
            (open(EXAMPLE, "rb").read(), ["--select", "2243,2515"], 2, "--select 2515"),  # the paper-space line
            (open(EXAMPLE, "rb").read(), ["--select", "2243", "--layer", "doors"], 2, "--select 2243")]:
        got, out, err, result = host(data, "--at", "0,0", *args)
        check(got == status and message in err and result is None, f"refusal {message}: {got} {err}")


def readings():
    """Drawings read as ezdxf reads them: its LINEs are selected and turned alike."""
    plain = R12.format(line(0, 0, 10, 0))
    ends = lambda data: [(e.dxf.start, e.dxf.end) for e in
                         ezdxf.read(io.StringIO(data.decode(), newline=None)).modelspace().query("LINE")]
    expected = host(plain.encode(), "--at", "0,0")[3]
    for what, data in [
            ("a comment before the section's name", plain.replace("SECTION\n", "SECTION\n999\nhides nothing\n")),
            ("comments everywhere", plain.replace("\n 10\n", "\n999\n 11\n 10\n").replace("ENDSEC\n", "ENDSEC\n999\n\n")),
            ("a group code with a plus sign", plain.replace(" 10\n", "+10\n")),
            ("CR alone as the line end", plain.replace("\n", "\r"))]:
        status, out, err, result = host(data.encode(), "--at", "0,0")
        check(status == 0 and out.startswith("1 lines selected, 1 turned") and ends(result) == ends(expected)
              and len(ends(data.encode())) == 1, f"{what}: {status} {out}{err}")
    check(result == expected.replace(b"\n", b"\r"), "CR alone: the line ends kept")
    # Record text in CR alone, written back so.
    status, out, err, result = host(b"lc2\r 0 0 10 0\r# walls\r", "--at", "0,0", name="in.txt")
    check(status == 0 and result is not None and b"\n" not in result and result.endswith(b"\r# walls\r"),
          f"record text in CR: {status} {err} {result!r}")


def exact_and_batched():
    # Three lines meet at P, written in 16 digits: the first starts there, the second ends there,
    # the third, drawn right to left, ends there too. Each keeps P's bytes, whichever end of
    # the tool's it is; the other end is the tool's. A group code with a blank after it is read.
    p = ("0.1234567890123456", "0.6543210987654321")
    meeting = line(*p, 5, 5).replace(" 21\n", " 21 \n") + line(-5, 1, *p) + line(5, -5, *p)
    status, out, err, result = host(R12.format(meeting).encode(), "--at", "0.1,0.6")
    start = f" 10\n{p[0]}\n 20\n{p[1]}\n 11\n4.171295129167\n".encode()
    end = f"\n 11\n{p[0]}\n 21\n{p[1]}\n".encode()
    check(status == 0 and start in result and result.count(end) == 2 and b"-4.862136667773\n" in result
          and "pivots: 2 first end, 0 midpoint, 1 second end" in out and "millionth" not in out, f"exact: {out}{err}")
    # In units of 1e-9 the twelve decimals change a line's length by some per cent: said.
    status, out, err, result = host(R12.format(line(0, 0, "1.234567e-9", "0.5e-9")).encode(), "--at", "0,0")
    check(status == 0 and "\nlines whose length changed by more than a millionth: 1 (" in out
          and b" 10\n0\n 20\n0\n 11\n0.000000001129\n" in result, f"small units: {out}{err}")
    # Named by handle (in any case), whatever the file's name; a line of no length stays, counted.
    status, out, err, result = host(open(EXAMPLE, "rb").read(), "--at", "0,0", "--handle", "3a,0036", name="d.txt")
    check(status == 0 and out.startswith("2 lines selected, 2 turned"), f"handles: {out}{err}")
    # Named by the line number its messages give it: R12 LINEs have no handle. With --handle,
    # the lines either names.
    rows = [line(0, 0, 10, 0), line(0, 5, 10, 5), line(0, 9, 10, 9)]
    status, out, err, result = host(R12.format("".join(rows)).encode(), "--at", "0,0", "--select", "17")
    check(status == 0 and out.startswith("1 lines selected, 1 turned") and result.startswith(b"  0\nSECTION")
          and (rows[0] + rows[1]).encode() not in result and (rows[0]).encode() in result
          and rows[2].encode() in result, f"--select on DXF: {out}{err}")
    status, out, err, result = host(open(EXAMPLE, "rb").read(), "--at", "0,0", "--handle", "3a", "--select", "2243")
    check(status == 0 and out.startswith("2 lines selected, 2 turned"), f"--handle and --select: {out}{err}")
    # A line of no length stays, counted as dropped; one too short for the tool's twelve decimals,
    # which comes back with both ends equal, stays as it was too, counted on its own line.
    # A coordinate too small for a double is read as 0.
    short = line(0, 0, "1e-13", 0)
    status, out, err, result = host(R12.format(line(5, 5, 5, 5) + short + line("1e-330", 0, 1, 0)).encode(),
                                    "--at", "0,0")
    check(", 1 turned by 10 degrees, 1 dropped" in out and "\n1 left as they were" in out
          and line(5, 5, 5, 5).encode() + short.encode() in result and b"\n0.984807753012\n" in result, f"dropped: {out}{err}")
    # A 3D line drawn from right to left keeps its direction, and each end its Z: the start
    # (10, 0, 5) is the pivot nearest (100, 100) and stays where it was.
    status, out, err, result = host(R12.format(line(10, 0, 0, 0).replace(" 11\n", " 30\n5\n 11\n")).encode(),
                                    "--at", "100,100")
    check(status == 0 and b" 10\n10\n 20\n0\n 30\n5\n 11\n0.151922469878\n" in result,
          f"3D line: {out}{err}{result}")
    # 60,000 lines take three runs of the tool, and each line turns as it would alone.
    shapes = [line(i, -i, 3 * i + 1, i * i) for i in range(10)]
    alone = host(R12.format("".join(shapes)).encode(), "--at", "2,3")[3]
    status, out, err, many = host(R12.format("".join(shapes) * 6000).encode(), "--at", "2,3")
    body = lambda d: d[d.index(b"ENTITIES") + 9:d.index(b"  0\nENDSEC")]
    check(status == 0 and "runs of the tool: 3" in out and body(many) == body(alone) * 6000, f"batches: {out}{err}")
    if opts.runner:
        return
    # The second of three runs fails, while the third is made ready: nothing is written, and
    # no scratch directory is left behind.
    with tempfile.TemporaryDirectory() as temporary:
        tool = os.path.join(temporary, "tool.sh")
        with open(tool, "w") as f:
            f.write(f'#!/bin/sh\necho >> "{temporary}/runs"\n[ "$(wc -l < "{temporary}/runs")" -lt 2 ] || exit 7\n'
                    f'exec "{os.path.join(os.path.dirname(HOST[-1]), "linetilt")}" "$@"\n')
        os.chmod(tool, 0o755)
        os.environ["TMPDIR"] = temporary
        status, out, err, result = host(R12.format("".join(shapes) * 6000).encode(), "--at", "2,3", "--tool", tool)
        del os.environ["TMPDIR"]
        left = sorted(set(os.listdir(temporary)) - {"tool.sh", "runs"})
        check(status == 1 and "(status 7)" in err and result is None and not left, f"later run: {status} {err} {left}")


def time_limit():
    """Windows: the time limit ends the tool's job object, a child of the tool's included."""
    start = time.monotonic()
    status, out, err, result = host(R12.format(line(0, 0, 10, 0)).encode(), "--at", "0,0", "--tool",
                                    "C:\\windows\\system32\\cmd.exe", "--timeout", "3", "--", "/c", "ping", "-n", "90", "127.0.0.1")
    alive = []  # the ping, should it have outlived its tool
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            alive += [pid] if b"127.0.0.1" in open(f"/proc/{pid}/cmdline", "rb").read() else []
        except OSError:
            pass
    check(status == 1 and "stopped after the time limit" in err and result is None and time.monotonic() - start < 45
          and not alive, f"time limit: status {status} {err} {alive}")


def corpus(directory, every):
    files = sorted(glob.glob(os.path.join(directory, "**/*.dxf"), recursive=True))[::every]
    counts = {"files": 0, "selected": 0, "turned": 0, "refused": 0}
    for path in files:
        data = open(path, "rb").read()
        status, out, err, result = host(data, "--at", "0,0", name="in.dxf")
        counts["files"] += 1
        if status == 3 and result is None:
            counts["refused"] += 1
            print(f"{path}: refused: {err.strip()}")
            continue
        if check(status == 0 and result is not None, f"{path}: status {status} {err}"):
            m = re.match(r"(\d+) lines selected, (\d+) turned", out)
            counts["selected"] += int(m[1])
            counts["turned"] += int(m[2])
            compare(data, result, (), path)
    print("corpus:", counts)


def japanese():
    """Names in the drawing's code page: ezdxf's drawings in Shift_JIS, in \\U+ escapes (its
    way in ANSI_1252) and in UTF-8; escapes of \\M+, code-page-932-only characters and a byte
    that begins no character, in drawings of our own. Only the chosen layer's lines change."""
    counts = {"壁": 3, "建具": 2, "通り芯": 1}
    for version, encoding in [("R12", "cp932"), ("R2000", "cp932"), ("R2004", "cp932"), ("R2000", None),
                              ("R2018", None)]:
        doc = ezdxf.new(version)
        if encoding:
            doc.encoding = encoding
        for name, count in counts.items():
            doc.layers.add(name)
            for i in range(count):
                doc.modelspace().add_line((i, 0), (i + 10, 5), dxfattribs={"layer": name})
        doc.modelspace().add_line((0, 0), (1, 1))
        with tempfile.TemporaryDirectory() as work:
            doc.saveas(os.path.join(work, "d.dxf"))
            data = open(os.path.join(work, "d.dxf"), "rb").read()
        written = "cp932" if encoding else "utf-8" if version == "R2018" else "escapes"
        for name, count in counts.items():
            raw = name.encode(written) if written != "escapes" else "".join(f"\\U+{ord(c):04x}" for c in name).encode()
            check(raw in data, f"{version} {written}: {name} is not written as {raw}")
            status, out, err, result = host(data, "--at", "0,0", "--layer", name)
            if check(status == 0 and out.startswith(f"{count} lines selected"), f"{version} {written} {name}: {err}"):
                compare(data, result, (raw,), f"{version} {written} {name}")
    header = "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1015\n  9\n$DWGCODEPAGE\n  3\nANSI_{}\n  0\nENDSEC\n"
    # ～－∥ as code page 932 has them, an NEC and an IBM extension (twice), an escape of 壁
    # from code page 932, an unassigned pair whose first byte shows as \\x85, and bytes that
    # Windows alone reads, as a user-defined character and a control: shown as bytes everywhere.
    own = [(b"\x81\x60\x81\x7c\x81\x61\x87\x40\xed\x40\xfa\x5c", "～－∥①纊纊"),
           (b"\\M+195C7\\U+5efa", "壁建"), (b"\x85\x40A", "\\x85@a"), (b"\xf0\x40\x80", "\\xF0@\\x80")]
    # The version in small letters is the same version.
    data = (header.format(932).replace("AC1015", "ac1015") + R12[:-len("  0\nEOF\n")].format("".join(
        line(0, 0, 1, 1).replace("  8\n0\n", "  8\n{}\n") for _ in own)) + "  0\nEOF\n")
    data = data.encode().replace(b"{}", b"%b") % tuple(raw for raw, _ in own)
    for raw, name in own:
        status, out, err, result = host(data, "--at", "0,0", "--layer", name)
        if check(status == 0 and out.startswith("1 lines selected"), f"own name {name}: {err}"):
            compare(data, result, (raw,), f"own name {name}")
    # Every character of every code page, as names of 60: each selects its line on every build.
    python = {874: "cp874", 932: "cp932", 936: "gbk", 949: "cp949", 950: "cp950"}
    for page in (874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258):
        units = [bytes([b]) for b in range(0x80, 0x100)]
        if page in (932, 936, 949, 950):
            units = [u for u in units if u[0] in (0x80, 0xA0) or u[0] > 0xFC or (page == 932 and 0xA0 <= u[0] < 0xE0)]
            units += [bytes([a, t]) for a in range(0x81, 0xFF) for t in range(0x40, 0xFF)
                      if page != 932 or not 0xA0 <= a < 0xE0]
        names, raws, chars, raw = [], [], "", b""
        for unit in units:
            char = decoded(page, python.get(page, f"cp{page}"), unit)
            if char:
                chars, raw = chars + char, raw + unit
            if len(chars) == 60 or (unit == units[-1] and chars):
                names.append(chars), raws.append(raw)
                chars, raw = "", b""
        data = (header.format(page) + R12[:-len("  0\nEOF\n")].format("".join(
            line(0, 0, 1, 1).replace("  8\n0\n", "  8\n{}\n") for _ in raws)) + "  0\nEOF\n")
        data = data.encode().replace(b"{}", b"%b") % tuple(raws)
        print(f"code page {page}: {len(names)} names of 60 characters")
        for first in range(0, len(names), 80):  # a Windows command line holds 32,767 characters
            group = names[first:first + 80]
            status, out, err, _ = host(data, "--at", "0,0", *[w for n in group for w in ("--layer", n)])
            check(status == 0 and out.startswith(f"{len(group)} lines selected"), f"code page {page}: {err[:300]}")


def decoded(page, codec, unit):
    """What Windows reads for UNIT in PAGE, by Python's codec and where Windows differs from it;
    None for no character, or one of the private use area or a C1 control."""
    if (page, unit) == (936, b"\x80"):
        return "\u20ac"
    if (page, unit) == (1255, b"\xca"):
        return "\u05ba"
    if page == 950 and b"\xc6\xa1" <= unit <= b"\xc8\xfe":
        return None  # the ETEN extensions, which Windows leaves to the private use area
    try:
        char = unit.decode(codec)
    except UnicodeDecodeError:
        return None
    return char if len(char) == 1 and not (0x80 <= ord(char) <= 0x9F or 0xE000 <= ord(char) <= 0xF8FF) else None


example_cases()
refusals()
readings()
exact_and_batched()
japanese()
if opts.runner:
    time_limit()
if opts.corpus:
    corpus(opts.corpus, opts.every)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
