// The page's user interface: choosing a drawing, the point, the angle and the layers, drawing
// the lines before and after, and saving. The work itself is the worker's.
"use strict";

const $ = (id) => document.getElementById(id);
const LINES_PER_RUN = 24999;  // the tool's record limit, less the two head records, over two records a line

const workerScript = URL.createObjectURL(new Blob([$("worker-source").textContent], { type: "text/javascript" }));
let worker = startWorker();
let drawing = null;  // {name, bytes, shown}
let opening = null;  // the bytes of the drawing being opened
let lent = null;     // the drawing whose bytes a run holds, till the worker gives them back
let afterGiven = []; // what waits for them: a save, a run, a step
let ending = false;  // the worker is stopped, and ends once it has given them back
let queued = [];     // the jobs for the worker after it: [message, transferred]
let result = null;   // the last run's, while its inputs stand
let running = false; // a run is in flight
let jobs = 0;        // the id of the newest request; older answers are ignored
let runs = 1;        // the runs of the tool the current run makes, for the progress bar
let started = 0;     // when it started
let runOf = null;    // the options the current run was given, and the lines picked for it
let picks = null;    // for each line of the drawing shown, 1 where the user picked it
let pickCount = 0;   // how many are: none, and the lines of the ticked layers turn
let stepPicks = null; // the picks a step back or forth brings, once its drawing is read
let summary = null;  // the last run's numbers, as the stand-in counted them
let stepping = false;    // a step back or forth being made: {from, to: the lists it leaves and goes to, taken: the step}
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
// The summary of a run in the page's words, from the stand-in's numbers, grouped by digits;
// in English lines are counted as "1 line", "2 lines".
// A count with its digits grouped, as the language writes it.
const grouped = (count) => Number(count).toLocaleString(language === "ja" ? "ja-JP" : "en-US");

function summaryText(values) {
    const n = (name) => Number(values[name]);
    const lines = (count) => grouped(count) + (language !== "en" ? "" : count === 1 ? " line" : " lines");
    const pivots = [["sumPivot1", "first"], ["sumPivot2", "middle"], ["sumPivot3", "second"]]
        .filter(([, name]) => n(name) > 0).map(([key, name]) => w(key, { n: grouped(n(name)) }));
    const out = [w("sumTurned", { turned: lines(n("turned")), angle: values.angle,
                                  about: pivots.length ? w("sumAbout", { pivots: pivots.join(w("sumPivotJoin")) }) : "" })];
    if (n("selected") !== n("turned"))
        out.push(w("sumSelected", { selected: lines(n("selected")) }));
    // A line of no length is gone from the host's record text, and stays in a DXF drawing.
    const counted = [[values.kind === "records" ? "sumDropped" : "sumKept", "dropped"], ["sumCollapsed", "collapsed"],
                     ["sumStretched", "stretched"]];
    for (const [key, name] of counted)
        if (n(name) > 0)
            out.push(w(key, { [name]: lines(n(name)) }));
    out.push(w("sumRuns", { runs: grouped(n("runs")) }));
    return out.join("\n");
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
    showPicked();
    showCommand();
}

// The control used to start the work, which disabling drops the focus from: given it back after.
let focusBack = null;

function setBusy(busy) {
    if (busy && document.activeElement && document.activeElement !== document.body)
        focusBack = document.activeElement;
    $("run").disabled = busy || !drawing;
    $("stop").disabled = !busy;
    $("file").disabled = busy;
    $("undo").disabled = busy || history.back.length === 0;
    $("redo").disabled = busy || history.forth.length === 0;
    $("save-picture").disabled = busy || history.back.length === 0;
    document.body.setAttribute("aria-busy", busy ? "true" : "false");
    if (!busy && focusBack && (!document.activeElement || document.activeElement === document.body) &&
        !focusBack.disabled)
        focusBack.focus();
    if (!busy)
        focusBack = null;
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
    showCommand();
    return stopped;
}

function settingChanged() {
    if (forgetResult())
        say("stoppedForChange");
}

// --- opening -------------------------------------------------------------------------------

let reading = 0;  // the newest file asked for; one read before it is not opened
let openingName = "";  // its name as chosen

let choseAt = 0;  // when the file being opened was chosen

async function open(file) {
    if (stepping)
        return;  // the file control is disabled meanwhile
    choseAt = performance.now();
    complain(null);
    const kept = { drawing, back: history.back, forth: history.forth, layers: $("layers-box").hidden };
    history.back = [], history.forth = [];  // another drawing: no step of this one's applies
    forgetResult();
    const mine = ++reading;  // after a run is stopped, which gives up a file being read
    drawing = null;
    $("layers-box").hidden = true;
    setBusy(true);
    $("progress").removeAttribute("value");  // working, no measure yet
    say("reading", { name: file.name });
    let bytes;
    try {
        bytes = new Uint8Array(await file.arrayBuffer());
    } catch (e) {
        // Moved or changed since it was chosen: the drawing open stays, with its steps.
        if (mine !== reading)
            return;
        drawing = kept.drawing, history.back = kept.back, history.forth = kept.forth;
        $("layers-box").hidden = kept.layers;
        setBusy(false);
        showSteps();
        say(null);
        complain("unreadable", { name: file.name });
        draw();
        return;
    }
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
    openingName = file.name;
    // Handed over, not copied: the worker hands the bytes back with what it read of them. A
    // drawing stopped while it opens is given up, and nothing else is lost with it.
    send({ kind: "open", id: ++jobs, name: file.name, bytes: opening }, [opening.buffer]);
}

function opened(message) {
    $("progress").value = 0;
    if (message.bytes)
        opening = message.bytes;  // the bytes sent, back from the worker
    if (stepping && message.error) {
        opening = null;
        stepFailed();
        complainOf(message.reason, message.error);
        return;
    }
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
        const { to, taken } = stepping;
        stepping = false;
        to.push({ patch: message.back, options: taken.options, picks: taken.picks });
        showSteps();
        // A step leaves the handles as they were: counted once, else while the user looks.
        const counted = message.shown;
        if (sameNames(counted.handles, drawing.shown.handles) && sameNames(counted.hiddenHandles, drawing.shown.hiddenHandles))
            counted.handleCounts = drawing.shown.handleCounts;
        else
            countSoon(counted);
        const ticked = chosenLayers();
        drawing = { ...drawing, bytes: opening, shown: message.shown, version: ++versions };
        opening = null;
        const n = message.shown.lines.length / 4;
        picks = stepPicks && stepPicks.length === n ? stepPicks : new Uint8Array(n);
        stepPicks = null;
        countPicks();
        setBusy(false);
        showLayers(message.shown.layers, ticked);
        complain(null);
        say(stepped < 0 ? "undone" : "redone");
        $("save").disabled = !changed();
        draw();
        settled();  // a save, or another press of Undo, that came meanwhile
        return;
    }
    drawing = { name: message.name, file: openingName, bytes: opening, shown: message.shown, version: ++versions,
                seconds: (performance.now() - choseAt) / 1000 };  // from the file chosen to ready to tilt
    countSoon(drawing.shown);
    opening = null;
    picks = new Uint8Array(message.shown.lines.length / 4);
    countPicks();
    saved = drawing.version;
    $("save-name").value = tilted(drawing.file);
    setBusy(false);
    showLayers(message.shown.layers);
    const count = message.shown.lines.length / 4;
    const notDrawn = message.shown.notDrawn;
    say(() => w("opened", { name: drawing.file, count: grouped(count), lines: count === 1 ? "line" : "lines",
                            others: notDrawn ? w(notDrawn === 1 ? "oneOther" : "others", { count: notDrawn }) : "" }));
    fit(false);  // a point kept from another drawing may lie far from this one
    showCommand();
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
        check.addEventListener("change", layerTicked);
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

