// The page's work, without its user interface: the stand-in's and the tool's WebAssembly
// modules run on a drawing held in memory. Used by the page's worker, and by the tests in node.
"use strict";

// A module factory whose instances share `compiled`, the module's WebAssembly compiled once:
// a new instance then costs its memory and its start, not a compilation, and runs code the
// engine has already optimised.
function sharing(factory, compiled) {
    return (module) => {
        module.instantiateWasm = (imports, receive) => {
            // The memory it is given, where its module takes its memory from outside.
            for (const names of Object.values(imports))
                for (const value of Object.values(names))
                    if (value instanceof WebAssembly.Memory)
                        module.memoryGiven = value;
            const instance = new WebAssembly.Instance(compiled, imports);
            receive(instance, compiled);
            return instance.exports;
        };
        return factory(module);
    };
}

// The in-memory file system grows a file by an eighth at a time past 1 MiB, copying it whole
// each time: a drawing of many megabytes written in pieces was copied some twenty times.
// Doubled instead, as below 1 MiB; and a file whose size is foreseen, `firstRoom(node)` bytes
// (0 where it is not), is given that room when it first grows. (A file's first write is
// kept as it is, at its own size, without asking here.)
function roomyFiles(FS, firstRoom) {
    FS.filesystems.MEMFS.expandFileStorage = (node, wanted) => {
        const had = node.contents ? node.contents.length : 0;
        if (had >= wanted)
            return;
        const foreseen = firstRoom ? firstRoom(node) : 0;
        const contents = new Uint8Array(Math.max(wanted, had * 2, 256, foreseen));
        if (node.usedBytes > 0)
            contents.set(node.contents.subarray(0, node.usedBytes), 0);
        node.contents = contents;
    };
}

// The bytes of a file of the in-memory file system where they lie, not a copy: for a file
// that is about to be forgotten, whose bytes then belong to the caller alone.
function fileBytes(FS, path) {
    const node = FS.lookupPath(path).node;
    return node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
}

