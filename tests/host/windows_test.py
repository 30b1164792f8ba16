#!/usr/bin/python3
"""The Windows stand-in under Wine as its users have it: folders and names in Japanese or with
accents, devices, long paths, a target held open for a moment. Every run goes through cmd
with a TEMP of its own, which must be empty afterwards.
Usage: windows_test.py --tool LINETILT-HOST.EXE --runner WINE [--locale ja_JP.UTF-8]"""
import argparse, concurrent.futures, glob, os, pty, re, select, shutil, signal, subprocess, sys, tempfile, time

ap = argparse.ArgumentParser()
ap.add_argument("--tool", required=True)
ap.add_argument("--runner", required=True)
ap.add_argument("--locale", default="C.UTF-8")
opts = ap.parse_args()
BUILD = os.path.dirname(os.path.abspath(opts.tool))
WINE = opts.runner.split()
failures = []
env = dict(os.environ, LC_ALL=opts.locale)
if subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower().find(
        opts.locale.lower().replace("utf-8", "utf8")) < 0:
    # No such locale on this machine: made from the system's sources into a folder of the test's own.
    env["LOCPATH"] = tempfile.mkdtemp(prefix="locale-")
    name, charset = opts.locale.split(".")
    # Its status may be 1 for warnings alone: the locale made is what counts.
    subprocess.run(["localedef", "-i", name, "-f", charset, os.path.join(env["LOCPATH"], opts.locale)])
    if not os.path.isdir(os.path.join(env["LOCPATH"], opts.locale)):
        sys.exit(f"cannot make the locale {opts.locale}: localedef needs Debian's locales package")


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)
    return ok


def windows(path):
    return "Z:" + path.replace("/", "\\")


R12 = "  0\nSECTION\n  2\nENTITIES\n{}  0\nENDSEC\n  0\nEOF\n"
DRAWING = "lc2\r\n 0 0 100 0\r\n 0 0 0 100\r\n"
# Each line turns about its first end, which keeps the drawing's own "0 0".
TURNED = (b"lc2\r\n 0 0 98.480775301221 17.364817766693 \r\n"
          b" 0 0 -17.364817766693 98.480775301221 \r\n")


def line(layer, x2):
    return f"  0\nLINE\n  8\n{layer}\n 10\n0\n 20\n0\n 11\n{x2}\n 21\n0\n"