function numberText(id, what, mark = true) {
    const text = halfWidth($(id).value), typed = $(id).value.trim();
    const bad = (words) => { if (mark) $(id).setAttribute("aria-invalid", "true"); return words; };
    // A number field holds "" for what is not a number: the browser says which.
    if (text === "" && !$(id).validity.badInput)
        throw bad(() => w("missing", { what: w(what), click: id === "angle" ? "" : w("missingClick") }));
    if (!/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(text) || !isFinite(Number(text)))
        throw bad(() => w("notNumber", { what: w(what), text: typed }));
    return text;
}

// The options of a run as the settings shown give them; throws the words of what is wrong.
function runOptions(mark = true) {
    const at = numberText("x", "x", mark) + "," + numberText("y", "y", mark);
    const angle = numberText("angle", "angleName", mark);
    if (!(Math.abs(Number(angle)) < 360)) {
        if (mark)
            $("angle").setAttribute("aria-invalid", "true");
        throw () => w("angleRange");
    }
    const options = { at, angle, layers: [] }, shown = drawing.shown;
    // Every line picked is asked as no pick, where the stand-in would select no other: not
    // where a LINE the page does not draw (a coordinate that is no number) would be one.
    if (pickCount > 0 && (pickCount < countPickable() || shown.notDrawn > 0)) {
        // Lines picked one by one reach the stand-in as its own selection: a DXF line by its
        // handle, where the file gives it one that names no other line, else by the line of
        // the file it stands at.
        options.handles = [], options.numbers = [];
        const count = handleCounts(shown), value = [0, 0], named = [];
        for (let i = 0; i < picks.length; ++i)
            if (picks[i]) {
                if (handleValue(shown.handles, i, value, true) && count(value[0], value[1]) === 1)
                    named.push(i);
                else
                    options.numbers.push(shown.numbers[i]);
            }
        // One text of them all, as the option takes them: made at once, not a string each.
        if (named.length > 0)
            options.handles.push(joinedNames(shown.handles, named));
    } else if (shown.layers.length > 0) {
        options.layers = chosenLayers();
        if (options.layers.length === 0)
            throw () => w("chooseLayer");
        if (options.layers.length === shown.layers.length)
            options.layers = [];  // all of them: as the command line without --layer
    }
    let room = 0;  // of the arguments, about: their lengths and a comma each
    for (const names of [options.handles || [], options.numbers || []])
        for (const name of names)
            room += String(name).length + 1;
    if (room > ARGUMENTS_ROOM)
        throw () => w("tooManyPicks");
    return options;
}

const ARGUMENTS_ROOM = 30e6;  // bytes of the stand-in's arguments its stack holds, with room to spare

// How many lines may be picked: all of them picked is the same as none, and is asked so.
function countPickable() {
    const canPick = pickable();
    let count = 0;
    for (let i = 0, n = drawing.shown.lines.length / 4; i < n; ++i)
        count += canPick(i) ? 1 : 0;
    return count;
}

// A handle as the stand-in compares them: hexadecimal in either case, leading zeros left
// out, 16 digits at most (as the option takes them): its value into `value` as two 32-bit
// halves, and true; false for a handle of other characters or more digits. `asWritten`: no
// more than 16 characters as the drawing writes it, leading zeros counted, as --handle
// takes no other.
function handleValue(names, i, value, asWritten) {
    const bytes = names.bytes, start = names.starts[i] + 4, end = start + sizeAt(bytes, names.starts[i]);
    if (end === start || (asWritten && end - start > 16))
        return false;
    let k = start;
    while (k < end - 1 && bytes[k] === 0x30)
        ++k;
    if (end - k > 16)
        return false;
    let high = 0, low = 0;
    for (; k < end; ++k) {
        const b = bytes[k], letter = b | 0x20;  // in lowercase
        const digit = b >= 0x30 && b <= 0x39 ? b - 0x30 : b >= 0x41 && letter >= 0x61 && letter <= 0x66 ? letter - 0x57 : -1;
        if (digit < 0)
            return false;
        high = (high << 4 | low >>> 28) >>> 0;
        low = (low << 4 | digit) >>> 0;
    }
    value[0] = high, value[1] = low;
    return true;
}

// The handles counted while the user looks, not when Tilt is pressed with lines picked.
function countSoon(shown) {
    (window.requestIdleCallback || setTimeout)(() => handleCounts(shown));
}

// Whether two packedNames hold the same names in the same order.
function sameNames(a, b) {
    if (a.bytes.length !== b.bytes.length || a.starts.length !== b.starts.length)
        return false;
    for (let i = 0; i < a.bytes.length; ++i)
        if (a.bytes[i] !== b.bytes[i])
            return false;
    return true;
}

// How many LINEs a handle's value names, those the page does not draw included (the stand-in
// looks at them too): a drawing may give two lines one handle. Counted once for a drawing, in
// a table of numbers: a million handles as strings in a Map froze the page for a second.
function handleCounts(shown) {
    if (shown.handleCounts)
        return shown.handleCounts;
    const n = shown.handles.starts.length + shown.hiddenHandles.starts.length;
    let size = 2;
    while (size < 2 * n)
        size *= 2;
    const highs = new Uint32Array(size), lows = new Uint32Array(size), counts = new Uint32Array(size);
    // Every bit of both halves stirred into the slot, from a seed of this page's own: handles
    // that differ only in their high digits must not all fall on one slot.
    const seed = Math.random() * 0x100000000 >>> 0;
    const slot = (high, low) => {
        let h = Math.imul(low ^ seed, 0xcc9e2d51);
        h = Math.imul(h << 15 | h >>> 17, 0x1b873593) ^ high;
        h = Math.imul(h ^ h >>> 16, 0x85ebca6b);
        h = Math.imul(h ^ h >>> 13, 0xc2b2ae35);
        let at = (h ^ h >>> 16) >>> 0 & size - 1;
        while (counts[at] !== 0 && (highs[at] !== high || lows[at] !== low))
            at = at + 1 & size - 1;
        return at;
    };
    const value = [0, 0];
    for (const names of [shown.handles, shown.hiddenHandles])
        for (let i = 0; i < names.starts.length; ++i)
            if (handleValue(names, i, value, false)) {
                const at = slot(value[0], value[1]);
                highs[at] = value[0], lows[at] = value[1], ++counts[at];
            }
    return shown.handleCounts = (high, low) => counts[slot(high, low)];
}

