// The page's user interface: choosing a drawing, the point, the angle and the layers, drawing
// the lines before and after, and saving. The work itself is the worker's.
"use strict";

const $ = (id) => document.getElementById(id);
const LINES_PER_RUN = 24999;  // the tool's record limit, less the two head records, over two records a line

const workerScript = URL.createObjectURL(new Blob([$("worker-source").textContent], { type: "text/javascript" }));
let worker = startWorker();
let drawing = null;  // {name, bytes, shown}
let opening = null;  // the bytes of the drawing being opened
let result = null;   // the last run's, while its inputs stand
let running = false; // a run is in flight
let jobs = 0;        // the id of the newest request; older answers are ignored
let runs = 1;        // the runs of the tool the current run makes, for the progress bar
let started = 0;     // when it started
let runLayers = [];  // the layers it turns the lines of; none for all
let summary = null;  // the last run's numbers, as the stand-in counted them
let workerHolds = 0;     // the version of the drawing the worker holds
let stepping = false;    // the drawing being read again is a step back or forth
let saved = 0;           // the version of the drawing last saved or opened: others would be lost on leaving
let versions = 0;        // each drawing's bytes, as opened or changed, get a number
let stepped = 0;         // the step being read: -1 back, 1 forth
// The steps to go back and forth: each what turns the drawing as it is into the one before
// (or after), as the places that differ and what stood there; never a copy of a drawing.
const history = { back: [], forth: [] };
const DRAWABLE = 1e100;  // beyond this a coordinate is not drawn: the view could not hold it with the rest
const view = { scale: 1, cx: 0, cy: 0 };
const canvas = $("view");

// --- words --------------------------------------------------------------------------------

// The browser's first language of the two, Japanese where it names neither; the user's
// own choice, once made, is remembered.
function chosenLanguage() {
    try {
        const kept = localStorage.getItem("linetilt-language");
        if (kept === "ja" || kept === "en")
            return kept;
    } catch (e) {
        // storage refused (a private window): the browser's language
    }
    for (const tag of navigator.languages || [navigator.language || ""])
        if (/^(ja|en)\b/i.test(tag))
            return tag.slice(0, 2).toLowerCase();
    return "ja";
}

let language = chosenLanguage();

// The words for `key`, with {name} filled from `values`.
function w(key, values = {}) {
    return WORDS[language][key].replace(/\{(\w+)\}/g, (_, name) => String(values[name]));
}

// What the status and the message say, kept as words and values, so that they follow a
// change of language; a text the stand-in gave is kept as it is.
const said = { status: null, message: null };
function show(id, key, values) {
    said[id] = key === null ? null : { key, values };
    $(id).textContent = key === null ? "" : typeof key === "function" ? key() : w(key, values);
}
function say(key, values) { show("status", key || null, values); }
function complain(key, values) { show("message", key || null, values); }
function complainText(text) { show("message", text ? () => text : null); }
// The summary of a run in the page's words, from the stand-in's numbers; in English, lines
// counted as "1 line", "2 lines".
function summaryText(values) {
    const count = (n) => language === "en" && ["selected", "turned", "dropped", "collapsed", "stretched"].includes(n)
        ? values[n] + (values[n] === "1" ? " line" : " lines") : values[n];
    const filled = Object.fromEntries(Object.keys(values).map((n) => [n, count(n)]));
    const lines = [w("sumTurned", filled)];
    for (const [key, value] of [["sumDropped", "dropped"], ["sumCollapsed", "collapsed"], ["sumStretched", "stretched"]])
        if (values[value] !== "0")
            lines.push(w(key, filled));
    lines.push(w("sumPivots", values), w("sumRuns", values));
    return lines.join("\n");
}

// The stand-in's refusal in the page's words where its reason is known, else as it said it.
function complainOf(reason, text) {
    if (!reason || !WORDS[language]["why_" + reason.code])
        return complainText(text);
    show("message", () => {
        const values = { ...reason.values };
        if (values.group)
            values.group = w("group_" + values.group);
        return WORDS[language]["why_" + reason.code] ? w("why_" + reason.code, values) : text;
    });
}

