// Drawings of another program through the page's code in node, without its user interface,
// against the native stand-in: the same status, summary, messages and new drawing, byte for
// byte; with --random N also a record drawing of N random lines, coordinates of drawing size
// with three decimals, at angles that turn them every way, where the C libraries' own atan2,
// sin and cos would differ in a last decimal now and then.
// Usage: node corpus_test.js --host NATIVE_HOST --web WEB_BUILD --corpus DIR --every N [--random N]
"use strict";
const fs = require("fs"), os = require("os"), path = require("path");
const { execFileSync, spawnSync } = require("child_process");

const opts = {};
for (let i = 2; i < process.argv.length; i += 2)
    opts[process.argv[i].replace(/^--/, "")] = process.argv[i + 1];
const engine = require(path.join(__dirname, "../../web/engine.js"));
const modules = ["linetilt-host.js", "linetilt.js"].map((name) => require(path.resolve(opts.web, name)));
// Each instance of a module built for node too takes the process's exception events; the page's
// instances are many, so what they took is given back after each.
const quiet = (create) => (module) => {
    const before = ["uncaughtException", "unhandledRejection"].map((e) => process.listeners(e));
    create(module);
    ["uncaughtException", "unhandledRejection"].forEach((e, i) => {
        for (const listener of process.listeners(e))
            if (!before[i].includes(listener))
                process.removeListener(e, listener);
    });
    return module;
};
const [createHost, createTool] = ["linetilt-host", "linetilt"].map((name, i) =>
    engine.sharing(quiet(modules[i]), new WebAssembly.Module(fs.readFileSync(path.resolve(opts.web, name + ".wasm")))));

function walk(dir) {
    return fs.readdirSync(dir, { withFileTypes: true }).flatMap((d) =>
        d.isDirectory() ? walk(path.join(dir, d.name)) : d.name.toLowerCase().endsWith(".dxf") ? [path.join(dir, d.name)] : []);
}
const files = walk(opts.corpus).sort().filter((_, i) => i % Number(opts.every || 1) === 0);
const cases = [{ at: "0,0", angle: "10" }, { at: "17.25,-3.5", angle: "-33.3" }];

// Numbers that the WebAssembly build reads and writes with the C library where the native
// build uses from_chars and to_chars: too small for a double, long, huge, too large.
const line = (x1, y1, x2, y2) => `  0\nLINE\n  8\n0\n 10\n${x1}\n 20\n${y1}\n 11\n${x2}\n 21\n${y2}\n`;
const numbers = (lines) => Buffer.from("  0\nSECTION\n  2\nENTITIES\n" + lines.join("") + "  0\nENDSEC\n  0\nEOF\n");
const made = {
    "numbers.dxf": numbers([line("1e-310", "-2.5e-320", "3", "4"), line("123456789.123456789123", "0.30000000000000004", "1e3", "-7E-2"),
                            line("1e300", "1.7976931348623157e308", "-1e300", "5"), line("2.2250738585072011e-308", "1e-400", "9", "9")]),
    "numbers-too-large.dxf": numbers([line("1", "2", "3", "4"), line("1e309", "0", "1", "1")]),
    // Record text, whose numbers the two C++ libraries' streams would read apart.
    "numbers.txt": Buffer.from(" 1e-310 0 20 0\n 1-2 3 4\n +5 .5 5. -0\n 1e-400 0 1 1\n"),
    "hexadecimal.txt": Buffer.from(" 0x10 0 20 0\n"),
    "infinite.txt": Buffer.from(" 0 0 inf 0\n"),
};

let passed = 0, failed = 0;
const work = fs.mkdtempSync(path.join(os.tmpdir(), "linetilt-web-"));
let seed = 20261207;
const random = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
const coordinate = () => (random() * 10000 - 5000).toFixed(3);
const randomLines = [];
for (let i = 0; i < Number(opts.random || 0); ++i)
    randomLines.push(` ${coordinate()} ${coordinate()} ${coordinate()} ${coordinate()}\r\n`);
const angles = ["10", "-33.3", "0.5", "127", "-359.9"];
const runs = [...Object.keys(made).map((file, n) => [file, cases[n % cases.length]])];
if (randomLines.length > 0) {
    made["random.txt"] = Buffer.from(randomLines.join(""));
    runs.push(...angles.map((angle) => ["random.txt", { at: "12.5,-7.25", angle }]));
}
runs.push(...files.map((file, n) => [file, cases[n % cases.length]]));
// Lines picked on the page reach the stand-in as its own switches: every third line of the
// view, by its handle where it has one the switch takes, else by its line number; the stand-in
// must select those and no other.
const hexHandle = /^[0-9A-Fa-f]{1,16}$/;
runs.push(...files.map((file) => [file, { at: "3,4", angle: "15", pick: true }]));
function pick(name, bytes, options) {
    const shown = engine.openDrawing(createHost, createTool, { name, bytes }).shown;
    if (!shown || shown.numbers.length < 2)
        return null;
    const handles = new Set(), numbers = [];
    for (let i = 0; i < shown.numbers.length; i += 3)
        if (i % 2 === 0 && hexHandle.test(engine.nameAt(shown.handles, i)))
            handles.add(engine.nameAt(shown.handles, i));
        else
            numbers.push(shown.numbers[i]);
    const named = new Set(numbers);
    const selected = shown.numbers.filter((n, i) => named.has(n) || handles.has(engine.nameAt(shown.handles, i))).length;
    return { options: { ...options, handles: [...handles], numbers }, selected };
}

runs.forEach(([file, options]) => {
    const name = path.basename(file);
    const bytes = made[file] || fs.readFileSync(file);
    let picked = null;
    if (options.pick && !(picked = pick(name, bytes, options)))
        return;
    if (picked)
        options = picked.options;
    fs.writeFileSync(path.join(work, name), bytes);
    fs.rmSync(path.join(work, "new"), { force: true });
    const native = spawnSync(path.resolve(opts.host), engine.standInArguments(name, options).map((a) => a.startsWith("/result/") ? "new" : a),
                             { cwd: work, encoding: "buffer" });
    const web = engine.runDrawing(createHost, createTool, { name, bytes }, options);
    const nativeBytes = fs.existsSync(path.join(work, "new")) ? fs.readFileSync(path.join(work, "new")) : null;
    const problems = [];
    if (web.status !== native.status)
        problems.push(`status ${web.status}, native ${native.status}`);
    if (web.stdout !== native.stdout.toString())
        problems.push(`summary ${JSON.stringify(web.stdout)}, native ${JSON.stringify(native.stdout.toString())}`);
    if (web.stderr !== native.stderr.toString())
        problems.push(`messages ${JSON.stringify(web.stderr)}, native ${JSON.stringify(native.stderr.toString())}`);
    if ((web.bytes === undefined) !== (nativeBytes === null) || (nativeBytes && !nativeBytes.equals(Buffer.from(web.bytes))))
        problems.push("the new drawing differs");
    if (picked && !web.stdout.startsWith(`${picked.selected} lines selected`))
        problems.push(`${picked.selected} lines picked, but: ${JSON.stringify(web.stdout + web.stderr)}`);
    if (problems.length) {
        ++failed;
        console.log(`FAIL: ${file} (--at ${options.at}, angle ${options.angle}): ${problems.join("; ")}`);
    } else {
        ++passed;
    }
});
fs.rmSync(work, { recursive: true, force: true });
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 && passed > 0 ? 0 : 1);