def host(work, *args, program=None, temp="Temp", console=False, limit=300, leaves=False):
    """Runs the stand-in in WORK through cmd, with WORK/TEMP as its TEMP: (status, stdout, stderr);
    status None when it outlives LIMIT seconds. With CONSOLE, in a terminal, which Wine makes the
    program's console: all it says is in stdout. TEMP must be empty afterwards, or with LEAVES not."""
    temp = os.path.join(work, temp)
    os.makedirs(temp, exist_ok=True)
    # Word by word: Wine quotes a word with a blank as cmd reads it, and would escape a quote of ours.
    words = ["set", f"TEMP={windows(temp)}", "&&", "set", f"TMP={windows(temp)}", "&&",
            windows(program or os.path.abspath(opts.tool)), *args]
    if console:
        master, terminal = pty.openpty()
        run = subprocess.Popen(WINE + ["cmd", "/c", *words], cwd=work, stdin=terminal, stdout=terminal,
                               stderr=terminal, env=env)
        os.close(terminal)
        said = b""
        # Wine's own processes that outlive the run keep the terminal: its end is the run's end.
        while True:
            ready = select.select([master], [], [], 0.2)[0]
            try:
                said += os.read(master, 1 << 16) if ready else b""
            except OSError:
                break
            if not ready and run.poll() is not None:
                break
        os.close(master)
        texts = [re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", said.decode(errors="replace")), ""]
        status = run.wait()
    else:
        # Files, not pipes: Wine's own processes that outlive the run inherit its pipes.
        with open(os.path.join(work, "..out"), "w+b") as out, open(os.path.join(work, "..err"), "w+b") as err:
            try:
                status = subprocess.run(WINE + ["cmd", "/c", *words], cwd=work, stdout=out, stderr=err, env=env,
                                        timeout=limit).returncode
            except subprocess.TimeoutExpired:
                status = None
            texts = [f.seek(0) or f.read().decode(errors="replace").replace("\r\n", "\n") for f in (out, err)]
        os.remove(os.path.join(work, "..out"))
        os.remove(os.path.join(work, "..err"))
    check(bool(os.listdir(temp)) == leaves, f"{args}: left in TEMP: {os.listdir(temp)}")
    shutil.rmtree(temp)
    return status, *texts


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def folder(root, name):
    """A folder under ROOT with the drawing d.txt in it."""
    work = os.path.join(root, name)
    os.makedirs(work)
    write(os.path.join(work, "d.txt"), DRAWING)
    return work


def names_and_folders(root):
    """A TEMP and an install folder whose names are not ASCII; Japanese file and layer names."""
    for name in ["Jürgen", "山田 太郎"]:
        work = folder(root, name)
        for exe in ["linetilt-host.exe", "linetilt.exe"]:
            shutil.copy(os.path.join(BUILD, exe), work)
        for program, temp in [(None, "Temp"), (os.path.join(work, "linetilt-host.exe"), os.path.join(root, "Temp"))]:
            status, out, err = host(work, "d.txt", "--at", "0,0", "-o", "new.txt", program=program, temp=temp)
            check(status == 0 and read(os.path.join(work, "new.txt")) == TURNED,
                  f"folder {name}, {'install' if program else 'TEMP'}: status {status} {err}")
            if os.path.exists(os.path.join(work, "new.txt")):
                os.remove(os.path.join(work, "new.txt"))
        check(sorted(os.listdir(work)) == sorted(["linetilt-host.exe", "linetilt.exe", "d.txt"]),
              f"folder {name}: {os.listdir(work)}")
    work = os.path.join(root, "layers")
    os.makedirs(work)
    write(os.path.join(work, "図面.dxf"), R12.format(line("壁", 10) + line("0", 20) + line("扉", 30)))
    status, out, err = host(work, "図面.dxf", "--at", "0,0", "--layer", "壁", "-o", "壁.dxf")
    check(status == 0 and out.startswith("1 lines selected, 1 turned") and os.path.exists(os.path.join(work, "壁.dxf"))
          and sorted(os.listdir(work)) == ["図面.dxf", "壁.dxf"], f"layer 壁: status {status} {out} {err}")
    # The same in Shift_JIS, as the header says, and in escapes: read alike in either code page.
    header = "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1015\n  9\n$DWGCODEPAGE\n  3\nANSI_932\n  0\nENDSEC\n"
    for name, layer in [("sjis.dxf", "壁".encode("cp932")), ("escaped.dxf", b"\\U+58C1")]:
        write(os.path.join(work, name), (header + R12.format(line("{}", 10) + line("0", 20))).encode().replace(
            b"{}", layer))
        status, out, err = host(work, name, "--at", "0,0", "--layer", "壁", "-o", "NUL")
        check(status == 0 and out.startswith("1 lines selected"), f"layer 壁 in {name}: status {status} {out} {err}")
        os.remove(os.path.join(work, name))
    status, out, err = host(work, "図面.dxf", "--at", "0,0", "--layer", "窓", "-o", "窓.dxf")
    check(status == 2 and "--layer 窓" in err and not os.path.exists(os.path.join(work, "窓.dxf")),
          f"layer 窓: status {status} {err}")


def devices(root):
    """-o NUL, --svg NUL and -o CON are written into, -o - through standard output; nothing is
    left beside them. A file named through \\.\ is a file: replaced whole. An output onto the
    drawing, or both outputs one file (its name in another case), is refused."""
    work = folder(root, "devices")
    write(os.path.join(work, "old.txt"), "x" * 10000)
    status, out, err = host(work, "d.txt", "--at", "0,0", "-o", "\\\\.\\" + windows(os.path.join(work, "old.txt")))
    with open(os.path.join(work, "old.txt"), "rb") as f:
        check(status == 0 and f.read() == TURNED and sorted(os.listdir(work)) == ["d.txt", "old.txt"],
              f"-o \\\\.\\: status {status} {err} {os.listdir(work)}")
    os.remove(os.path.join(work, "old.txt"))
    for args in (["--svg", "d.txt"], ["-o", "x.txt", "--svg", "X.TXT"]):
        status, out, err = host(work, "d.txt", "--at", "0,0", *args)
        check(status == 2 and sorted(os.listdir(work)) == ["d.txt"], f"{args}: status {status} {err} {os.listdir(work)}")
    status, out, err = host(work, "d.txt", "--at", "0,0", "-o", "-")
    check(status == 0 and out.encode() == TURNED.replace(b"\r\n", b"\n") and "lines selected" not in out,
          f"-o -: status {status} {out!r} {err}")
    status, out, err = host(work, "d.txt", "--at", "0,0", "-o", "NUL", "--svg", "nul")
    check(status == 0 and sorted(os.listdir(work)) == ["d.txt"], f"-o NUL: status {status} {err} {os.listdir(work)}")
    status, out, err = host(work, "d.txt", "--at", "0,0", "-o", "CON", console=True)
    check(status == 0 and "98.480775301221" in out and "cannot" not in out and sorted(os.listdir(work)) == ["d.txt"],
          f"-o CON: status {status} {out} {os.listdir(work)}")


def long_path(root):
    """An -o path over 260 characters is written; nothing is left beside it."""
    work, deep = folder(root, "long"), os.path.join("a" * 120, "b" * 120, "c" * 40)
    os.makedirs(os.path.join(work, deep))
    target = os.path.join(work, deep, "new.txt")
    check(len(windows(target)) > 260, "the long path is long")
    status, out, err = host(work, "d.txt", "--at", "0,0", "-o", windows(target))
    check(status == 0 and read(target) == TURNED and os.listdir(os.path.dirname(target)) ==
          ["new.txt"], f"long -o: status {status} {err}")


def long_temp(root):
    """Under a TEMP of 236 or 249 characters, too long for the scratch folder's path, the tool
    runs and the scratch folder goes; the run ends well within its limit."""
    work = folder(root, "long temp")
    for size in [236, 249]:
        temp = os.path.join(work, "t" * (size - len(windows(work)) - 1))
        status, out, err = host(work, "d.txt", "--at", "0,0", "-o", "new.txt", "--timeout", "10", temp=temp, limit=120)
        check(status == 0 and read(os.path.join(work, "new.txt")) == TURNED, f"TEMP of {size}: status {status} {err}")


def held(root):
    """A target a viewer holds for a moment is replaced once it lets go; one held on fails after
    about two seconds, keeps what it held and names Windows' reason."""
    work = folder(root, "held")
    for seconds, status_wanted, holds in [(1.5, 0, TURNED), (8, 4, b"old")]:
        write(os.path.join(work, "new.txt"), "old")
        ready = os.path.join(work, "..ready")
        holder = subprocess.Popen(WINE + [os.path.join(BUILD, "tests", "holdfile.exe"), "new.txt", "r", str(seconds),
                                          "..ready"], cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        while holder.poll() is None and not os.path.exists(ready):
            time.sleep(0.05)
        start = time.monotonic()
        status, _, err = host(work, "d.txt", "--at", "0,0", "-o", "new.txt")
        spent = time.monotonic() - start
        holder.wait()
        os.remove(ready)
        left = sorted(set(os.listdir(work)) - {"d.txt", "new.txt"})
        # Held on: it fails long before the holder lets go, with Windows' own reason, not the
        # C library's nearest errno.
        check(status == status_wanted and read(os.path.join(work, "new.txt")) == holds and not left and
              (status == 0 or spent < seconds - 1) and "Input/output error" not in err and "Permission denied" not in err,
              f"held {seconds} s: status {status} in {spent:.1f} s, {err} {left}")


def held_scratch(root):
    """A scratch file another program holds at clean-up is tried again: let go in time, the
    folder goes; held on, the removal ends after the limit, saying where the folder stays; the drawing is
    written all the same, status 0."""
    work = folder(root, "held scratch")
    temp, ready = os.path.join(work, "Temp"), os.path.join(work, "..ready")
    # The tool: cmd waits (holdfile holding nothing of interest) until the test holds the
    # scratch folder's stdout, then runs linetilt.exe; "^&" is the "&" of this cmd, not of host's.
    tool = ["--tool", "C:\\windows\\system32\\cmd.exe", "--", "/c", windows(os.path.join(BUILD, "tests", "holdfile.exe")),
            "qxc_temp.txt", "rwd", "2", "started", "^&", windows(os.path.join(BUILD, "linetilt.exe"))]
    for hold, limit, leaves in [(4, 20, False), (12, 5, True)]:
        def hold_scratch():
            while not glob.glob(os.path.join(temp, "linetilt-host-*", "work", "started")):
                time.sleep(0.05)
            held = glob.glob(os.path.join(temp, "linetilt-host-*", "stdout"))[0]
            return subprocess.Popen(WINE + [os.path.join(BUILD, "tests", "holdfile.exe"), windows(held), "rw", str(hold),
                                            windows(ready)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        holding = concurrent.futures.ThreadPoolExecutor(1).submit(hold_scratch)
        start = time.monotonic()
        status, out, err = host(work, "d.txt", "--at", "0,0", "-o", "new.txt", "--timeout", str(limit), *tool,
                                leaves=leaves)
        spent = time.monotonic() - start
        holding.result().wait()
        os.remove(ready)
        said = re.search(r"cannot remove (.*\\stdout): .*; the scratch directory (.*) stays", err)
        check(status == 0 and read(os.path.join(work, "new.txt")) == TURNED and
              bool(said) == leaves and spent < hold + 5, f"scratch held {hold} s: status {status} in {spent:.1f} s, {err}")


def ctrl_c(root):
    """Ctrl-C (SIGINT, which Wine hands the program as Ctrl-C) while the tool runs stops the
    run as on Linux: status 130, nothing written, the scratch folder removed."""
    work = folder(root, "ctrl-c")
    temp = os.path.join(work, "Temp")
    tool = ["--tool", "C:\\windows\\system32\\cmd.exe", "--", "/c", windows(os.path.join(BUILD, "tests", "holdfile.exe")),
            "qxc_temp.txt", "rwd", "8", "started", "^&", windows(os.path.join(BUILD, "linetilt.exe"))]

    def interrupt():
        for _ in range(600):
            if glob.glob(os.path.join(temp, "linetilt-host-*", "work", "started")):
                break
            time.sleep(0.05)
        found = subprocess.run(["pgrep", "-af", "linetilt-host.exe"], capture_output=True, text=True).stdout
        for process in found.splitlines():
            if process.split()[1].endswith("linetilt-host.exe"):
                os.kill(int(process.split()[0]), signal.SIGINT)

    stopping = concurrent.futures.ThreadPoolExecutor(1).submit(interrupt)
    status, out, err = host(work, "d.txt", "--at", "0,0", "-o", "new.txt", *tool)
    stopping.result()
    check(status == 130 and not os.path.exists(os.path.join(work, "new.txt")) and "stopped by signal 2" in err,
          f"Ctrl-C: status {status}, {err}")


def reasons(root):
    """Messages name the reason Windows gives, the file it speaks of filled in, without its own
    full stop ("." or "。") before the stand-in's punctuation."""
    work = folder(root, "reasons")
    english = not opts.locale.startswith("ja")
    for args, status_wanted, said in [(["d.txt", "-o", "no such folder\\new.txt"], 4, "Path not found" if english else ""),
                                      (["無い.txt"], 3, "無い.txt"),
                                      (["d.txt", "--tool", "d.txt"], 1, windows(work) + "\\d.txt")]:
        status, out, err = host(work, *args, "--at", "0,0")
        check(status == status_wanted and said in err and "No such file or directory" not in err and "%1" not in err
              and not re.search(r"[.。](;|$)", err.strip(), re.M), f"reason {args}: status {status} {err}")


def slash_paths(root):
    """A drawing named from the root with "/", or as "//?/Z:/...", is a path, not a switch."""
    work = folder(root, "slash")
    for drawing in [os.path.join(work, "d.txt"), "//?/" + windows(work).replace("\\", "/") + "/d.txt"]:
        status, out, err = host(work, drawing, "--at", "0,0", "-o", "new.txt")
        new = os.path.join(work, "new.txt")
        check(status == 0 and os.path.exists(new) and read(new) == TURNED, f"drawing {drawing}: status {status} {err}")
        if os.path.exists(new):
            os.remove(new)


with tempfile.TemporaryDirectory() as root:
    for group in [names_and_folders, devices, long_path, long_temp, held, held_scratch, ctrl_c, reasons, slash_paths]:
        group(root)
if "LOCPATH" in env:
    shutil.rmtree(env["LOCPATH"])
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
