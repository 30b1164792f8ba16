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

// Everything the page says, in Japanese and in English, in a drafter's words. The stand-in's
// own messages (why a drawing or a run is refused) are shown as it gives them.
const WORDS = {
    ja: {
        title: "linetilt：図面の線を傾ける",
        intro: "選んだ線を 1 本ずつ、両端と中点のうち指示点に最も近い点を回転の中心として、指定した角度だけ回転します。" +
               "処理はすべてこのページの中で行い、図面がこのコンピューターの外に出ることはありません。",
        other: "English", otherName: "Switch to English",
        controls: "図面と設定", file: "図面（ASCII DXF またはレコードテキスト）",
        point: "指示点（図面をクリックするか、数値を入力）", angle: "角度（度。絶対値は 360 未満）",
        layers: "回転する線の画層", run: "線を回転", stop: "中止", undo: "元に戻す", redo: "やり直す", save: "新しい図面を保存", progress: "進み具合", saveName: "保存するファイルの名前",
        summary: "実行結果の要約", drawingView: "図面", fit: "全体表示", zoomIn: "拡大", zoomOut: "縮小",
        legend: "灰色：実行前　色付き：実行後　■：回転の中心　赤い円：指示点",
        canvas: "図面。ここにファイルをドロップできます。クリックで指示点を設定、矢印キーで移動、＋と－で拡大・縮小、F で全体表示。",
        reading: "{name} を読み込んでいます…",
        empty: "{name} は空のファイルです。図面が入っていません。",
        opened: "{name}：線 {count} 本{others}。指示点を決めてから「線を回転」を押してください。",
        others: "（ほかの要素 {count} 個は表示していません）", oneOther: "（ほかの要素 1 個は表示していません）",
        x: "X", y: "Y", angleName: "角度",
        missing: "{what}が入力されていません。数値を入力してください{click}。",
        missingClick: "（図面をクリックしても入力できます）",
        notNumber: "{what}には数値を入力してください。「{text}」は数値として読めません。",
        angleRange: "角度は絶対値が 360 度未満になるように入力してください。",
        chooseLayer: "回転する線の画層を 1 つ以上選んでください。",
        tilting: "{count} 本の線を回転しています（ツールの実行 {runs} 回）…",
        failed: "回転できませんでした（ステータス {status}）。",
        done: "完了しました（{seconds} 秒）。",
        saved: "{name} として保存しました。",
        pageFailed: "ページの処理が止まりました：{message}",
        stopped: "中止しました。図面は変わっていません。",
        stoppedNothing: "中止しました。",
        stoppedForChange: "回転の途中で設定が変わったので中止しました。図面は変わっていません。" +
                          "表示中の設定で回転するには、もう一度「線を回転」を押してください。",
        indicated: "指示点：{x}, {y}。", undone: "1 段元に戻しました。", redone: "1 段やり直しました。",
        beyond: "±{limit} を超える座標の線は、ほかの線と一緒には描けないので表示していません。",
        // Why a drawing or a run was refused, by the stand-in's reason: values as it gives them.
        why_binary: "{name} はバイナリ形式の DXF です。CAD で ASCII 形式の DXF として保存し直してから開いてください。",
        why_notCode: "図面の {line} 行目（「{text}」）が DXF のグループコードではないため、読み込めません。" +
                     "DXF として保存されたファイルか確かめてください。",
        why_noValue: "図面が途中で切れています（{line} 行目で終わっています）。CAD で保存し直してください。",
        why_noEnd: "図面が途中で切れています（図形の部分に終わりがありません）。CAD で保存し直してください。",
        why_notRecord: "図面の {line} 行目（「{text}」）はホストの図面のレコードではないため、読み込めません。",
        why_noGroup: "図面の {line} 行目の線に{group}がありません。CAD でこの線を直すか、その画層を外してください。",
        why_groupTwice: "図面の {line} 行目の線に{group}が 2 つあり、どちらが正しいか決められません。" +
                        "CAD でこの線を直すか、その画層を外してください。",
        why_notNumber: "図面の {line} 行目の線の{group}（「{text}」）が数値ではありません。" +
                       "CAD でこの線を直すか、その画層を外してください。",
        why_noLayer: "画層「{layer}」には回転できる線がありません。ほかの画層を選んでください。",
        why_toolFailed: "回転のツールが途中で失敗しました。図面は変わっていません。もう一度お試しください。",
        why_memory: "この図面を扱うにはメモリーが足りません。図面は変わっていません。ほかのタブやプログラムを閉じてからお試しください。",
        sumTurned: "{selected} 本の線を選び、{turned} 本を {angle} 度回転しました。",
        sumDropped: "両端が同じ点の線 {dropped} 本は、ツールが取り除きました。",
        sumCollapsed: "短すぎて小数 12 桁では両端が同じになる線 {collapsed} 本は、元のままです。",
        sumStretched: "図面の単位に対して小数 12 桁では足りず、長さが 100 万分の 1 を超えて変わった線が {stretched} 本あります。",
        sumPivots: "回転の中心：左の端 {first} 本、中点 {middle} 本、右の端 {second} 本。",
        sumRuns: "ツールの実行：{runs} 回。",
        group_10: "始点の X 座標", group_20: "始点の Y 座標", group_11: "終点の X 座標", group_21: "終点の Y 座標",
    },
    en: {
        title: "linetilt: tilt the lines of a drawing",
        intro: "Turns each selected line by the angle about its first end, midpoint or second end, whichever is " +
               "nearest the indicated point. Everything happens in this page: the drawing never leaves the computer.",
        other: "日本語", otherName: "日本語に切り替える",
        controls: "Drawing and options", file: "Drawing (ASCII DXF or record text)",
        point: "Indicated point (click the drawing, or type it)", angle: "Angle in degrees (magnitude below 360)",
        layers: "Layers whose lines are turned", run: "Tilt the lines", stop: "Stop", undo: "Undo", redo: "Redo", save: "Save the new drawing", saveName: "Name to save under",
        progress: "Progress", summary: "Summary of the run", drawingView: "The drawing", fit: "Fit",
        zoomIn: "Zoom in", zoomOut: "Zoom out",
        legend: "grey: before; coloured: after; \u25a0 pivot; red circle: indicated point",
        canvas: "The drawing. Drop a file here. Click to set the indicated point; arrow keys pan, plus and minus " +
                "zoom, F fits.",
        reading: "Reading {name} ...",
        empty: "{name} is empty: it holds no drawing.",
        opened: "{name}: {count} {lines}{others}. Set the indicated point, then tilt.",
        others: ", {count} other entities not drawn", oneOther: ", 1 other entity not drawn",
        x: "X", y: "Y", angleName: "The angle",
        missing: "{what} is missing: type a number{click}.",
        missingClick: ", or click the drawing",
        notNumber: "{what} must be a number, not \"{text}\"",
        angleRange: "The angle's magnitude must be below 360 degrees",
        chooseLayer: "Choose at least one layer",
        tilting: "Tilting {count} lines in {runs} of the tool ...",
        failed: "The run failed (status {status})",
        done: "Done in {seconds} s.",
        saved: "Saved as {name}.",
        pageFailed: "The page failed: {message}",
        stopped: "Stopped; nothing is changed.",
        stoppedNothing: "Stopped.",
        stoppedForChange: "Stopped, since the settings changed while the lines were being tilted; nothing is " +
                          "changed. Tilt again for the settings shown.",
        indicated: "Indicated point {x}, {y}.", undone: "Undone one step.", redone: "Redone one step.",
        beyond: "Some lines reach beyond \u00b1{limit}, too far to be drawn with the others: the view shows the rest.",
        why_binary: "{name} is a binary DXF drawing: save it as ASCII DXF in the CAD program, then open it again.",
        why_notCode: "Line {line} of the drawing (\"{text}\") is not a DXF group code, so the file cannot be read: " +
                     "check that it was saved as DXF.",
        why_noValue: "The drawing is cut short (it ends at line {line}): save it again in the CAD program.",
        why_noEnd: "The drawing is cut short (its entities have no end): save it again in the CAD program.",
        why_notRecord: "Line {line} of the drawing (\"{text}\") is not a record of the host's drawings, so the file " +
                       "cannot be read.",
        why_noGroup: "The line at line {line} of the drawing has no {group}: mend it in the CAD program, or leave its " +
                     "layer out.",
        why_groupTwice: "The line at line {line} of the drawing has its {group} twice, and which one counts cannot be " +
                        "told: mend it in the CAD program, or leave its layer out.",
        why_notNumber: "The {group} of the line at line {line} of the drawing (\"{text}\") is not a number: mend it in " +
                       "the CAD program, or leave its layer out.",
        why_noLayer: "The layer \"{layer}\" has no line that can be turned: choose other layers.",
        why_toolFailed: "The tool that turns the lines failed; the drawing is as it was. Try again.",
        why_memory: "There is not enough memory for this drawing; the drawing is as it was. Close other tabs or " +
                    "programs and try again.",
        sumTurned: "{selected} selected, {turned} turned by {angle}\u00b0.",
        sumDropped: "{dropped} dropped by the tool: their ends coincide.",
        sumCollapsed: "{collapsed} left as they were: too short, both ends came back equal at twelve decimals.",
        sumStretched: "{stretched} changed in length by more than a millionth: twelve decimals are too few for the " +
                      "drawing's units.",
        sumPivots: "Turned about the left end: {first}; the midpoint: {middle}; the right end: {second}.",
        sumRuns: "Runs of the tool: {runs}.",
        group_10: "start's X", group_20: "start's Y", group_11: "end's X", group_21: "end's Y",
    },
};

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