function run() {
    if (!drawing || running || stepping || waitForBytes(run))
        return;
    complain(null);
    let options;
    try {
        options = runOptions();
    } catch (e) {
        say(null);  // a "Done" of before would read as this run's
        show("message", typeof e === "function" ? e : () => String(e && e.message || e));
        return;
    }
    forgetResult();
    const shown = drawing.shown;
    let selected = pickCount;
    if (pickCount === 0) {
        const chosen = new Set(options.layers.length ? options.layers : shown.layers);
        for (let i = 0; i < shown.layerOf.length; ++i)
            if (shown.layers.length === 0 || chosen.has(shown.layers[shown.layerOf[i]]))
                ++selected;
    }
    runs = Math.max(1, Math.ceil(selected / LINES_PER_RUN));
    $("progress").max = runs;
    $("progress").value = 0;
    setBusy(true);
    say(() => w("tilting", { count: grouped(selected), runs: language === "en" ? runs + (runs === 1 ? " run" : " runs") : runs }));
    started = performance.now();
    runOf = { options, picks: pickCount > 0 ? picks.slice() : null };
    running = true;
    // Lent, not copied: the worker gives the bytes back as soon as the stand-in has read them
    // (a tenth of a second at a million lines), and the drawing is held once the while.
    const sent = lend();
    send({ kind: "run", id: ++jobs, name: drawing.name, bytes: sent, lent: true, options: { ...options, view: true } },
         [sent.buffer]);
}

// The drawing's bytes, lent to the worker: the page holds them no more till they come back.
function lend() {
    lent = drawing;
    const bytes = drawing.bytes;
    drawing.bytes = null;
    return bytes;
}

// Whether the drawing's bytes are lent to the worker, or a step is being made of them: then
// `then` is done once the drawing is settled; once however often it is asked for, unless
// `each` (every press of Undo counts).
function waitForBytes(then, each = false) {
    if (!lent && !stepping)
        return false;
    if (each || !afterGiven.includes(then))
        afterGiven.push(then);
    return true;
}

// The drawing is settled: what waited for it is done, in turn.
function settled() {
    while (!lent && !stepping && afterGiven.length > 0)
        afterGiven.shift()();
}

// The drawing's bytes, back from the worker: a worker stopped meanwhile is ended now, and
// what waited for them is done.
function givenBack(bytes) {
    if (!lent)
        return;
    lent.bytes = bytes;
    lent = null;
    if (ending)
        restartWorker();
    settled();
}

// Jobs for the worker; for the next one where the one there now is to end.
function send(message, moved) {
    if (ending)
        queued.push([message, moved]);
    else
        worker.postMessage(message, moved);
}

function restartWorker() {
    worker.terminate();
    worker = startWorker();
    ending = false;
    const waiting = queued;
    queued = [];
    waiting.forEach(([message, moved]) => worker.postMessage(message, moved));
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
    result.options = runOf.options;
    result.picks = runOf.picks;
    result.before = drawing.shown;
    if (result.after)
        carryOver(result.after, drawing.shown, runOf.picks);
    // The result is the drawing now: the next tilt works on it, and Undo goes back.
    if (result.after && result.changes) {
        history.back.push({ patch: result.changes, options: runOf.options, picks: { back: runOf.picks, forth: runOf.picks && picks.slice() } });
        history.forth = [];
        drawing = { ...drawing, bytes: result.bytes, shown: result.after, version: ++versions };
    }
    $("save").disabled = !changed();
    showSteps();
    complainText(message.stderr.replace(/^linetilt-host: /gm, "").trim());
    if (result.after && !message.stderr && beyondDrawable(result.after.lines))
        complain("beyond", { limit: DRAWABLE.toExponential(0) });
    const job = jobs, shown = result;
    whenDrawn.push(() => {
        if (job !== jobs || shown !== result)
            return;  // another job began meanwhile: its own "Done" is to come
        const seconds = result.seconds = (performance.now() - started) / 1000;  // until the result is drawn whole
        // Worded again in the other language, when the result may be gone.
        const said = summary ? summaryText.bind(null, summary) : () => message.stdout.split("\n")[0] + ".";
        say(() => w("done", { seconds: seconds.toFixed(2) }) + " " + said().split("\n")[0]);
        document.body.dataset.done = String(jobs);
        showCommand();
    });
    // Lines turned off the edge would be lost to sight: the view takes them in, once.
    if (result.after && pastView(result.after, result.before.lines))
        fit();
    else
        draw();
}

// The lines after a run take what the page knows of the lines they were: colour, layer, name
// to the stand-in, and whether picked; the rest of the drawing is as it was.
function carryOver(after, shown, picked) {
    const kept = after.kept;
    const all = kept.length === shown.colours.length;  // none gone: the same lines in the same order
    const take = (values) => all ? values : values instanceof Array ? Array.from(kept, (i) => values[i]) : kept.map((i) => values[i]);
    after.colours = take(shown.colours);
    after.layerOf = take(shown.layerOf);
    after.handles = { bytes: shown.handles.bytes, starts: take(shown.handles.starts) };
    if (all)
        after.handleCounts = shown.handleCounts;  // the same handles: counted once
    after.numbers = take(shown.numbers);
    if (!all && shown.layers.length === 0) {
        // Record text: the line records the tool dropped are gone, and the lines after them
        // stand that many lines higher in the file.
        let gone = 0;
        after.numbers = new Uint32Array(kept.length);
        for (let j = 0, i = 0; j < kept.length; ++j, ++i) {
            for (; i < kept[j]; ++i)
                ++gone;
            after.numbers[j] = shown.numbers[i] - gone;
        }
    }
    for (const same of ["layers", "notDrawn", "backdrop", "arcs", "marks", "corners", "hiddenHandles"])
        after[same] = shown[same];
    // A copy: the step kept for Undo holds the picks before, which picking later must not change.
    picks = picked ? Uint8Array.from(take(picked)) : new Uint8Array(kept.length);
    countPicks();
}

// The name to save under, as the user left it; the opened name with "-tilted" where it is
// empty. A folder cannot be named: what comes after the last slash is the name.
function saveName() {
    return safeName($("save-name").value.trim().split(/[\/\\]/).pop()) || safeName(tilted(drawing.file)) || "drawing";
}