function speak() {
    document.documentElement.lang = language;
    document.title = w("title");
    for (const element of document.querySelectorAll("[data-words]"))
        element.textContent = w(element.dataset.words);
    for (const element of document.querySelectorAll("[data-words-label]"))
        element.setAttribute("aria-label", w(element.dataset.wordsLabel));
    $("language").setAttribute("aria-label", w("otherName"));
    for (const id of ["status", "message"])
        if (said[id])
            show(id, said[id].key, said[id].values);
    if (summary)
        $("summary").textContent = summaryText(summary);
}

function setBusy(busy) {
    $("run").disabled = busy || !drawing;
    $("stop").disabled = !busy;
    $("file").disabled = busy;
    $("undo").disabled = busy || history.back.length === 0;
    $("redo").disabled = busy || history.forth.length === 0;
    document.body.setAttribute("aria-busy", busy ? "true" : "false");
}

// The drawing, the point, the angle or the layers changed: the last result was for others,
// and so is a run still going, which is stopped. Says whether one was.
function forgetResult() {
    const stopped = running;
    if (stopped)
        stop();
    result = null;
    summary = null;
    $("save").disabled = !changed();
    $("summary").textContent = "";
    draw();
    return stopped;
}

function settingChanged() {
    if (forgetResult())
        say("stoppedForChange");
}

// --- opening -------------------------------------------------------------------------------

let reading = 0;  // the newest file asked for; one read before it is not opened

async function open(file) {
    const mine = ++reading;
    complain(null);
    history.back = [], history.forth = [];  // another drawing: no step of this one's applies
    stepping = false;
    forgetResult();
    drawing = null;
    $("layers-box").hidden = true;
    setBusy(true);
    $("progress").removeAttribute("value");  // working, no measure yet
    say("reading", { name: file.name });
    const bytes = new Uint8Array(await file.arrayBuffer());
    // Another file may have been chosen, even opened and tilted, while this one was read:
    // the last chosen wins, and no result of another drawing stays on offer.
    if (mine !== reading)
        return;
    forgetResult();
    drawing = null;
    opening = bytes;
    if (opening.length === 0) {
        ++jobs;  // an answer still awaited for a file chosen before is not this one's
        opened({ empty: file.name });
        return;
    }
    worker.postMessage({ kind: "open", id: ++jobs, name: file.name, bytes: opening.slice() });
    workerHolds = versions + 1;  // the version the drawing will have once opened
}

function opened(message) {
    $("progress").value = 0;
    if (message.error || message.empty) {
        drawing = null;
        setBusy(false);  // with no drawing, nothing to run
        say(null);
        if (message.empty)
            complain("empty", { name: message.empty });
        else
            complainOf(message.reason, message.error);
        draw();
        return;
    }
    if (stepping) {
        // A step back or forth: the same drawing as it was, seen where it was, its layers as ticked.
        stepping = false;
        const ticked = chosenLayers();
        drawing = { name: drawing.name, bytes: opening, shown: message.shown, version: drawing.version };
        opening = null;
        setBusy(false);
        showLayers(message.shown.layers, ticked);
        complain(null);
        say(stepped < 0 ? "undone" : "redone");
        $("save").disabled = !changed();
        draw();
        return;
    }
    drawing = { name: message.name, bytes: opening, shown: message.shown, version: ++versions };
    opening = null;
    saved = drawing.version;
    $("save-name").value = drawing.name.replace(/(\.[^.]*)?$/, (ext) => "-tilted" + (ext || ""));
    setBusy(false);
    showLayers(message.shown.layers);
    const count = message.shown.lines.length / 4;
    const notDrawn = message.shown.notDrawn;
    say(() => w("opened", { name: drawing.name, count, lines: count === 1 ? "line" : "lines",
                            others: notDrawn ? w(notDrawn === 1 ? "oneOther" : "others", { count: notDrawn }) : "" }));
    fit();
}

