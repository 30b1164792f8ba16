#!/usr/bin/env python3
"""The native and the Windows build give the same bytes: 1,000 random line-heavy exchange
files, each run by both builds, every file they leave compared byte for byte.

Usage: cross_build_test.py --tool LINETILT_EXE --runner WINE --native LINETILT [--files N]

Starting a Windows process under Wine costs about a tenth of a second, most of it Wine's own:
the Windows runs go through four batch files, one Wine start each, side by side."""
import argparse, filecmp, os, random, shutil, subprocess, sys, tempfile

ANGLES = ["10", "-33.3", "0.5", "127", "-359.9"]


def exchange_file(rng):
    """A selection of 20 to 200 records, nine in ten of them lines, under one indicated point;
    coordinates up to +-5000 with three decimals, as a drawing's."""
    def coordinate():
        return "%.3f" % rng.uniform(-5000, 5000)
    lines = ["hq", "hp1ln %s %s" % (coordinate(), coordinate())]
    for _ in range(rng.randint(20, 200)):
        kind = rng.random()
        if kind < 0.9:
            lines.append(" %s %s %s %s" % tuple(coordinate() for _ in range(4)))
        elif kind < 0.95:
            lines.append("lc%d" % rng.randrange(16))
        else:
            lines.append("# a comment")
    return "".join(line + "\r\n" for line in lines).encode()


def switch(rng):
    kind = rng.random()
    if kind < 0.1:
        return None  # the default angle
    if kind < 0.7:
        return "/p" + rng.choice(ANGLES)
    return "/p%.3f" % rng.uniform(-359.999, 359.999)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True, help="the Windows build")
    parser.add_argument("--runner", required=True, help="wine")
    parser.add_argument("--native", required=True, help="the native build")
    parser.add_argument("--files", type=int, default=1000)
    args = parser.parse_args()
    rng = random.Random(2026)
    with tempfile.TemporaryDirectory(prefix="linetilt-cross-") as root:
        native, windows = os.path.join(root, "native"), os.path.join(root, "windows")
        runs = [("f%04d" % n, exchange_file(rng), switch(rng)) for n in range(args.files)]
        for name, data, option in runs:
            for tree in (native, windows):
                os.makedirs(os.path.join(tree, name))
                with open(os.path.join(tree, name, "qxc_temp.txt"), "wb") as f:
                    f.write(data)
            subprocess.run([os.path.abspath(args.native)] + ([option] if option else []), cwd=os.path.join(native, name),
                           stdout=subprocess.DEVNULL, check=True)
        shutil.copy(args.tool, os.path.join(windows, "linetilt.exe"))
        batches = []
        for batch in range(4):
            with open(os.path.join(windows, "run%d.bat" % batch), "w", newline="\r\n") as f:
                f.write("@echo off\n" + "".join("cd %s\n..\\linetilt.exe %s > nul\ncd ..\n" % (name, option or "")
                                                  for name, _, option in runs[batch::4]))
            batches.append(subprocess.Popen([args.runner, "cmd", "/c", "run%d.bat" % batch], cwd=windows,
                                            stdout=subprocess.DEVNULL))
        if any(started.wait() for started in batches):
            print("a batch under Wine failed")
            return 1
        def differs(name):
            left, right = os.path.join(native, name), os.path.join(windows, name)
            names = sorted(set(os.listdir(left)) | set(os.listdir(right)))  # one missing is an error
            match, mismatch, errors = filecmp.cmpfiles(left, right, names, shallow=False)
            return mismatch + errors

        differing = []
        for name, data, option in runs:
            if differs(name):
                # Wine's cmd, on a loaded machine, now and then fails to start a program at all
                # ("Can't recognize ..."): such a run is made once more, alone, from the start.
                folder = os.path.join(windows, name)
                shutil.rmtree(folder)
                os.makedirs(folder)
                with open(os.path.join(folder, "qxc_temp.txt"), "wb") as f:
                    f.write(data)
                subprocess.run([args.runner, os.path.join(windows, "linetilt.exe")] + ([option] if option else []),
                               cwd=folder, stdout=subprocess.DEVNULL)
            if differs(name):
                differing.append("%s (%s): %s" % (name, option, ", ".join(differs(name))))
        print("".join("differ: %s\n" % line for line in differing[:20]), end="")
        print("%d of %d exchange files give the same bytes from both builds" % (len(runs) - len(differing), len(runs)))
        return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