// A name as the browser saves it: what Windows refuses in a name becomes "_", and a leading
// dot or tilde goes, so that the name said and shown in the command is the file's.
function safeName(name) {
    return name.replace(/[<>:"/\\|?*\x00-\x1f]/g, "_").replace(/^~/, "_").replace(/^[.\s]+|[.\s]+$/g, "");
}

// The name "NAME-tilted.EXT" for a drawing NAME.EXT.
const tilted = (name) => name.replace(/(\.[^.]*)?$/, (ext) => "-tilted" + (ext || ""));

function save() {
    if (!drawing || !changed())
        return;
    if (waitForBytes(save, true))  // each click, of the drawing as it stands then
        return;
    if (!drawing.bytes)
        return complain("pageFailed", { message: "—" });  // lost with a failed worker: nothing half-saved
    const name = saveName();
    saved = drawing.version;
    download(drawing.bytes, name, "application/octet-stream");
    say("saved", { name });
}

function download(bytes, name, type) {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([bytes], { type }));
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

function startWorker() {
    const started = new Worker(workerScript);
    started.onmessage = answered;
    started.onerror = (event) => {
        if (started !== worker)
            return;  // ended already
        // A worker that failed outside any job gives nothing back: what waited for it waits no more.
        lent = null, afterGiven = [];
        if (stepping)
            stepFailed();
        if (ending)
            restartWorker();
        running = false;
        setBusy(false);
        complain("pageFailed", { message: event.message });
    };
    return started;
}

// A run cannot be stopped from within: its worker is ended, and a new one takes its place.
// One that holds the drawing's bytes is ended once it has given them back, within moments:
// the run is forgotten at once, and jobs meanwhile go to the new worker.
function stop() {
    if (lent)
        ending = true;
    else
        restartWorker();
    ++jobs;  // whatever the old one said is no longer awaited
    ++reading;  // nor a file still being read
    running = false;
    setBusy(false);
    $("progress").value = 0;
    say(drawing ? "stopped" : "stoppedNothing");
}

function answered(event) {
    const message = event.data;
    if (message.kind === "ready")
        return void (document.body.dataset.ready = "");  // its code compiled well: for the bench
    if (message.kind === "given back")
        return givenBack(message.bytes);
    if (message.id !== jobs)
        return;
    if (message.kind === "opened")
        opened(message);
    else if (message.kind === "progress" && message.phase === "open") {
        $("progress").max = 1;
        $("progress").value = message.fraction;
    } else if (message.kind === "progress")
        $("progress").value = Math.min(message.done, runs);
    else if (message.kind === "result" && message.id === picturing)
        pictured(message);
    else if (message.kind === "result")
        finished(message);
    else if (message.kind === "failed") {
        running = false;
        setBusy(false);
        if (stepping)
            stepFailed();
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

// The view fits the drawing, and the indicated point where `withPoint`.
function fit(withPoint = true) {
    if (!drawing)
        return;
    const lines = (result && result.after ? result.after : drawing.shown).lines;
    let minX = Infinity, minY = Infinity, maxX = -Infinity, maxY = -Infinity;
    const p = withPoint !== false ? indicated() : null;
    const arcs = arcsBox(drawing.shown.arcs || []);
    let beyond = arcs.beyond;
    // In one plain loop: a drawing's millions of points would freeze the page in calls.
    for (const points of [lines, drawing.shown.lines, drawing.shown.backdrop || [], arcs.box, drawing.shown.marks || [], p || []])
        for (let i = 0; i + 1 < points.length; i += 2) {
            const x = points[i], y = points[i + 1];
            // Far beyond any drawing's units, a point cannot be drawn with the others: left out.
            if (!(x <= DRAWABLE && x >= -DRAWABLE && y <= DRAWABLE && y >= -DRAWABLE)) {
                ++beyond;
                continue;
            }
            if (x < minX)
                minX = x;
            if (x > maxX)
                maxX = x;
            if (y < minY)
                minY = y;
            if (y > maxY)
                maxY = y;
        }
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

// The box of the arcs (x y radius start sweep) that can be drawn, as its two corners, and how
// many cannot: each arc's ends and the points of it farthest left, right, up and down.
function arcsBox(arcs) {
    let minX = Infinity, minY = Infinity, maxX = -Infinity, maxY = -Infinity, beyond = 0;
    for (let i = 0; i + 4 < arcs.length; i += 5) {
        const x = arcs[i], y = arcs[i + 1], r = arcs[i + 2], start = arcs[i + 3], sweep = arcs[i + 4];
        if (!(Math.abs(x) + r <= DRAWABLE && Math.abs(y) + r <= DRAWABLE && isFinite(start) && isFinite(sweep))) {
            ++beyond;
            continue;
        }
        const low = Math.min(start, start + sweep), high = Math.max(start, start + sweep);
        let left = Math.min(Math.cos(low), Math.cos(high)), right = Math.max(Math.cos(low), Math.cos(high));
        let bottom = Math.min(Math.sin(low), Math.sin(high)), top = Math.max(Math.sin(low), Math.sin(high));
        // Five quarter turns at most: a sweep is one turn at most.
        for (let k = Math.ceil(low / (Math.PI / 2)), q = 0; q < 5 && k * Math.PI / 2 <= high; ++k, ++q) {
            const quarter = ((k % 4) + 4) % 4;  // 0 right, 1 up, 2 left, 3 down
            if (quarter === 0)
                right = 1;
            else if (quarter === 1)
                top = 1;
            else if (quarter === 2)
                left = -1;
            else
                bottom = -1;
        }
        minX = Math.min(minX, x + r * left), maxX = Math.max(maxX, x + r * right);
        minY = Math.min(minY, y + r * bottom), maxY = Math.max(maxY, y + r * top);
    }
    return { box: minX <= maxX ? [minX, minY, maxX, maxY] : [], beyond };
}

// Whether a line the run turned was wholly in the view and reaches past it now; lines out
// of sight before (the user zoomed in on a part) leave the view as it is.
function pastView(after, before) {
    const s = view.scale, ox = canvas.width / 2 - view.cx * s, oy = canvas.height / 2 + view.cy * s;
    // The view in drawing units: a point is inside where it lies within these.
    const left = -ox / s, right = (canvas.width - ox) / s, top = oy / s, bottom = (oy - canvas.height) / s;
    const lines = after.lines, kept = after.kept;
    for (let j = 0; j < kept.length; ++j) {
        const i = 4 * kept[j], k = 4 * j;
        const a1 = lines[k], b1 = lines[k + 1], a2 = lines[k + 2], b2 = lines[k + 3];
        if (a1 === before[i] && b1 === before[i + 1] && a2 === before[i + 2] && b2 === before[i + 3])
            continue;  // not turned
        const x1 = before[i], y1 = before[i + 1], x2 = before[i + 2], y2 = before[i + 3];
        const was = x1 >= left && x1 <= right && y1 >= bottom && y1 <= top && x2 >= left && x2 <= right && y2 >= bottom && y2 <= top;
        const is = a1 >= left && a1 <= right && b1 >= bottom && b1 <= top && a2 >= left && a2 <= right && b2 >= bottom && b2 <= top;
        if (was && !is && Math.abs(a1) <= DRAWABLE && Math.abs(b1) <= DRAWABLE && Math.abs(a2) <= DRAWABLE &&
            Math.abs(b2) <= DRAWABLE)
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

// Lines `from` to `to` (those `only` marks, where given) in the colour (0xRRGGBB) that `colourOf`
// gives their index; one path a colour.
function strokeLines(g, shown, colourOf, width, from, to, only) {
    const lines = shown.lines;
    const paths = new Map();
    const s = view.scale, ox = canvas.width / 2 - view.cx * s, oy = canvas.height / 2 + view.cy * s;
    // The backdrop's chords run on from one to the next: a step under a pixel is taken with
    // the next, and a circle smaller than a pixel costs nothing to draw.
    let endX = NaN, endY = NaN, atX = NaN, atY = NaN;
    for (let i = from; i < to; ++i) {
        if (only && !only[i])
            continue;
        if (shown.faint) {
            const x1 = ox + lines[4 * i] * s, y1 = oy - lines[4 * i + 1] * s;
            const x2 = ox + lines[4 * i + 2] * s, y2 = oy - lines[4 * i + 3] * s;
            if (!(isFinite(x1) && isFinite(y1) && isFinite(x2) && isFinite(y2)))
                continue;
            let path = paths.get(colourOf(i));
            if (path === undefined)
                paths.set(colourOf(i), path = new Path2D());
            if (!(Math.abs(x1 - endX) <= 0.01 && Math.abs(y1 - endY) <= 0.01))
                path.moveTo(atX = x1, atY = y1);
            if (!(Math.abs(x2 - atX) < 1 && Math.abs(y2 - atY) < 1))
                path.lineTo(atX = x2, atY = y2);
            endX = x2, endY = y2;
            continue;
        }
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

// The backdrop's arcs `from` to `to` (x y radius start sweep, as the drawing has them); how
// many were in sight. The canvas's Y runs down, so an angle on it is the drawing's negated.
function strokeArcs(g, arcs, from, to, width) {
    const path = new Path2D();
    let seen = 0;
    const s = view.scale, ox = canvas.width / 2 - view.cx * s, oy = canvas.height / 2 + view.cy * s;
    const w = canvas.width, h = canvas.height, half = Math.hypot(w, h) / 2;
    for (let i = from; i < to; ++i) {
        const x = ox + arcs[5 * i] * s, y = oy - arcs[5 * i + 1] * s, r = arcs[5 * i + 2] * s;
        const start = arcs[5 * i + 3], sweep = arcs[5 * i + 4];
        // Off the canvas, or smaller than a pixel: nothing to see.
        if (!(r >= 0.5 && x + r >= 0 && x - r <= w && y + r >= 0 && y - r <= h && isFinite(start) && isFinite(sweep)))
            continue;
        const away = Math.hypot(x - w / 2, y - h / 2);
        if (away + half < r)
            continue;  // the canvas lies inside the circle, clear of it
        ++seen;
        if (r <= 1e5) {
            path.moveTo(x + r * Math.cos(start), y - r * Math.sin(start));
            path.arc(x, y, r, -start, -(start + sweep), sweep > 0);
            continue;
        }
        // Zoomed in so far that the canvas cannot draw the arc itself exactly: the part of it in
        // sight, seen from its centre within `reach` of the canvas's middle, as chords of a
        // quarter of a pixel's depth.
        const toward = Math.atan2(y - h / 2, w / 2 - x), reach = Math.asin(Math.min(1, half / away));
        const low = Math.min(start, start + sweep), high = Math.max(start, start + sweep);
        const step = Math.sqrt(2 / r);  // 2 acos(1 - 1 / (4 r)), which rounds to 0 past 1e15 pixels
        for (let k = -2; k <= 2; ++k) {
            const a = Math.max(low, toward + 2 * Math.PI * k - reach), b = Math.min(high, toward + 2 * Math.PI * k + reach);
            if (!(a < b))
                continue;
            const n = Math.min(1000, Math.ceil((b - a) / step));
            path.moveTo(x + r * Math.cos(a), y - r * Math.sin(a));
            for (let j = 1; j <= n; ++j) {
                const t = a + (b - a) * j / n;
                path.lineTo(x + r * Math.cos(t), y - r * Math.sin(t));
            }
        }
    }
    g.lineWidth = width;
    g.strokeStyle = hex(0xdcdcdc);
    g.stroke(path);
    return seen;
}

// Draws the view: a drawing of many lines in slices, a task or a few each, so that the page
// answers meanwhile; a later draw takes the place of one not finished.
let drawn = 0;  // the newest draw
let behind = null;  // the backdrop as last drawn: {key of the view, backdrop, arcs, marks, canvas}
let whenDrawn = [];  // what waits for the next draw to end
let waitingDraw = [];  // what waits for the draw under way to end
const SLICE = 40000;  // lines a slice, some 10 ms
const ARC_SLICE = 4000;  // arcs a slice: a circle in sight costs the canvas as much as its chords
function draw() {
    const mine = ++drawn;
    resize();
    const g = canvas.getContext("2d");
    g.fillStyle = "#ffffff";
    g.fillRect(0, 0, canvas.width, canvas.height);
    overlaySoon();
    // What waited for a draw that this one takes over from (the user moved the view) waits
    // no longer: the result was on its way to the screen until then.
    const ended = () => {
        const waiting = waitingDraw;
        waitingDraw = [];
        waiting.forEach((then) => then());
    };
    ended();
    waitingDraw = whenDrawn;
    whenDrawn = [];
    if (!drawing)
        return ended();
    const ratio = window.devicePixelRatio || 1;
    const shown = drawing.shown;
    const steps = [];
    const stroke = (lines, colourOf, width, only) => {
        for (let from = 0, n = lines.lines.length / 4; from < n; from += SLICE)
            steps.push(() => strokeLines(g, lines, colourOf, width, from, Math.min(n, from + SLICE), only));
    };
    // The rest of the drawing behind, light: what the lines that turn stand among. It stays as
    // it was through a run, and most often the view too: then it is not drawn again.
    const key = [view.scale, view.cx, view.cy, canvas.width, canvas.height, ratio].join(" ");
    const arcs = shown.arcs || [];
    if (behind && behind.key === key && behind.backdrop === shown.backdrop && behind.arcs === shown.arcs &&
        behind.marks === shown.marks) {
        g.drawImage(behind.canvas, 0, 0);
    } else if ((shown.backdrop && shown.backdrop.length) || arcs.length || (shown.marks && shown.marks.length)) {
        behind = null;
        stroke({ lines: shown.backdrop || [], faint: true }, () => 0xdcdcdc, ratio);
        for (let from = 0, n = arcs.length / 5; from < n; from += ARC_SLICE)
            steps.push(() => strokeArcs(g, arcs, from, Math.min(n, from + ARC_SLICE), ratio));
        steps.push(() => drawMarks(g, shown.marks || [], ratio));
        steps.push(() => {
            if (canvas.width === 0 || canvas.height === 0)
                return;  // a view of no size, as in a narrow window: nothing to keep, nor to copy
            const kept = document.createElement("canvas");
            kept.width = canvas.width, kept.height = canvas.height;
            kept.getContext("2d").drawImage(canvas, 0, 0);
            behind = { key, backdrop: shown.backdrop, arcs: shown.arcs, marks: shown.marks, canvas: kept };
        });
    }
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
        // The picked lines over the rest, wide and orange: blue and the other plain colours are
        // the layers' own in many a drawing.
        if (pickCount > 0)
            stroke(shown, () => 0xff7f00, (many || pickCount > 5000 ? 1 : 3) * ratio, picks);
    }
    steps.push(() => drawPoint(g, ratio));
    const go = () => {
        // The canvas draws arcs in sight after the step that asks for them, outside its time:
        // a task takes ARC_SLICE of them at most.
        for (let until = performance.now() + 12, arcsSeen = 0; steps.length > 0 && mine === drawn;) {
            arcsSeen += steps.shift()() || 0;
            if (performance.now() > until || arcsSeen >= ARC_SLICE)
                break;
        }
        if (steps.length > 0 && mine === drawn)
            soon(go);
        else if (mine === drawn)
            ended();
    };
    go();
}

// `then` as a task of its own, at once: between two, the page answers the user and shows the
// canvas when a frame is due. A slice waiting for the next frame instead left the thread idle
// most of each frame, and drawing 100,000 lines turned took twice as long.
const soon = (() => {
    const channel = new MessageChannel(), waiting = [];
    channel.port1.onmessage = () => waiting.shift()();
    return (then) => {
        waiting.push(then);
        channel.port2.postMessage(null);
    };
})();

// Where a text stands: a small cross, light, as the backdrop.
function drawMarks(g, marks, ratio) {
    const path = new Path2D(), r = 3 * ratio;
    for (let i = 0; i + 1 < marks.length; i += 2) {
        const [x, y] = toScreen(marks[i], marks[i + 1]);
        if (x >= -r && y >= -r && x <= canvas.width + r && y <= canvas.height + r) {
            path.moveTo(x - r, y), path.lineTo(x + r, y);
            path.moveTo(x, y - r), path.lineTo(x, y + r);
        }
    }
    g.strokeStyle = "#b8b8b8";
    g.lineWidth = ratio;
    g.stroke(path);
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
    const after = result.after, layers = result.options.layers || [];
    const selected = result.picks ? picks[i] :
        after.layers.length === 0 || layers.length === 0 || layers.includes(after.layers[after.layerOf[i]]);
    return selected ? after.colours[i] : 0xbbbbbb;
}

// The pivots on the screen that stand apart: none other in their cell of `cell` pixels or the
// eight around it. Where thousands crowd together, marks would hide the lines' shape.
function apart(pivots, cell) {
    const columns = Math.ceil(canvas.width / cell) + 2, rows = Math.ceil(canvas.height / cell) + 2;
    // Pivots at one point (lines meeting at the corner they turned about) count as one mark.
    const counts = new Uint8Array(columns * rows), firstX = new Float64Array(columns * rows), at = [];
    const firstY = new Float64Array(columns * rows);
    // Each pivot's cell, found once: -1 off the canvas.
    const cells = new Int32Array(pivots.length >> 1);
    const { cx, cy, scale } = view, w = canvas.width, h = canvas.height;
    for (let i = 0, p = 0; p < cells.length; i += 2, ++p) {
        const x = (pivots[i] - cx) * scale + w / 2, y = h / 2 - (pivots[i + 1] - cy) * scale;
        const key = x >= 0 && y >= 0 && x < w && y < h ? (Math.floor(x / cell) + 1) + (Math.floor(y / cell) + 1) * columns : -1;
        cells[p] = key;
        if (key < 0)
            continue;
        if (counts[key] === 0)
            counts[key] = 1, firstX[key] = pivots[i], firstY[key] = pivots[i + 1];
        else if (firstX[key] !== pivots[i] || firstY[key] !== pivots[i + 1])
            counts[key] = 2;
    }
    const empty = (key) => counts[key - 1] === 0 && counts[key + 1] === 0;
    for (let p = 0; p < cells.length; ++p) {
        const key = cells[p];
        if (key < 0 || counts[key] !== 1 || !empty(key) || !empty(key - columns) || !empty(key + columns) ||
            counts[key - columns] !== 0 || counts[key + columns] !== 0)
            continue;
        counts[key] = 3;  // marked: a pivot at the same point again is not drawn again
        at.push(toScreen(pivots[2 * p], pivots[2 * p + 1]));
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

// The indicated point set to the texts x and y.
function setPoint(x, y) {
    $("x").value = x;
    $("y").value = y;
    $("x").removeAttribute("aria-invalid"), $("y").removeAttribute("aria-invalid");
    const stopped = forgetResult();
    const shown = { x, y };
    say(() => w("indicated", shown) + (stopped ? " " + w("stoppedForChange") : ""));
}

// --- picking lines and the point -----------------------------------------------------------

// Whether line i of the drawing shown may be picked, as a function: the ticked layers filter
// what can be.
function pickable() {
    const shown = drawing.shown;
    if (shown.layers.length === 0)
        return () => true;
    const ticked = shown.layers.map(() => true);
    for (const check of $("layers").querySelectorAll("input"))
        ticked[Number(check.dataset.layer)] = check.checked;
    return (i) => ticked[shown.layerOf[i]];
}

function countPicks() {
    pickCount = 0;
    for (let i = 0; picks && i < picks.length; ++i)
        pickCount += picks[i] ? 1 : 0;
    showPicked();
}

function showPicked() {
    const count = grouped(pickCount);
    $("picked").textContent = !drawing ? "" : pickCount > 0 ? w("picked", { count }) : w("pickedNone");
}

// Lines `indices` picked (`on`) or taken out; a change of what turns, as any setting's.
function pick(indices, on) {
    let changes = 0;
    for (const i of indices)
        if (!picks[i] !== !on)
            picks[i] = on ? 1 : 0, ++changes;
    if (changes === 0)
        return;
    countPicks();
    settingChanged();
}

// A layer unticked takes its lines out of the picks.
function layerTicked() {
    const canPick = pickable();
    for (let i = 0; picks && i < picks.length; ++i)
        if (picks[i] && !canPick(i))
            picks[i] = 0;
    countPicks();
    settingChanged();
}

// The lines as they are now, for picking and snapping: the result's where there is one.
const linesNow = () => (result && result.after ? result.after : drawing.shown).lines;

// Where a point at pixel (px, py) falls: the end or midpoint it snaps to, unless snapping is
// off or Alt is held; in drawing units.
function pointAt(px, py, free) {
    const [x, y] = toDrawing(px, py);
    if (!drawing || free || !$("snap").checked)
        return { x, y, snapped: null };
    const reach = 8 * (window.devicePixelRatio || 1) / view.scale;
    // The backdrop's corners, not its chords: a point along an arc is no point of the drawing.
    const snapped = snapPoint([linesNow()], drawing.shown.corners || [], x, y, reach);
    return snapped ? { x: snapped.x, y: snapped.y, snapped: snapped.kind } : { x, y, snapped: null };
}

// The line under pixel (px, py) that may be picked, or -1.
function lineAt(px, py) {
    const [x, y] = toDrawing(px, py);
    return nearestLine(linesNow(), pickable(), x, y, 6 * (window.devicePixelRatio || 1) / view.scale);
}

// The lines a window from pixel a to pixel b picks: left to right, those wholly inside;
// right to left, those it touches, as CAD programs do.
function linesInWindow(a, b) {
    const [x1, y1] = toDrawing(a.x, a.y), [x2, y2] = toDrawing(b.x, b.y);
    const box = { minX: Math.min(x1, x2), maxX: Math.max(x1, x2), minY: Math.min(y1, y2), maxY: Math.max(y1, y2) };
    return linesInBox(linesNow(), pickable(), box, b.x < a.x);
}

// The pointer's or the keyboard's marks over the drawing, without drawing its lines again: the
// line a click would pick, the point it would set, the window being dragged.
const hover = { at: null, free: false, window: null, keyboard: false };
function drawOverlay() {
    const overlay = $("overlay");
    if (overlay.width !== canvas.width || overlay.height !== canvas.height)
        overlay.width = canvas.width, overlay.height = canvas.height;
    const g = overlay.getContext("2d"), ratio = window.devicePixelRatio || 1;
    g.clearRect(0, 0, overlay.width, overlay.height);
    $("cursor").textContent = "";
    if (!drawing)
        return;
    if (hover.window) {
        const { a, b } = hover.window, crossing = b.x < a.x;
        g.setLineDash(crossing ? [6 * ratio, 4 * ratio] : []);
        g.strokeStyle = crossing ? "#2a8a2a" : "#1f5fbf";
        g.fillStyle = crossing ? "rgba(42, 138, 42, 0.08)" : "rgba(31, 95, 191, 0.08)";
        g.lineWidth = ratio;
        g.fillRect(Math.min(a.x, b.x), Math.min(a.y, b.y), Math.abs(b.x - a.x), Math.abs(b.y - a.y));
        g.strokeRect(Math.min(a.x, b.x), Math.min(a.y, b.y), Math.abs(b.x - a.x), Math.abs(b.y - a.y));
        g.setLineDash([]);
        return;
    }
    // The keyboard's point is the middle of the view, marked by a cross before Enter sets it.
    const at = hover.at || (hover.keyboard ? { x: canvas.width / 2, y: canvas.height / 2 } : null);
    if (!at)
        return;
    if (hover.keyboard && !hover.at) {
        g.strokeStyle = "#d62728";
        g.lineWidth = ratio;
        g.beginPath();
        g.moveTo(at.x - 12 * ratio, at.y), g.lineTo(at.x + 12 * ratio, at.y);
        g.moveTo(at.x, at.y - 12 * ratio), g.lineTo(at.x, at.y + 12 * ratio);
        g.stroke();
    }
    if (clickPicks()) {
        const i = lineAt(at.x, at.y);
        if (i >= 0) {
            const lines = linesNow(), [x1, y1] = toScreen(lines[4 * i], lines[4 * i + 1]);
            const [x2, y2] = toScreen(lines[4 * i + 2], lines[4 * i + 3]);
            g.strokeStyle = "rgba(255, 127, 0, 0.6)";
            g.lineWidth = 5 * ratio;
            g.beginPath();
            g.moveTo(x1, y1), g.lineTo(x2, y2);
            g.stroke();
        }
        const [x, y] = toDrawing(at.x, at.y);
        $("cursor").textContent = w("cursor", { x: shortNumber(x), y: shortNumber(y) });
        return;
    }
    const point = pointAt(at.x, at.y, hover.free);
    $("cursor").textContent = w("cursor", { x: shortNumber(point.x), y: shortNumber(point.y) });
    if (point.snapped) {
        // A square at an end, a triangle at a midpoint, where the point will fall.
        const [x, y] = toScreen(point.x, point.y), r = 6 * ratio;
        g.strokeStyle = "#d62728";
        g.lineWidth = 2 * ratio;
        g.beginPath();
        if (point.snapped === "end")
            g.rect(x - r, y - r, 2 * r, 2 * r);
        else
            g.moveTo(x, y - r), g.lineTo(x + r, y + r), g.lineTo(x - r, y + r), g.closePath();
        g.stroke();
    }
}

let overlayAsked = false;
function overlaySoon() {
    if (!overlayAsked) {
        overlayAsked = true;
        requestAnimationFrame(() => { overlayAsked = false; drawOverlay(); });
    }
}

// Whether a click picks a line (rather than setting the point).
const clickPicks = () => $("mode-select").checked;

// A coordinate as the field would show it, to the decimals a pixel can tell at this zoom.
function shortNumber(value) {
    const decimals = Math.max(0, Math.min(12, Math.ceil(-Math.log10(1 / view.scale))));
    return String(Number(value.toFixed(decimals)));
}

// The point set at a pixel: exactly the end or midpoint it snaps to, or where it falls.
function setPointAt(px, py, free) {
    const point = pointAt(px, py, free);
    const exact = (v) => Object.is(v, -0) ? "-0" : String(v);
    setPoint(point.snapped ? exact(point.x) : shortNumber(point.x), point.snapped ? exact(point.y) : shortNumber(point.y));
}

// --- the command line and the picture ------------------------------------------------------

// A word as a shell takes it.
function quoted(word) {
    return /^[A-Za-z0-9_.,\/:=+@%-]+$/.test(word) ? word : "'" + word.replace(/'/g, "'\\''") + "'";
}

// A command line takes no argument longer than 128 KiB on Linux, and less on Windows: a
// command naming more lines is shown for what it is, and shortened.
const COMMAND_ROOM = 131072, COMMAND_SHOWN = 20000;

// The command line with which the stand-in does what Tilt would do now, while it is asked for.
function showCommand() {
    if (!$("command-box").open)
        return;
    let text = "";
    try {
        if (drawing) {
            // The drawing as the user has it: the file opened, or once changed, the one saved
            // from the page; a name that begins with a dash is not taken for an option.
            const named = (name) => name.startsWith("-") ? "./" + name : name;
            const [input, output] = changed() ? [saveName(), tilted(saveName())] : [drawing.file, saveName()];
            const args = standInArguments(drawing.name, runOptions(false));
            args[0] = named(input);
            args[args.indexOf("/result/" + drawing.name)] = named(output);
            text = ["linetilt-host", ...args].map(quoted).join(" ");
        }
    } catch (e) {
        text = typeof e === "function" ? e() : String(e && e.message || e);
    }
    $("command").textContent = text.length <= COMMAND_ROOM ? text
        : text.slice(0, COMMAND_SHOWN) + w("commandLong", { length: grouped(text.length) });
}

let picturing = 0;  // the request for a picture awaited

// "Save the picture": the stand-in's own picture of the run that made the drawing shown, made
// again from the drawing before it and that run's settings.
function savePicture() {
    if (!drawing || running || stepping || waitForBytes(savePicture))
        return;
    if (history.back.length === 0)
        return complain("pictureNone");
    const last = history.back[history.back.length - 1];
    complain(null);
    running = true;
    setBusy(true);
    picturing = ++jobs;
    // The drawing before the last step is made by the worker, from the bytes lent it.
    const sent = lend();
    send({ kind: "run", id: jobs, name: drawing.name, bytes: sent, lent: true, patch: last.patch,
           options: { ...last.options, picture: true } }, [sent.buffer]);
}

function pictured(message) {
    running = false;
    setBusy(false);
    if (message.status !== 0 || !message.picture) {
        const why = message.stderr.replace(/^linetilt-host: /gm, "").trim();
        return why || message.reason ? complainOf(message.reason, why) : complain("failed", { status: message.status });
    }
    const name = saveName().replace(/(\.[^.]*)?$/, ".svg");
    download(message.picture, name, "image/svg+xml");
    say("saved", { name });
}

// --- steps back and forth ------------------------------------------------------------------

// Whether the drawing shown differs from the one opened.
function changed() {
    return history.back.length > 0;
}

function showSteps() {
    $("undo").disabled = running || history.back.length === 0;
    $("redo").disabled = running || history.forth.length === 0;
    $("save-picture").disabled = running || history.back.length === 0;
}


// Undo (-1) or redo (+1): the drawing becomes the one before or after, read again for the view.
function step(direction) {
    const [from, to] = direction < 0 ? [history.back, history.forth] : [history.forth, history.back];
    if (running || !drawing || waitForBytes(() => step(direction), true) || from.length === 0)
        return;
    const taken = from.pop();
    // The lines picked before the step, or after it: where the tool dropped a line the lines
    // are others, and the picks go with them.
    const wanted = direction < 0 ? taken.picks.back : taken.picks.forth;
    stepPicks = wanted ? wanted.slice() : null;
    forgetResult();
    stepping = { from, to, taken };
    stepped = direction;
    setBusy(true);
    $("stop").disabled = true;  // a moment's work, which leaves nothing half done to stop
    // The worker makes the drawing of the step, away from the page, and opens it; the bytes
    // now are lent it, and given back once the step's are made.
    const sent = lend();
    // The step's patch is copied, not handed over: a step that fails is put back.
    send({ kind: "open", id: ++jobs, name: drawing.name, bytes: sent, lent: true, patch: taken.patch }, [sent.buffer]);
}

// A step that could not be made: the drawing stays as it was, and the step where it was.
// What was pressed after it was meant for the drawings after it: it is not done.
function stepFailed() {
    const { from, taken } = stepping;
    from.push(taken);
    stepping = false;
    afterGiven = [];
    showSteps();
    setBusy(false);
}

// --- events --------------------------------------------------------------------------------

$("file").addEventListener("change", () => { if ($("file").files[0]) open($("file").files[0]); });
$("run").addEventListener("click", run);
$("save").addEventListener("click", save);
$("save-picture").addEventListener("click", savePicture);
$("guide-link").addEventListener("click", (e) => { e.preventDefault(); $("guide").showModal(); });
$("command-box").addEventListener("toggle", showCommand);
$("save-name").addEventListener("input", showCommand);
for (const id of ["mode-point", "mode-select", "snap"])
    $(id).addEventListener("change", overlaySoon);
$("stop").addEventListener("click", stop);
$("fit").addEventListener("click", fit);
const undo = () => step(-1), redo = () => step(1);
$("undo").addEventListener("click", undo);
$("redo").addEventListener("click", redo);
// Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z step through the results, but not in a field, whose own they are.
document.addEventListener("keydown", (e) => {
    if (!(e.ctrlKey || e.metaKey) || (e.target instanceof HTMLInputElement && e.target.type !== "checkbox"))
        return;
    const key = e.key.toLowerCase();
    if (key === "z" || key === "y") {
        e.preventDefault();
        (key === "y" || e.shiftKey ? redo : undo)();
    }
});
$("zoom-in").addEventListener("click", () => zoom(1.5));
$("zoom-out").addEventListener("click", () => zoom(1 / 1.5));
for (const id of ["x", "y", "angle"]) {
    $(id).addEventListener("input", () => { $(id).removeAttribute("aria-invalid"); settingChanged(); });
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

// The left button: a click picks a line or sets the point, a drag is a window. The middle
// button, or the left with Space held, pans.
let press = null, spaceHeld = false;
const pixel = (e) => ({ x: e.offsetX * (window.devicePixelRatio || 1), y: e.offsetY * (window.devicePixelRatio || 1) });
canvas.addEventListener("mousedown", (e) => { if (e.button === 1) e.preventDefault(); });  // no scrolling by it
canvas.addEventListener("pointerdown", (e) => {
    if (e.button !== 0 && e.button !== 1)
        return;
    hover.keyboard = false;
    press = { at: pixel(e), cx: view.cx, cy: view.cy, moved: false, pans: e.button === 1 || spaceHeld };
    canvas.setPointerCapture(e.pointerId);
    canvas.classList.toggle("panning", press.pans);
});
canvas.addEventListener("pointermove", (e) => {
    const at = pixel(e);
    hover.free = e.altKey;
    if (!press) {
        hover.at = at;
        return overlaySoon();
    }
    const dx = at.x - press.at.x, dy = at.y - press.at.y;
    if (Math.abs(dx) + Math.abs(dy) > 4 * (window.devicePixelRatio || 1))
        press.moved = true;
    if (!press.moved)
        return;
    if (press.pans) {
        view.cx = press.cx - dx / view.scale;
        view.cy = press.cy + dy / view.scale;
        draw();
    } else {
        hover.window = { a: press.at, b: at };
        overlaySoon();
    }
});
canvas.addEventListener("pointerup", (e) => {
    const at = pixel(e), was = press;
    press = null, hover.window = null;
    canvas.classList.remove("panning");
    overlaySoon();
    if (!was || was.pans || !drawing)
        return;
    if (was.moved)
        return pick(linesInWindow(was.at, at), !e.shiftKey);
    const i = e.shiftKey || clickPicks() ? lineAt(at.x, at.y) : -1;
    if (e.shiftKey || clickPicks()) {
        if (i >= 0)
            pick([i], !e.shiftKey);
    } else {
        setPointAt(at.x, at.y, e.altKey);
    }
});
canvas.addEventListener("pointercancel", () => { press = null, hover.window = null; canvas.classList.remove("panning"); overlaySoon(); });
canvas.addEventListener("pointerleave", () => { hover.at = null; overlaySoon(); });
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
        Enter: () => drawing && setPointAt(canvas.width / 2, canvas.height / 2, e.altKey),
        " ": () => { spaceHeld = true; },
        // During a run Esc stops it (below); else it takes every line out of the picks.
        Escape: () => drawing && !running && pick(picks.keys(), false),
    };
    if ((e.ctrlKey || e.metaKey) && e.key.toLowerCase() === "a") {
        e.preventDefault();
        if (drawing && !running) {
            const canPick = pickable(), all = [];
            for (let i = 0; i < picks.length; ++i)
                if (canPick(i))
                    all.push(i);
            pick(all, true);
        }
        return;
    }
    if (keys[e.key] && !e.ctrlKey && !e.metaKey) {
        e.preventDefault();
        if (e.key !== " " && e.key !== "Escape")
            hover.keyboard = true, hover.at = null;
        keys[e.key]();
        overlaySoon();
    }
});
canvas.addEventListener("keyup", (e) => { if (e.key === " ") spaceHeld = false; });
canvas.addEventListener("focus", () => {
    hover.keyboard = canvas.matches(":focus-visible");
    if (hover.keyboard)
        hover.at = null;  // the keyboard's point, not where the pointer was last
    overlaySoon();
});
canvas.addEventListener("blur", () => { hover.keyboard = false, spaceHeld = false; overlaySoon(); });
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