function showLayers(layers, ticked) {
    const box = $("layers");
    box.textContent = "";
    $("layers-box").hidden = layers.length === 0;
    layers.forEach((name, i) => {
        const label = document.createElement("label");
        const check = document.createElement("input");
        check.type = "checkbox";
        check.checked = !ticked || ticked.includes(name);
        check.dataset.layer = i;
        check.addEventListener("change", settingChanged);
        label.append(check, " " + name);
        box.append(label);
    });
}

function chosenLayers() {
    const checks = [...$("layers").querySelectorAll("input")];
    return checks.filter((c) => c.checked).map((c) => drawing.shown.layers[Number(c.dataset.layer)]);
}

// --- running -------------------------------------------------------------------------------

// A number as typed, with a Japanese keyboard's full-width digits, point and signs taken as
// their ASCII forms.
function halfWidth(text) {
    // A Japanese input method in kana gives ー or a dash for the minus, 。 for the point.
    const minus = "\u2212\u30fc\u2010\u2011\u2012\u2013\ufe63\uff70", point = "\u3002\uff61";
    return text.replace(/[\uff10-\uff19\uff0e\uff0b\uff0d\uff45\uff25\u3000\u2212\u30fc\u2010-\u2013\ufe63\uff70\u3002\uff61]/g,
        (c) => minus.includes(c) ? "-" : point.includes(c) ? "." : c === "\u3000" ? " "
            : String.fromCharCode(c.charCodeAt(0) - 0xfee0)).trim();
}

function numberText(id, what) {
    const text = halfWidth($(id).value), typed = $(id).value.trim();
    // A number field holds "" for what is not a number: the browser says which.
    if (text === "" && !$(id).validity.badInput)
        throw () => w("missing", { what: w(what), click: id === "angle" ? "" : w("missingClick") });
    if (!/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(text) || !isFinite(Number(text)))
        throw () => w("notNumber", { what: w(what), text: typed });
    return text;
}

function run() {
    if (!drawing || running || stepping)
        return;
    complain(null);
    let options;
    try {
        const at = numberText("x", "x") + "," + numberText("y", "y");
        const angle = numberText("angle", "angleName");
        if (!(Math.abs(Number(angle)) < 360))
            throw () => w("angleRange");
        options = { at, angle, layers: [] };
        if (drawing.shown.layers.length > 0) {
            options.layers = chosenLayers();
            if (options.layers.length === 0)
                throw () => w("chooseLayer");
            if (options.layers.length === drawing.shown.layers.length)
                options.layers = [];  // all of them: as the command line without --layer
        }
    } catch (e) {
        show("message", typeof e === "function" ? e : () => String(e && e.message || e));
        return;
    }
    forgetResult();
    const chosen = new Set(options.layers.length ? options.layers : drawing.shown.layers);
    let selected = 0;
    const shown = drawing.shown;
    for (let i = 0; i < shown.layerOf.length; ++i)
        if (shown.layers.length === 0 || chosen.has(shown.layers[shown.layerOf[i]]))
            ++selected;
    runs = Math.max(1, Math.ceil(selected / LINES_PER_RUN));
    $("progress").max = runs;
    $("progress").value = 0;
    setBusy(true);
    say(() => w("tilting", { count: selected, runs: language === "en" ? runs + (runs === 1 ? " run" : " runs") : runs }));
    started = performance.now();
    options.view = true;
    runLayers = options.layers;
    running = true;
    // The worker keeps the drawing it opened: sent again only to a worker started since.
    const holds = workerHolds === drawing.version;
    worker.postMessage({ kind: "run", id: ++jobs, name: drawing.name, bytes: holds ? null : drawing.bytes.slice(), options });
    workerHolds = drawing.version;
}