// A table of numbers from a file's bytes as fileBytes gives them: their own buffer where they
// fill it, as a file written in one piece does, which is then not copied; a copy otherwise.
function table(bytes, Type) {
    const alone = bytes.byteOffset === 0 && bytes.length === bytes.buffer.byteLength;
    return new Type(alone ? bytes.buffer : bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
}

const spareMemory = new WeakMap();  // a module's factory -> the memory its last instance ended with

// The memory the last instance of a module ended with, zeroed, for its next instance; none at
// first. A module's instances run one after another, never two at once, and the memory of
// one that has ended is no one's until the collector finds it: given to the next instance, it
// is not added to that one's.
function spare(create) {
    const memory = spareMemory.get(create);
    spareMemory.delete(create);
    if (memory)
        new Uint8Array(memory.buffer).fill(0);
    return memory;
}

// The instance has ended and nothing of it is read again: its memory is the next one's.
function ended(create, instance) {
    if (instance.memoryGiven)
        spareMemory.set(create, instance.memoryGiven);
}

// Runs the tool as a new process would run: a fresh instance of its module, in a directory
// of its in-memory file system holding `files` (name -> bytes), with `args` as its arguments.
// Returns its exit status (0..255, as a process's), the files it left there, and its output.
function runToolInstance(createTool, args, files) {
    const stdout = [], stderr = [];
    let status = null;
    // A fresh memory for each of many runs made the garbage collector run after nearly each
    // one; the last run's, zeroed, is as fresh to the new instance, whose module writes its
    // data into it anew.
    const tool = {
        wasmMemory: spare(createTool),
        noInitialRun: true,
        stdout: (c) => { if (c !== null) stdout.push(c & 255); },
        stderr: (c) => { if (c !== null) stderr.push(c & 255); },
        onExit: (code) => { status = code; },
        quit: (code, toThrow) => { throw toThrow; },
    };
    createTool(tool);
    const FS = tool.FS;
    // What the tool writes is the records it was given, copied or turned: of about their size.
    const given = Math.max(0, ...Object.values(files).map((bytes) => bytes.length));
    roomyFiles(FS, () => given + (given >> 2));
    FS.mkdir("/run");
    // Each file is the stand-in's fresh copy: the tool's file system takes it as it is.
    for (const name of Object.keys(files))
        FS.writeFile("/run/" + name, files[name], { canOwn: true });
    FS.chdir("/run");
    const returned = tool.callMain(args);
    if (status === null)
        status = returned;
    ended(createTool, tool);
    const left = {};
    for (const name of FS.readdir("/run"))
        if (name !== "." && name !== ".." && FS.isFile(FS.stat("/run/" + name).mode))
            left[name] = fileBytes(FS, "/run/" + name);  // the instance ends here: no copy
    return { status: status & 255, files: left, stdout: Uint8Array.from(stdout), stderr: Uint8Array.from(stderr) };
}

// A fresh instance of the stand-in with the drawing at "/drawing/NAME", its working directory.
function standIn(createHost, createTool, drawing, onRun) {
    const text = { out: [], err: [] };
    let status = null;
    const host = {
        wasmMemory: spare(createHost),
        noInitialRun: true,
        stdout: (c) => { if (c !== null) text.out.push(c & 255); },
        stderr: (c) => { if (c !== null) text.err.push(c & 255); },
        onExit: (code) => { status = code; },
        quit: (code, toThrow) => { throw toThrow; },
        runTool: (args, files) => {
            const result = runToolInstance(createTool, args, files);
            if (onRun)
                onRun();
            return result;
        },
    };
    createHost(host);
    roomyFiles(host.FS, (node) => host.firstRoom ? host.firstRoom(node) : 0);
    host.FS.mkdir("/drawing");
    // The drawing is only read: its bytes are used where they lie, not copied once more.
    host.FS.writeFile("/drawing/" + drawing.name, drawing.bytes, { canOwn: true });
    host.FS.chdir("/drawing");
    const decode = (bytes) => new TextDecoder().decode(Uint8Array.from(bytes));
    host.finish = (returned) => ({
        status: (status === null ? returned : status) & 255,
        stdout: decode(text.out),
        stderr: decode(text.err),
    });
    return host;
}

// A C++ exception that leaves the stand-in comes here as a number, where its code compiled
// without exceptions (all but the command line's) cannot catch it: its main, which tells of
// memory running out, among them. Told in the stand-in's words where it is memory's
// (std::bad_alloc, by the type its module records beside the exception), else by its type.
const OUT_OF_MEMORY = "not enough memory for this drawing; no file is changed";
function thrown(host, e) {
    let type = "";
    try {
        const heap = new Int32Array(host.memoryGiven.buffer);
        type = host.UTF8ToString(heap[heap[(e - 12) >> 2] + 4 >> 2]);
    } catch (x) {
        // the type is not where this version of the module keeps it: said without it
    }
    return type === "St9bad_alloc" ? { text: OUT_OF_MEMORY, reason: { code: "memory", values: {} } }
                                   : { text: "stopped by an exception of its code (" + (type || e) + "); no file is changed", reason: null };
}

// The name the stand-in is given for a drawing: its own, so that its messages name it.
function drawingName(name) {
    const base = String(name || "drawing").replace(/[\/\\]/g, "_");
    return base.startsWith("-") ? "_" + base : base;
}

// Names packed each after its length in bytes (32 bits, little-endian), as strings.
function unpackNames(packed) {
    const names = [], decoder = new TextDecoder();
    for (let at = 0; at + 4 <= packed.length;) {
        const size = sizeAt(packed, at);
        names.push(size === 0 ? "" : decoder.decode(packed.subarray(at + 4, at + 4 + size)));
        at += 4 + size;
    }
    return names;
}

const sizeAt = (packed, at) => (packed[at] | packed[at + 1] << 8 | packed[at + 2] << 16 | packed[at + 3] << 24) >>> 0;

// Names packed as unpackNames reads them, kept so, with where each begins (`starts`): a
// drawing's million handles are two tables that the worker hands over, not a million strings
// copied to the page, which reads the few it needs with nameAt.
function packedNames(packed) {
    let count = 0;
    for (let at = 0; at + 4 <= packed.length; at += 4 + sizeAt(packed, at))
        ++count;
    const starts = new Uint32Array(count);
    for (let i = 0, at = 0; i < count; at += 4 + sizeAt(packed, at))
        starts[i++] = at;
    return { bytes: packed, starts };
}

// The names `indexes` of packedNames, joined by commas.
function joinedNames(names, indexes) {
    let size = 0;
    for (const i of indexes)
        size += sizeAt(names.bytes, names.starts[i]) + 1;
    const joined = new Uint8Array(Math.max(0, size - 1));
    let to = 0;
    for (const i of indexes) {
        const start = names.starts[i] + 4, end = start + sizeAt(names.bytes, names.starts[i]);
        if (to > 0)
            joined[to++] = 0x2c;
        for (let k = start; k < end; ++k)
            joined[to++] = names.bytes[k];
    }
    return nameDecoder.decode(joined);
}

const nameDecoder = new TextDecoder();
// The name `i` of packedNames, "" where it has none.
function nameAt(names, i) {
    const bytes = names.bytes, start = names.starts[i] + 4, end = start + sizeAt(bytes, names.starts[i]);
    let name = "";
    for (let k = start; k < end; ++k) {
        if (bytes[k] >= 0x80 || end - start > 64)
            return nameDecoder.decode(bytes.subarray(start, end));
        name += String.fromCharCode(bytes[k]);
    }
    return name;
}

// What the page draws of a drawing: its lines (x1 y1 x2 y2), their colours (0xRRGGBB), their
// layers (indexes into `layers`), what names each line to the stand-in (`handles`, packedNames,
// "" where it has none, for --handle; `numbers`, its line in the file, for --select), the entities not
// drawn (those the backdrop's budget left out among them); in grey behind them, the model
// space's other entities as segments (`backdrop`, x1 y1 x2 y2), texts as points (`marks`, x y)
// and the points to snap to (`corners`); the handles of LINEs not drawn (`hiddenHandles`, packedNames); or
// `error` with the stand-in's message.
function readShown(host, prefix) {
    const file = (suffix) => fileBytes(host.FS, prefix + suffix);  // the instance is forgotten after
    return {
        lines: table(file(".lines"), Float64Array),
        colours: table(file(".colours"), Uint32Array),
        layerOf: table(file(".layers"), Uint32Array),
        layers: unpackNames(file(".names")),
        handles: packedNames(table(file(".handles"), Uint8Array)),
        hiddenHandles: packedNames(table(file(".hidden"), Uint8Array)),
        numbers: table(file(".numbers"), Uint32Array),
        notDrawn: Number(new TextDecoder().decode(file(".other"))),
        backdrop: table(file(".backdrop"), Float64Array),
        arcs: table(file(".arcs"), Float64Array),
        marks: table(file(".marks"), Float64Array),
        corners: table(file(".corners"), Float64Array),
    };
}

// Opens a drawing: its lines as the stand-in reads them, or why it refuses it, in the words
// the command-line stand-in uses.
function openDrawing(createHost, createTool, drawing, onRead) {
    const name = drawingName(drawing.name);
    const host = standIn(createHost, createTool, { name, bytes: drawing.bytes });
    host.onRead = onRead;  // how much of it has been read, 0 to 1, now and then
    let viewed;
    try {
        viewed = host.ccall("linetilt_view", "number", ["string", "string"], [name, "/view"]);
    } catch (e) {
        if (typeof e !== "number")
            throw e;
        const told = thrown(host, e);
        ended(createHost, host);
        return { name, error: told.text, reason: told.reason };
    }
    if (viewed === 0) {
        const shown = readShown(host, "/view");
        ended(createHost, host);
        return { name, shown };
    }
    ended(createHost, host);
    // Refused: the stand-in itself says why, in the words of its command line.
    const refusing = standIn(createHost, createTool, { name, bytes: drawing.bytes });
    let said, reason = null;
    try {
        said = refusing.finish(refusing.callMain([name, "--at", "0,0"])).stderr;
        reason = reasonOf(refusing);
    } catch (e) {
        said = String(e && e.message || e);
    }
    ended(createHost, refusing);
    return { name, error: said.replace(/^linetilt-host: /, "").trim(), reason };
}

// Why the stand-in refused, as a code and the values its message names, for the page's own
// words; null where it said nothing more than its message.
function reasonOf(host) {
    if (!host.FS.analyzePath("/reason.json").exists)
        return null;
    const reason = JSON.parse(new TextDecoder().decode(host.FS.readFile("/reason.json")));
    return reason.code ? reason : null;
}

// The stand-in's arguments for a run, as they would be typed: DRAWING --at X,Y -o NEW, the
// layers chosen, the lines picked (`handles` and `numbers`, as readShown gives them), and after
// "--" the tool's angle switch when it is not the tool's own default.
function standInArguments(name, options) {
    const args = [name, "--at", options.at, "-o", "/result/" + name];
    if (options.picture)
        args.push("--svg", "/result/" + name + ".svg");
    // Joined to its option: a layer may be named "--" or begin with a dash.
    for (const layer of options.layers || [])
        args.push("--layer=" + layer);
    if (options.handles && options.handles.length > 0)
        args.push("--handle=" + Array.from(options.handles).join(","));
    if (options.numbers && options.numbers.length > 0)
        args.push("--select=" + Array.from(options.numbers).join(","));
    if (options.angle !== undefined && options.angle !== "" && Number(options.angle) !== 10)
        args.push("--", "/p" + options.angle);
    return args;
}

// Runs the stand-in on the drawing with `options` {at: "X,Y" as typed, layers, handles, numbers,
// angle, and view: true for what the page draws after}: its exit status, summary and messages, and the
// new drawing's bytes with `after` {lines, kept: the index in the drawing's view of each of
// them} and `pivots`.
function runDrawing(createHost, createTool, drawing, options, onRun) {
    const name = drawingName(drawing.name), size = drawing.bytes.length;
    let held = drawing.bytes;  // where the drawing's bytes are, till given back
    let giveBack = () => {};
    if (drawing.letGo) {
        // The caller keeps no other reference to the drawing's bytes: once the stand-in has read
        // them into its memory, they go to drawing.letGo(bytes), once, so that the drawing is
        // not held twice while the run builds what it builds from it; at the end of the run
        // where it never read them, whatever happened.
        drawing.bytes = null;
        giveBack = () => {
            giveBack = () => {};
            const bytes = typeof held === "function" ? held() : held;
            held = null;
            drawing.letGo(bytes);
        };
    }
    try {
        const host = standIn(createHost, createTool, { name, bytes: held }, onRun);
        if (drawing.letGo) {
            const node = host.FS.lookupPath("/drawing/" + name).node, close = host.FS.close;
            held = () => {
                const bytes = node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
                node.contents = null, node.usedBytes = 0;
                return bytes;
            };
            host.FS.close = (stream) => {
                close(stream);
                if (stream.node === node)
                    giveBack();
            };
        }
        return runStandIn(createHost, host, name, size, options);
    } finally {
        giveBack();
    }
}

// The run itself, by the stand-in made for it.
function runStandIn(createHost, host, name, size, options) {
    host.FS.mkdir("/result");
    // The new drawing is about the size of the drawing: its room is made once, not by doubling.
    const results = host.FS.lookupPath("/result").node;
    host.firstRoom = (node) => node.parent === results ? size + (size >> 3) : 0;
    const args = standInArguments(name, options);
    // The run itself writes the lines after it: the new drawing is not read again for them.
    if (options.view)
        host.ccall("linetilt_keep_after", null, ["string"], ["/after"]);
    let returned;
    try {
        returned = host.callMain(args);
    } catch (e) {
        const told = typeof e === "number" ? thrown(host, e) : { text: String(e && e.message || e), reason: null };
        ended(createHost, host);
        return { status: 1, stdout: "", stderr: "linetilt-host: " + told.text + "\n", args, reason: told.reason };
    }
    const result = host.finish(returned);
    result.args = args;
    if (result.status !== 0)
        result.reason = reasonOf(host);
    if (host.FS.analyzePath("/summary.json").exists)
        result.summary = JSON.parse(new TextDecoder().decode(host.FS.readFile("/summary.json"))).values;
    const out = "/result/" + name;
    if (result.status === 0 && host.FS.analyzePath(out).exists) {
        // Its file's own bytes, which the stand-in forgets now; copied only where much of their
        // room is left over: the room made for it is the drawing's size and an eighth, and
        // shorter numbers make a new drawing somewhat smaller.
        const bytes = fileBytes(host.FS, out);
        result.bytes = bytes.buffer.byteLength - bytes.length <= bytes.length / 4 ? bytes : bytes.slice();
    }
    if (result.status === 0 && options.picture && host.FS.analyzePath(out + ".svg").exists)
        result.picture = host.FS.readFile(out + ".svg");
    if (result.bytes && options.view && host.FS.analyzePath("/after.lines").exists) {
        const read = (file, Type) => table(fileBytes(host.FS, file), Type);
        result.after = { lines: read("/after.lines", Float64Array), kept: read("/after.kept", Uint32Array) };
        result.pivots = read("/after.pivots", Float64Array);
        result.changes = read("/after.changes", Uint8Array);
    }
    ended(createHost, host);
    return result;
}

// A step is kept as the stand-in wrote it, compact: for each change its place and length in
// the drawing it applies to, and the length of what stands there in the other (32-bit
// numbers), then those bytes. `bytes` with each place given what the step holds for it; and
// the step that goes back, alike.
function applyPatch(bytes, patch) {
    const numbers = new DataView(patch.buffer, patch.byteOffset, patch.byteLength);
    let size = bytes.length, backSize = 0;
    for (let at = 0; at + 12 <= patch.length; at += 12 + numbers.getUint32(at + 8, true)) {
        size += numbers.getUint32(at + 8, true) - numbers.getUint32(at + 4, true);
        backSize += 12 + numbers.getUint32(at + 4, true);
    }
    const out = new Uint8Array(size), back = new Uint8Array(backSize), told = new DataView(back.buffer);
    let from = 0, to = 0, b = 0;
    for (let at = 0; at + 12 <= patch.length;) {
        const place = numbers.getUint32(at, true), length = numbers.getUint32(at + 4, true);
        const given = patch.subarray(at + 12, at + 12 + numbers.getUint32(at + 8, true));
        out.set(bytes.subarray(from, place), to);
        to += place - from;
        told.setUint32(b, to, true), told.setUint32(b + 4, given.length, true), told.setUint32(b + 8, length, true);
        back.set(bytes.subarray(place, place + length), b + 12);
        b += 12 + length;
        out.set(given, to);
        to += given.length;
        from = place + length;
        at += 12 + given.length;
    }
    out.set(bytes.subarray(from), to);
    return { bytes: out, back };
}

// Runs both modules once on a small drawing of full-precision coordinates, as a drawing of a
// CAD program holds them. The engine first runs WebAssembly from code compiled quickly, and
// compiles a function well only once it has run long: the reader of a drawing runs once, as
// one long call, and a first drawing of many lines was read all the way by the quick code,
// taking half as long again. Run once beforehand, while the user chooses a file, every part
// of a run is compiled well by the time a drawing comes.
function warmUp(createHost, createTool) {
    const out = ["  0\nSECTION\n  2\nENTITIES\n"];
    for (let i = 0; i < 3000; ++i) {
        const x = (i % 50) * 1.2345678901234567, y = Math.floor(i / 50) * 2.4691357802469134;
        out.push(`  0\nLINE\n  5\n${(i + 256).toString(16)}\n  8\nA\n 10\n${x}\n 20\n${y}\n 30\n0.0\n 11\n${x + 0.75}\n 21\n` +
                 `${y + 1.5}\n 31\n0.0\n  0\nCIRCLE\n  8\nB\n 10\n${x}\n 20\n${y}\n 30\n0.0\n 40\n0.2\n`);
    }
    out.push("  0\nENDSEC\n  0\nEOF\n");
    const bytes = new TextEncoder().encode(out.join(""));
    openDrawing(createHost, createTool, { name: "warm.dxf", bytes });
    runDrawing(createHost, createTool, { name: "warm.dxf", bytes }, { at: "0,0", view: true });
}

if (typeof module === "object" && module.exports)
    module.exports = { sharing, runToolInstance, openDrawing, runDrawing, standInArguments, drawingName, warmUp, nameAt, applyPatch };