function finished(message) {
    running = false;
    setBusy(false);
    $("progress").value = $("progress").max;
    summary = message.summary || null;
    $("summary").textContent = summary ? summaryText(summary) : message.stdout;
    if (message.status !== 0 || !message.bytes) {
        result = null;
        $("save").disabled = !changed();
        say(null);
        const why = message.stderr.replace(/^linetilt-host: /gm, "").trim();
        if (why || message.reason)
            complainOf(message.reason, why);
        else
            complain("failed", { status: message.status });
        draw();
        return;
    }
    result = message;
    result.layers = runLayers;
    result.before = drawing.shown;
    if (result.after) {
        // The lines after the run, with the colours and layers of the lines they were.
        const kept = result.after.kept, shown = drawing.shown;
        const all = kept.length === shown.colours.length;  // none gone: the same lines in the same order
        result.after.colours = all ? shown.colours : kept.map((i) => shown.colours[i]);
        result.after.layerOf = all ? shown.layerOf : kept.map((i) => shown.layerOf[i]);
        result.after.layers = shown.layers;
        result.after.notDrawn = shown.notDrawn;
    }
    // The result is the drawing now: the next tilt works on it, and Undo goes back.
    if (result.after && result.changes) {
        history.back.push(result.changes);
        history.forth = [];
        drawing = { name: drawing.name, bytes: result.bytes, shown: result.after, version: ++versions };
    }
    $("save").disabled = !changed();
    showSteps();
    complainText(message.stderr.replace(/^linetilt-host: /gm, "").trim());
    // Lines turned off the edge would be lost to sight: the view takes them in, once.
    if (result.after && pastView(result.after, result.before.lines))
        fit();
    else
        draw();
    if (result.after && !message.stderr && beyondDrawable(result.after.lines))
        complain("beyond", { limit: DRAWABLE.toExponential(0) });
    result.seconds = (performance.now() - started) / 1000;  // until the result is drawn
    const first = message.stdout.split("\n")[0] + ".";
    say(() => w("done", { seconds: result.seconds.toFixed(2) }) + " " + (summary ? summaryText(summary).split("\n")[0] : first));
    document.body.dataset.done = String(jobs);
}

// The name to save under, as the user left it; the opened name with "-tilted" where it is
// empty. A folder cannot be named: what comes after the last slash is the name.
function saveName() {
    const typed = $("save-name").value.trim().split(/[\/\\]/).pop();
    return typed || drawing.name.replace(/(\.[^.]*)?$/, (ext) => "-tilted" + (ext || ""));
}

function save() {
    if (!drawing || !changed())
        return;
    const name = saveName();
    saved = drawing.version;
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([drawing.bytes], { type: "application/octet-stream" }));
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
    say("saved", { name });
}

function startWorker() {
    const started = new Worker(workerScript);
    started.onmessage = answered;
    started.onerror = (event) => { running = false; setBusy(false); complain("pageFailed", { message: event.message }); };
    return started;
}

// A run cannot be stopped from within: its worker is ended, and a new one takes its place.
function stop() {
    worker.terminate();
    worker = startWorker();
    workerHolds = 0;
    ++jobs;  // whatever the old one said is no longer awaited
    running = false;
    setBusy(false);
    $("progress").value = 0;
    say(drawing ? "stopped" : "stoppedNothing");
}

function answered(event) {
    const message = event.data;
    if (message.id !== jobs)
        return;
    if (message.kind === "opened")
        opened(message);
    else if (message.kind === "progress")
        $("progress").value = Math.min(message.done, runs);
    else if (message.kind === "result")
        finished(message);
    else if (message.kind === "failed") {
        running = false;
        setBusy(false);
        complain("pageFailed", { message: message.message });
    }
}

// --- drawing -------------------------------------------------------------------------------

function toScreen(x, y) {
    return [(x - view.cx) * view.scale + canvas.width / 2, canvas.height / 2 - (y - view.cy) * view.scale];
}

function toDrawing(px, py) {
    return [(px - canvas.width / 2) / view.scale + view.cx, view.cy - (py - canvas.height / 2) / view.scale];
}

function indicated() {
    const [tx, ty] = [halfWidth($("x").value), halfWidth($("y").value)];
    const x = Number(tx), y = Number(ty);
    return tx !== "" && ty !== "" && isFinite(x) && isFinite(y) ? [x, y] : null;
}

function fit() {
    if (!drawing)
        return;
    const lines = (result && result.after ? result.after : drawing.shown).lines;
    let minX = Infinity, minY = Infinity, maxX = -Infinity, maxY = -Infinity, beyond = 0;
    const take = (x, y) => {
        // Far beyond any drawing's units, a point cannot be drawn with the others: left out.
        if (!(Math.abs(x) <= DRAWABLE && Math.abs(y) <= DRAWABLE))
            return void ++beyond;
        minX = Math.min(minX, x), maxX = Math.max(maxX, x), minY = Math.min(minY, y), maxY = Math.max(maxY, y);
    };
    for (let i = 0; i < lines.length; i += 2)
        take(lines[i], lines[i + 1]);
    for (let i = 0; i < drawing.shown.lines.length; i += 2)
        take(drawing.shown.lines[i], drawing.shown.lines[i + 1]);
    const p = indicated();
    if (p)
        take(p[0], p[1]);
    if (minX === Infinity)
        minX = maxX = minY = maxY = 0;
    resize();
    const w = Math.max(maxX - minX, 1e-9), h = Math.max(maxY - minY, 1e-9);
    view.scale = 0.9 * Math.min(canvas.width / w, canvas.height / h);
    view.cx = minX / 2 + maxX / 2;
    view.cy = minY / 2 + maxY / 2;
    draw();
    if (beyond > 0)
        complain("beyond", { limit: DRAWABLE.toExponential(0) });
}

// Whether a line the run turned was wholly in the view and reaches past it now; lines out
// of sight before (the user zoomed in on a part) leave the view as it is.
function pastView(after, before) {
    const s = view.scale, ox = canvas.width / 2 - view.cx * s, oy = canvas.height / 2 + view.cy * s;
    const inside = (lines, i) => {
        const x = ox + lines[i] * s, y = oy - lines[i + 1] * s;
        return x >= 0 && y >= 0 && x <= canvas.width && y <= canvas.height;
    };
    const lines = after.lines, kept = after.kept;
    for (let j = 0; j < kept.length; ++j) {
        const i = 4 * kept[j], k = 4 * j;
        if (lines[k] === before[i] && lines[k + 1] === before[i + 1] && lines[k + 2] === before[i + 2] &&
            lines[k + 3] === before[i + 3])
            continue;  // not turned
        if (inside(before, i) && inside(before, i + 2) && !(inside(lines, k) && inside(lines, k + 2)) &&
            Math.abs(lines[k]) <= DRAWABLE && Math.abs(lines[k + 1]) <= DRAWABLE &&
            Math.abs(lines[k + 2]) <= DRAWABLE && Math.abs(lines[k + 3]) <= DRAWABLE)
            return true;
    }
    return false;
}

// Whether a line of `lines` reaches beyond what can be drawn.
function beyondDrawable(lines) {
    for (let i = 0; i < lines.length; ++i)
        if (!(Math.abs(lines[i]) <= DRAWABLE))
            return true;
    return false;
}

function resize() {
    const ratio = window.devicePixelRatio || 1;
    const w = Math.round(canvas.clientWidth * ratio), h = Math.round(canvas.clientHeight * ratio);
    if (canvas.width !== w || canvas.height !== h)
        canvas.width = w, canvas.height = h;
}

// Lines `from` to `to` in the colour (0xRRGGBB) that `colourOf` gives their index; one path a colour.
function strokeLines(g, shown, colourOf, width, from, to) {
    const lines = shown.lines;
    const paths = new Map();
    const s = view.scale, ox = canvas.width / 2 - view.cx * s, oy = canvas.height / 2 + view.cy * s;
    for (let i = from; i < to; ++i) {
        const colour = colourOf(i);
        let path = paths.get(colour);
        if (path === undefined)
            paths.set(colour, path = new Path2D());
        const x1 = ox + lines[4 * i] * s, y1 = oy - lines[4 * i + 1] * s;
        const x2 = ox + lines[4 * i + 2] * s, y2 = oy - lines[4 * i + 3] * s;
        if (isFinite(x1) && isFinite(y1) && isFinite(x2) && isFinite(y2)) {
            path.moveTo(x1, y1);
            path.lineTo(x2, y2);
        }
    }
    g.lineWidth = width;
    for (const [colour, path] of paths) {
        g.strokeStyle = hex(colour);
        g.stroke(path);
    }
}

const hex = (rgb) => "#" + rgb.toString(16).padStart(6, "0");

// Draws the view: a drawing of many lines in slices of frames, so that the page answers
// meanwhile; a later draw takes the place of one not finished.
let drawn = 0;  // the newest draw
const SLICE = 40000;  // lines a slice, some 10 ms
function draw() {
    const mine = ++drawn;
    resize();
    const g = canvas.getContext("2d");
    g.fillStyle = "#ffffff";
    g.fillRect(0, 0, canvas.width, canvas.height);
    if (!drawing)
        return;
    const ratio = window.devicePixelRatio || 1;
    const shown = drawing.shown;
    const steps = [];
    const stroke = (lines, colourOf, width) => {
        for (let from = 0, n = lines.lines.length / 4; from < n; from += SLICE)
            steps.push(() => strokeLines(g, lines, colourOf, width, from, Math.min(n, from + SLICE)));
    };
    // Many lines are drawn one pixel wide, which is drawn fastest; wider, a few stand out.
    const many = shown.lines.length / 4 > 20000;
    if (result && result.after) {
        const after = result.after, pivots = result.pivots;
        stroke(result.before, () => 0xbbbbbb, 1 * ratio);
        stroke(after, afterColour, (many ? 1 : 2) * ratio);
        steps.push(() => {
            g.fillStyle = "#000000";
            for (const [x, y] of apart(pivots, 12 * ratio))
                g.fillRect(x - 3 * ratio, y - 3 * ratio, 6 * ratio, 6 * ratio);
        });
    } else {
        const chosen = new Set(drawing.shown.layers.length ? chosenLayers() : []);
        const all = shown.layers.length === 0;
        stroke(shown, (i) => all || chosen.has(shown.layers[shown.layerOf[i]]) ? shown.colours[i] : 0xd0d0d0,
               (many ? 1 : 1.5) * ratio);
    }
    steps.push(() => drawPoint(g, ratio));
    const go = () => {
        for (const until = performance.now() + 12; steps.length > 0 && mine === drawn;) {
            steps.shift()();
            if (performance.now() > until)
                break;
        }
        if (steps.length > 0 && mine === drawn)
            requestAnimationFrame(go);
    };
    go();
}

function drawPoint(g, ratio) {
    const p = indicated();
    if (p) {
        const [x, y] = toScreen(p[0], p[1]);
        g.strokeStyle = "#d62728";
        g.lineWidth = 2 * ratio;
        g.beginPath();
        g.arc(x, y, 7 * ratio, 0, 2 * Math.PI);
        g.stroke();
    }
}

// The colour of line `i` of the result: its own where the run selected it; grey, as before the
// run, where not, so that the turned lines alone are in colour.
function afterColour(i) {
    const after = result.after, layers = result.layers || [];
    const selected = after.layers.length === 0 || layers.length === 0 || layers.includes(after.layers[after.layerOf[i]]);
    return selected ? after.colours[i] : 0xbbbbbb;
}

// The pivots on the screen that stand apart: none other in their cell of `cell` pixels or the
// eight around it. Where thousands crowd together, marks would hide the lines' shape.
function apart(pivots, cell) {
    const columns = Math.ceil(canvas.width / cell) + 2, rows = Math.ceil(canvas.height / cell) + 2;
    // Pivots at one point (lines meeting at the corner they turned about) count as one mark.
    const counts = new Uint8Array(columns * rows), firstX = new Float64Array(columns * rows), at = [];
    const firstY = new Float64Array(columns * rows);
    const cellOf = (i) => {
        const [x, y] = toScreen(pivots[i], pivots[i + 1]);
        return x >= 0 && y >= 0 && x < canvas.width && y < canvas.height
            ? (Math.floor(x / cell) + 1) + (Math.floor(y / cell) + 1) * columns : -1;
    };
    for (let i = 0; i < pivots.length; i += 2) {
        const key = cellOf(i);
        if (key < 0)
            continue;
        if (counts[key] === 0)
            counts[key] = 1, firstX[key] = pivots[i], firstY[key] = pivots[i + 1];
        else if (firstX[key] !== pivots[i] || firstY[key] !== pivots[i + 1])
            counts[key] = 2;
    }
    for (let i = 0; i < pivots.length; i += 2) {
        const key = cellOf(i);
        let alone = key >= 0 && counts[key] === 1;
        for (const dy of [-columns, 0, columns])
            for (const dx of [-1, 0, 1])
                alone = alone && (dx === 0 && dy === 0 || counts[key + dx + dy] === 0);
        if (alone) {
            counts[key] = 3;  // marked: a pivot at the same point again is not drawn again
            at.push(toScreen(pivots[i], pivots[i + 1]));
        }
    }
    return at;
}

function zoom(factor, px, py) {
    const [x, y] = px === undefined ? [view.cx, view.cy] : toDrawing(px, py);
    view.scale *= factor;
    // the point under the cursor stays where it is
    const [nx, ny] = px === undefined ? [view.cx, view.cy] : toDrawing(px, py);
    view.cx += x - nx;
    view.cy += y - ny;
    draw();
}

// A clicked point, to the decimals a pixel can tell at this zoom.
function setPoint(px, py) {
    const [x, y] = toDrawing(px, py);
    const decimals = Math.max(0, Math.min(12, Math.ceil(-Math.log10(1 / view.scale))));
    $("x").value = String(Number(x.toFixed(decimals)));
    $("y").value = String(Number(y.toFixed(decimals)));
    const stopped = forgetResult();
    const shown = { x: $("x").value, y: $("y").value };
    say(() => w("indicated", shown) + (stopped ? " " + w("stoppedForChange") : ""));
}

// --- steps back and forth ------------------------------------------------------------------

// Whether the drawing shown differs from the one opened.
function changed() {
    return history.back.length > 0;
}

function showSteps() {
    $("undo").disabled = running || history.back.length === 0;
    $("redo").disabled = running || history.forth.length === 0;
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

// Undo (-1) or redo (+1): the drawing becomes the one before or after, read again for the view.
function step(direction) {
    const [from, to] = direction < 0 ? [history.back, history.forth] : [history.forth, history.back];
    if (running || !drawing || from.length === 0)
        return;
    const { bytes, back } = applyPatch(drawing.bytes, from.pop());
    to.push(back);
    forgetResult();
    drawing = { name: drawing.name, bytes, shown: drawing.shown, version: ++versions };
    stepped = direction;
    showSteps();
    setBusy(true);
    $("stop").disabled = true;  // a moment's reading, which leaves nothing half done to stop
    opening = bytes;
    stepping = true;
    worker.postMessage({ kind: "open", id: ++jobs, name: drawing.name, bytes: bytes.slice() });
    workerHolds = drawing.version;
}

// --- events --------------------------------------------------------------------------------

$("file").addEventListener("change", () => { if ($("file").files[0]) open($("file").files[0]); });
$("run").addEventListener("click", run);
$("save").addEventListener("click", save);
$("stop").addEventListener("click", stop);
$("fit").addEventListener("click", fit);
$("undo").addEventListener("click", () => step(-1));
$("redo").addEventListener("click", () => step(1));
// Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z step through the results, but not in a field, whose own they are.
document.addEventListener("keydown", (e) => {
    if (!(e.ctrlKey || e.metaKey) || (e.target instanceof HTMLInputElement && e.target.type !== "checkbox"))
        return;
    const key = e.key.toLowerCase();
    if (key === "z" || key === "y") {
        e.preventDefault();
        step(key === "y" || e.shiftKey ? 1 : -1);
    }
});
$("zoom-in").addEventListener("click", () => zoom(1.5));
$("zoom-out").addEventListener("click", () => zoom(1 / 1.5));
for (const id of ["x", "y", "angle"]) {
    $(id).addEventListener("input", settingChanged);
    $(id).addEventListener("keydown", (e) => { if (e.key === "Enter") run(); });
}
window.addEventListener("resize", draw);
// Leaving with a drawing changed and not saved asks first.
window.addEventListener("beforeunload", (e) => {
    if (drawing && drawing.version !== saved && changed()) {
        e.preventDefault();
        e.returnValue = "";
    }
});
// Esc stops a run, as the Stop button does, wherever the focus is.
document.addEventListener("keydown", (e) => { if (e.key === "Escape" && !$("stop").disabled) stop(); });

let press = null;
canvas.addEventListener("pointerdown", (e) => {
    press = { x: e.offsetX, y: e.offsetY, cx: view.cx, cy: view.cy, moved: false };
    canvas.setPointerCapture(e.pointerId);
});
canvas.addEventListener("pointermove", (e) => {
    if (!press)
        return;
    const dx = e.offsetX - press.x, dy = e.offsetY - press.y;
    if (Math.abs(dx) + Math.abs(dy) > 4)
        press.moved = true;
    if (press.moved) {
        const ratio = window.devicePixelRatio || 1;
        view.cx = press.cx - dx * ratio / view.scale;
        view.cy = press.cy + dy * ratio / view.scale;
        draw();
    }
});
canvas.addEventListener("pointerup", (e) => {
    const ratio = window.devicePixelRatio || 1;
    if (press && !press.moved && drawing)
        setPoint(e.offsetX * ratio, e.offsetY * ratio);
    press = null;
});
canvas.addEventListener("wheel", (e) => {
    e.preventDefault();
    const ratio = window.devicePixelRatio || 1;
    zoom(e.deltaY < 0 ? 1.25 : 0.8, e.offsetX * ratio, e.offsetY * ratio);
}, { passive: false });
canvas.addEventListener("keydown", (e) => {
    const step = 60 / view.scale;
    const keys = {
        ArrowLeft: () => { view.cx -= step; draw(); }, ArrowRight: () => { view.cx += step; draw(); },
        ArrowUp: () => { view.cy += step; draw(); }, ArrowDown: () => { view.cy -= step; draw(); },
        "+": () => zoom(1.5), "=": () => zoom(1.5), "-": () => zoom(1 / 1.5), f: fit, F: fit,
        Enter: () => setPoint(canvas.width / 2, canvas.height / 2),
    };
    if (keys[e.key]) {
        e.preventDefault();
        keys[e.key]();
    }
});
canvas.addEventListener("dragover", (e) => { e.preventDefault(); canvas.classList.add("dropping"); });
canvas.addEventListener("dragleave", () => canvas.classList.remove("dropping"));
canvas.addEventListener("drop", (e) => {
    e.preventDefault();
    canvas.classList.remove("dropping");
    if (e.dataTransfer.files[0])
        open(e.dataTransfer.files[0]);
});
$("language").addEventListener("click", () => {
    language = language === "ja" ? "en" : "ja";
    try {
        localStorage.setItem("linetilt-language", language);
    } catch (e) {
        // not kept: this page alone speaks it
    }
    speak();
});
speak();
draw();
