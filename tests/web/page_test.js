// The page in headless Chromium, as a user works it: from file://, with no request; the example
// drawings opened, a point typed, tilted and saved, to the native stand-in's bytes; a click
// sets the point the page shows; a stopped run, and a click or a layer unticked while a run
// goes, leave nothing to save for the settings before; binary, truncated and empty files
// refused with nothing to save; and a screenshot of the result. Usage: node page_test.js --page HTML --host NATIVE_HOST
//   --examples DIR --screenshot PNG
"use strict";
const fs = require("fs"), os = require("os"), path = require("path");
const { spawnSync } = require("child_process");
const { chromium } = require("playwright-core");

const opts = {};
for (let i = 2; i < process.argv.length; i += 2)
    opts[process.argv[i].replace(/^--/, "")] = process.argv[i + 1];
let passed = 0, failed = 0;
function check(ok, what) {
    if (ok)
        ++passed;
    else {
        ++failed;
        console.log("FAIL:", what);
    }
}

// The native stand-in on the same drawing: {status, stderr, bytes}.
function native(name, bytes, args) {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), "linetilt-page-"));
    fs.writeFileSync(path.join(work, name), bytes);
    const run = spawnSync(path.resolve(opts.host), [name, "-o", "new", ...args], { cwd: work });
    const out = path.join(work, "new");
    const result = { status: run.status, stderr: run.stderr.toString(), bytes: fs.existsSync(out) ? fs.readFileSync(out) : null };
    fs.rmSync(work, { recursive: true, force: true });
    return result;
}

(async () => {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), "linetilt-chromium-"));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: "/usr/bin/chromium", headless: true, acceptDownloads: true,
        viewport: { width: 1200, height: 760 },
        args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
               "--disable-component-update", "--disable-sync"],
    });
    const pageUrl = "file://" + path.resolve(opts.page);
    const requests = [];
    context.on("request", (r) => { if (r.url() !== pageUrl && !r.url().startsWith("blob:")) requests.push(r.url()); });
    const page = context.pages()[0] || await context.newPage();
    const errors = [];
    page.on("pageerror", (e) => errors.push(String(e)));
    page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
    await page.goto(pageUrl);

    const open = async (name, bytes) => {
        await page.setInputFiles("#file", { name, mimeType: "application/octet-stream", buffer: bytes });
        await page.waitForFunction(() => document.body.getAttribute("aria-busy") === "false");
    };
    const tilt = async () => {
        const before = await page.evaluate(() => document.body.dataset.done || "");
        await page.click("#run");
        await page.waitForFunction((b) => document.body.getAttribute("aria-busy") === "false" &&
            (document.body.dataset.done || "") !== b || document.getElementById("message").textContent !== "", before,
            { timeout: 120000 });
    };
    const save = async () => {
        const [download] = await Promise.all([page.waitForEvent("download"), page.click("#save")]);
        return fs.readFileSync(await download.path());
    };

    // The example drawings, typed points: the page's bytes are the native stand-in's.
    const dxf = fs.readFileSync(path.join(opts.examples, "drawing.dxf"));
    const records = fs.readFileSync(path.join(opts.examples, "drawing.txt"));
    await open("drawing.dxf", dxf);
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    await page.uncheck("#layers input >> nth=0");  // the frame: only walls and doors turn
    await tilt();
    const layersNamed = await page.$$eval("#layers label", (ls) => ls.map((l) => l.textContent.trim()));
    const chosen = layersNamed.slice(1).flatMap((l) => ["--layer", l]);
    check((await save()).equals(native("drawing.dxf", dxf, ["--at", "0,0", ...chosen]).bytes),
          "drawing.dxf at 0,0 on " + chosen + ": the saved bytes differ from the native stand-in's");
    const summary = await page.textContent("#summary");
    check(summary === "5 lines turned by 10° (about the left end: 3; the midpoint: 1; the right end: 1)\n" +
          "Runs of the tool: 1.", "the summary: " + summary);
    await page.screenshot({ path: opts.screenshot });

    // A window too narrow for the view, as a phone held upright: the drawing is tilted and
    // saved all the same, and the words follow a change of language after a setting changed.
    await page.setViewportSize({ width: 390, height: 844 });
    await open("drawing.dxf", dxf);
    await page.fill("#x", "1");
    await page.fill("#y", "1");
    await tilt();
    await page.fill("#x", "5");
    await page.click("#language");
    check(/秒/.test(await page.textContent("#status")), "after a change of language: " + await page.textContent("#status"));
    await page.click("#language");
    check((await save()).equals(native("drawing.dxf", dxf, ["--at", "1,1"]).bytes), "drawing.dxf in a narrow window: the bytes differ");
    await page.setViewportSize({ width: 1200, height: 760 });

    // A drawing of R2000 in Shift_JIS, as its header says: the layers listed by their names,
    // and one unticked turns the others' lines alone, as the native stand-in does.
    const header = "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1015\n  9\n$DWGCODEPAGE\n  3\nANSI_932\n  0\nENDSEC\n";
    // A name may hold a line end, written as an escape: one layer still.
    const sjis = { "壁": [0x95, 0xc7], "建具": [0x8c, 0x9a, 0x8b, 0xef], "通り芯": [0x92, 0xca, 0x82, 0xe8, 0x90, 0x63],
                   "A\nB": [...Buffer.from("A\\U+000AB")] };
    const jline = (layer, y) => Buffer.concat([Buffer.from("  0\nLINE\n  8\n"), Buffer.from(layer),
        Buffer.from(`\n 10\n0\n 20\n${y}\n 11\n10\n 21\n${y}\n`)]);
    const japanese = Buffer.concat([Buffer.from(header + "  0\nSECTION\n  2\nENTITIES\n"),
        ...Object.values(sjis).map((bytes, i) => jline(bytes, i)), Buffer.from("  0\nENDSEC\n  0\nEOF\n")]);
    await open("図面.dxf", japanese);
    const listed = await page.$$eval("#layers label", (ls) => ls.map((l) => l.textContent.trim()));
    check(JSON.stringify(listed) === JSON.stringify(Object.keys(sjis)), "the layers of a Shift_JIS drawing: " + listed);
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    await page.uncheck("#layers label:has-text('建具') input");
    await tilt();
    check((await save()).equals(native("図面.dxf", japanese, ["--at", "0,0", "--layer", "壁", "--layer", "通り芯", "--layer", "A\nB"]).bytes),
          "図面.dxf on 壁 and 通り芯: the saved bytes differ from the native stand-in's");

    // Tilt again works on the drawing as it now is; Undo goes back to the bytes opened, Redo
    // forth, by buttons and by Ctrl+Z and Ctrl+Y.
    await open("drawing.dxf", dxf);
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    await tilt();
    await tilt();
    const once = native("drawing.dxf", dxf, ["--at", "0,0"]).bytes;
    const twice = native("drawing.dxf", once, ["--at", "0,0"]).bytes;
    check((await save()).equals(twice), "drawing.dxf tilted twice: the bytes differ from the native stand-in's run twice");
    const settle = () => page.waitForFunction(() => document.body.getAttribute("aria-busy") === "false");
    await page.click("#undo");
    await settle();
    await page.locator("#view").focus();
    await page.keyboard.press("Control+z");
    await settle();
    const shownBytes = async () => Buffer.from(await page.evaluate(() => Array.from(drawing.bytes)));
    check((await shownBytes()).equals(dxf) && await page.isDisabled("#undo") && await page.isDisabled("#save"),
          "drawing.dxf undone twice: not the bytes opened, or something to save");
    await page.keyboard.press("Control+y");
    await settle();
    check((await save()).equals(once), "drawing.dxf redone once: not the first tilt's bytes");
    await page.click("#redo");
    await settle();
    check((await save()).equals(twice) && await page.isDisabled("#redo"), "drawing.dxf redone twice: not the second tilt's bytes");
    // The name to save under as typed; leaving with a result not saved asks first.
    await page.fill("#save-name", "壁-回転後.dxf");
    const [named] = await Promise.all([page.waitForEvent("download"), page.click("#save")]);
    check(named.suggestedFilename() === "壁-回転後.dxf", "saved as " + named.suggestedFilename());
    // A name Windows would refuse is saved, said and shown as the browser saves it.
    await page.fill("#save-name", "~a:b?.dxf");
    const [odd] = await Promise.all([page.waitForEvent("download"), page.click("#save")]);
    check(odd.suggestedFilename() === "_a_b_.dxf" && (await page.textContent("#status")).includes("_a_b_.dxf"),
          "saved as " + odd.suggestedFilename() + ", said " + await page.textContent("#status"));
    const asks = () => page.evaluate(() => !window.dispatchEvent(new Event("beforeunload", { cancelable: true })));
    check(!(await asks()), "leaving after saving asks");
    // Record text, whose line of no length the tool drops: back to the bytes opened.
    await open("drawing.txt", records);
    await tilt();
    check(await asks(), "leaving with a result not saved does not ask");
    check((await save()).equals(native("drawing.txt", records, ["--at", "0,0"]).bytes), "drawing.txt tilted: the bytes differ");
    await page.click("#undo");
    await settle();
    check((await shownBytes()).equals(records), "drawing.txt undone: not the bytes opened");
    // Mixed line ends and none after the last line: undone to the very bytes.
    const mixed = Buffer.from("lc2\r\n 10 0 60 0\n -60 10 -10 10\r\n 5 5 5 5\n 0 20 0 70");
    await open("mixed.txt", mixed);
    await tilt();
    await tilt();
    // Pressed twice at once, Ctrl+Z goes back two steps in turn; a save while a step is being
    // made saves the step's drawing.
    await page.keyboard.press("Control+z");
    await page.keyboard.press("Control+z");
    await settle();
    check((await shownBytes()).equals(mixed), "mixed.txt undone twice at once: not the bytes opened");
    await page.keyboard.press("Control+y");
    check((await save()).equals(native("mixed.txt", mixed, ["--at", "0,0"]).bytes), "mixed.txt saved as it is redone: not the first tilt's");

    // Lines picked as a CAD program picks them: a window dragged left to right takes the lines
    // wholly inside it, right to left those it touches; Shift+click takes one out. The saved
    // bytes, the picture and the command line shown are the native stand-in's for those handles.
    await open("drawing.dxf", dxf);
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    const area = await page.locator("#view").boundingBox();
    const css = (fx, fy) => [area.x + area.width * fx, area.y + area.height * fy];
    const drag = async (from, to) => {
        await page.mouse.move(...css(...from));
        await page.mouse.down();
        await page.mouse.move(...css((from[0] + to[0]) / 2, (from[1] + to[1]) / 2), { steps: 4 });
        await page.mouse.move(...css(...to), { steps: 4 });
        await page.mouse.up();
    };
    const picked = () => page.evaluate(() => [...picks.keys()].filter((i) => picks[i]));
    // What a window of the view from fraction a to b holds, worked out here from the lines' ends.
    const expectedIn = async (a, b, crossing) => {
        const { lines, box } = await page.evaluate(([a, b]) => {
            const c = document.getElementById("view");
            const [x1, y1] = toDrawing(c.width * a[0], c.height * a[1]), [x2, y2] = toDrawing(c.width * b[0], c.height * b[1]);
            return { lines: [...drawing.shown.lines], box: [Math.min(x1, x2), Math.min(y1, y2), Math.max(x1, x2), Math.max(y1, y2)] };
        }, [a, b]);
        const [left, bottom, right, top] = box, found = [];
        const inside = (x, y) => x >= left && x <= right && y >= bottom && y <= top;
        for (let i = 0; i < lines.length / 4; ++i) {
            const [x1, y1, x2, y2] = lines.slice(4 * i, 4 * i + 4);
            let touches = inside(x1, y1) || inside(x2, y2);
            for (let k = 0; k <= 1000 && !touches; ++k)  // along the line, finer than a pixel here
                touches = inside(x1 + (x2 - x1) * k / 1000, y1 + (y2 - y1) * k / 1000);
            if (crossing ? touches : inside(x1, y1) && inside(x2, y2))
                found.push(i);
        }
        return found;
    };
    const [from, to] = [[0.2, 0.08], [0.6, 0.55]];
    await drag(from, to);
    const windowed = await picked(), windowExpected = await expectedIn(from, to, false);
    await page.keyboard.press("Escape");
    check((await picked()).length === 0, "Esc on the drawing leaves lines picked");
    await drag(to, from);
    const crossed = await picked(), crossExpected = await expectedIn(from, to, true);
    check(JSON.stringify(windowed) === JSON.stringify(windowExpected) && windowed.length > 0 &&
          JSON.stringify(crossed) === JSON.stringify(crossExpected) && crossed.length > windowed.length,
          `drawing.dxf: a window picked ${windowed} (expected ${windowExpected}), a crossing ${crossed} (expected ${crossExpected})`);
    // Shift+click on the middle of a line picked takes it out.
    const out = crossed[0];
    const [mx, my] = await page.evaluate((i) => {
        const l = drawing.shown.lines, r = window.devicePixelRatio || 1, [x, y] = toScreen((l[4 * i] + l[4 * i + 2]) / 2, (l[4 * i + 1] + l[4 * i + 3]) / 2);
        return [x / r, y / r];
    }, out);
    await page.keyboard.down("Shift");
    await page.mouse.click(area.x + mx, area.y + my);
    await page.keyboard.up("Shift");
    const kept = crossed.filter((i) => i !== out);
    check(JSON.stringify(await picked()) === JSON.stringify(kept), "Shift+click did not take out line " + out);
    const handles = await page.evaluate((kept) => kept.map((i) => nameAt(drawing.shown.handles, i)), kept);
    await page.click("#command-box summary");
    await tilt();
    check(await page.evaluate(() => document.activeElement.id) === "run", "the focus left the Tilt button");
    const byHandle = ["--at", "0,0", "--handle=" + handles.join(",")];
    const onceByHandle = native("drawing.dxf", dxf, byHandle).bytes;
    check((await save()).equals(onceByHandle), `drawing.dxf, handles ${handles}: the bytes differ from the native stand-in's`);
    const [drawn] = await Promise.all([page.waitForEvent("download"), page.click("#save-picture")]);
    const svgWork = fs.mkdtempSync(path.join(os.tmpdir(), "linetilt-svg-"));
    fs.writeFileSync(path.join(svgWork, "drawing.dxf"), dxf);
    spawnSync(path.resolve(opts.host), ["drawing.dxf", "-o", "new", "--svg", "picture.svg", ...byHandle], { cwd: svgWork });
    check(drawn.suggestedFilename() === "drawing-tilted.svg" &&
          fs.readFileSync(await drawn.path()).equals(fs.readFileSync(path.join(svgWork, "picture.svg"))),
          "Save the picture: not the native stand-in's picture, or named " + drawn.suggestedFilename());
    fs.rmSync(svgWork, { recursive: true, force: true });
    // The lines stay picked: a second tilt turns them again.
    await tilt();
    check((await save()).equals(native("drawing.dxf", onceByHandle, byHandle).bytes), "drawing.dxf, handles tilted twice: the bytes differ");
    // Undo brings back the picks before the step, whatever was picked since.
    await page.locator("#view").focus();
    await page.keyboard.press("Escape");
    await page.click("#undo");
    await settle();
    check(JSON.stringify(await picked()) === JSON.stringify(kept), "Undo after Esc: the picks are " + await picked());
    await page.click("#redo");
    await settle();
    // Once tilted, the command is for the drawing shown, saved under the name to save under.
    check(await page.textContent("#command") === "linetilt-host drawing-tilted.dxf --at 0,0 -o drawing-tilted-tilted.dxf " + byHandle[2],
          "the command line shown: " + await page.textContent("#command"));
    await page.click("#command-box summary");
    // Record text, every line picked with Ctrl+A: the line the tool drops moves those after it
    // up a line in the file, and the second tilt still names each by its line.
    await open("drawing.txt", records);
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    await page.locator("#view").focus();
    await page.keyboard.press("Control+a");
    await tilt();
    await tilt();
    check((await save()).equals(native("drawing.txt", native("drawing.txt", records, ["--at", "0,0"]).bytes, ["--at", "0,0"]).bytes),
          "drawing.txt, all picked, tilted twice: the bytes differ");
    // The point snaps to a line's end and to its midpoint, exactly, and shows where before the
    // click; the line 10,0 to 60,0.
    await page.click("#undo");
    await settle();
    await page.click("#undo");
    await settle();
    for (const [x, y, kind] of [[60, 0, "end"], [35, 0, "middle"]]) {
        const [px, py] = await page.evaluate(([x, y]) => {
            const r = window.devicePixelRatio || 1, [px, py] = toScreen(x, y);
            return [px / r + 3, py / r - 2];
        }, [x, y]);
        await page.mouse.move(area.x + px, area.y + py);
        await page.waitForTimeout(100);
        const marked = await page.evaluate(([x, y]) => {
            const o = document.getElementById("overlay"), [px, py] = toScreen(x, y), r = 8 * (window.devicePixelRatio || 1);
            const p = o.getContext("2d").getImageData(Math.round(px - r), Math.round(py - r), 2 * r, 2 * r).data;
            return p.some((v, i) => i % 4 === 0 && v > 150 && p[i + 3] > 100);
        }, [x, y]);
        await page.mouse.click(area.x + px, area.y + py);
        const set = [await page.inputValue("#x"), await page.inputValue("#y")];
        check(marked && set[0] === String(x) && set[1] === String(y), `a click near the ${kind} ${x},${y}: the point is ${set}, marked ${marked}`);
    }
    // From the keyboard: the cross in the middle shows where Enter sets the point.
    await page.focus("#snap");
    await page.uncheck("#snap");
    await page.keyboard.press("Tab");
    await page.waitForTimeout(100);
    const cross = await page.evaluate(() => {
        const o = document.getElementById("overlay"), p = o.getContext("2d").getImageData(o.width / 2 + 8, o.height / 2, 1, 1).data;
        return { red: p[3] > 0 && p[0] > 150, at: toDrawing(canvas.width / 2, canvas.height / 2).map(shortNumber) };
    });
    await page.keyboard.press("Enter");
    const entered = [await page.inputValue("#x"), await page.inputValue("#y")];
    check(cross.red && entered.join() === cross.at.join(), `Enter on the drawing: the point ${entered}, the cross at ${cross.at}, shown ${cross.red}`);
    await page.check("#snap");

    // LINEs that share a handle as the stand-in compares them (a file edited by hand): 1A,
    // 01a and seventeen digits; 2C and a 2c the page cannot draw. Those picked are named by
    // their lines, and the others are left as they were.
    const twin = (handle, y, x = 0) => `0\nLINE\n5\n${handle}\n8\n0\n10\n${x}\n20\n${y}\n11\n100\n21\n${y}\n`;
    const untouched = [twin("01a", 50), twin("0000000000000001A", 100), twin("2c", 150, "abc")];
    const twins = Buffer.from("0\nSECTION\n2\nENTITIES\n" + twin("1A", 0) + untouched.join("") + twin("2C", 150) +
                              "0\nENDSEC\n0\nEOF\n");
    await open("twins.dxf", twins);
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    await drag([0.02, 0.9], [0.98, 0.99]);
    await drag([0.02, 0.01], [0.98, 0.1]);
    const lines = await page.evaluate(() => [...picks.keys()].filter((i) => picks[i]).map((i) => drawing.shown.numbers[i]));
    await tilt();
    const twinsSaved = await save();
    check(lines.length === 2 && twinsSaved.equals(native("twins.dxf", twins, ["--at", "0,0", "--select=" + lines.join(",")]).bytes) &&
          untouched.every((t) => twinsSaved.includes(Buffer.from(t))), `twins.dxf: lines ${lines} picked, a line not picked turned, or the bytes differ`);
    // Every line drawn picked is not every LINE: the one not drawn is not asked for.
    await page.locator("#view").focus();
    await page.keyboard.press("Control+a");
    await tilt();
    check(await page.textContent("#message") === "", "twins.dxf, all picked: " + await page.textContent("#message"));

    // The rest of the drawing behind the lines: a block's line where its INSERT places it
    // (scaled by 2, turned 90 degrees) and two arcs are drawn, and saved as they were. The
    // view takes in the arc that reaches past the lines, to its point farthest left.
    const blocks = "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nB\n10\n0\n20\n0\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n10\n21\n0\n" +
                   "0\nENDBLK\n0\nENDSEC\n";
    const others = "0\nINSERT\n8\n0\n2\nB\n10\n50\n20\n50\n41\n2\n42\n2\n50\n90\n" +
                   "0\nARC\n8\n0\n10\n0\n20\n0\n40\n30\n50\n0\n51\n90\n0\nARC\n8\n0\n10\n0\n20\n0\n40\n100\n50\n170\n51\n190\n";
    const backdrop = Buffer.from(blocks + "0\nSECTION\n2\nENTITIES\n" + others +
                                 "0\nLINE\n8\n0\n10\n-40\n20\n-40\n11\n-20\n21\n-40\n0\nENDSEC\n0\nEOF\n");
    await open("backdrop.dxf", backdrop);
    const inked = await page.evaluate((points) => points.map(([x, y]) => {
        const [px, py] = toScreen(x, y), g = canvas.getContext("2d").getImageData(Math.round(px) - 1, Math.round(py) - 1, 3, 3).data;
        const seen = px >= 1 && py >= 1 && px <= canvas.width - 2 && py <= canvas.height - 2;
        return seen && g.some((v, i) => i % 4 !== 3 && v < 245);
    }), [[50, 60], [30 * Math.SQRT1_2, 30 * Math.SQRT1_2], [20, 60], [-100, 0]]);
    await page.fill("#x", "-40");
    await page.fill("#y", "-40");
    await tilt();
    const backdropSaved = await save();
    check(inked.join() === "true,true,false,true" && backdropSaved.includes(Buffer.from(blocks + "0\nSECTION\n2\nENTITIES\n" + others)) &&
          backdropSaved.equals(native("backdrop.dxf", backdrop, ["--at", "-40,-40"]).bytes),
          `backdrop.dxf: the block's line, the arc and a blank place inked ${inked}; or the saved bytes differ`);

    // Typed on a Japanese keyboard: full-width digits, point and minus are numbers.
    await open("drawing.txt", records);
    await page.fill("#x", "");
    await page.click("#run");
    check(/^X is missing/.test(await page.textContent("#message")), "an empty X: " + await page.textContent("#message"));
    await page.fill("#x", "１２．５");
    await page.fill("#y", "－３");
    await page.fill("#angle", "-33.3");  // a number field: the browser takes full-width digits itself
    await page.press("#angle", "Enter");  // the keyboard runs it too
    await page.waitForFunction(() => !document.getElementById("save").disabled, null, { timeout: 120000 });
    check((await save()).equals(native("drawing.txt", records, ["--at", "12.5,-3", "--", "/p-33.3"]).bytes),
          "drawing.txt at 12.5,-3, angle -33.3: the saved bytes differ from the native stand-in's");

    // A click with Alt sets the point where it falls, and the page shows it there: the red
    // circle's pixels.
    const box = await page.locator("#view").boundingBox();
    await page.keyboard.down("Alt");
    for (const [fx, fy] of [[0.3, 0.4], [0.7, 0.65]]) {
        await page.mouse.click(box.x + box.width * fx, box.y + box.height * fy);
        const shown = await page.evaluate(([fx, fy]) => {
            const c = document.getElementById("view");
            const px = c.width * fx, py = c.height * fy;
            const [x, y] = [Number(document.getElementById("x").value), Number(document.getElementById("y").value)];
            const at = toScreen(x, y);  // where the page draws the point it holds
            const r = 7 * (window.devicePixelRatio || 1);
            const pixel = c.getContext("2d").getImageData(Math.round(at[0] + r), Math.round(at[1]), 1, 1).data;
            // Red, or red blended with white where the circle falls between pixels.
            return { dx: at[0] - px, dy: at[1] - py, red: pixel[0] > 150 && pixel[1] < 140 && pixel[2] < 140,
                     save: document.getElementById("save").disabled };
        }, [fx, fy]);
        check(Math.abs(shown.dx) < 2 && Math.abs(shown.dy) < 2 && shown.red,
              `a click at ${fx},${fy} of the view: the point shown is off by ${shown.dx},${shown.dy}, red ${shown.red}`);
    }
    await page.keyboard.up("Alt");

    // A run stopped midway leaves nothing to save, and the next run, in a new worker, gives
    // the native bytes.
    const many = Buffer.from(Array.from({ length: 60000 }, (_, i) => ` ${i % 300} ${i / 300 | 0} ${i % 300 + 0.5} ${(i / 300 | 0) + 2}\n`).join(""));
    await open("many.txt", many);
    await page.fill("#x", "7");
    await page.fill("#y", "3");
    await page.fill("#angle", "10");
    for (const how of ["the Stop button", "Esc"]) {
        await page.click("#run");
        if (how === "Esc")
            await page.keyboard.press("Escape");
        else
            await page.click("#stop");
        check(await page.isDisabled("#save") && await page.isEnabled("#run") && /Stopped/.test(await page.textContent("#status")),
              `a run stopped by ${how}: ` + await page.textContent("#status"));
    }
    await tilt();
    const manyOnce = native("many.txt", many, ["--at", "7,3"]).bytes;
    check((await save()).equals(manyOnce), "many.txt after a stop: the bytes differ");
    // The run lends the drawing to its worker: a stop, a save and another run meanwhile wait
    // for it or go to the next worker, and nothing of it is lost.
    await page.click("#run");
    await page.click("#stop");
    check((await save()).equals(manyOnce), "many.txt saved as a run was stopped: the bytes differ");
    await tilt();
    check((await save()).equals(native("many.txt", manyOnce, ["--at", "7,3"]).bytes), "many.txt tilted twice after a stop: the bytes differ");

    // A click on the drawing, then a layer unticked, while 100,000 lines are being tilted:
    // the run is stopped there and then, nothing is offered for the settings before, and the
    // next run gives the native bytes for the point and the layers shown.
    const big = Buffer.from(["0\nSECTION\n2\nENTITIES\n", ...Array.from({ length: 100000 }, (_, i) =>
        `0\nLINE\n8\n${i % 2 ? "doors" : "walls"}\n10\n${i % 400}\n20\n${i / 400 | 0}\n11\n${i % 400 + 0.5}\n21\n${(i / 400 | 0) + 2}\n`),
        "0\nENDSEC\n0\nEOF\n"].join(""));
    await open("big.dxf", big);
    await page.fill("#x", "10");
    await page.fill("#y", "10");
    const during = async (what, change) => {
        await page.click("#run");
        await change();
        const now = await page.evaluate(() => ({ busy: document.body.getAttribute("aria-busy"),
            save: document.getElementById("save").disabled, status: document.getElementById("status").textContent }));
        check(now.busy === "false" && now.save && /Stopped, since the settings changed/.test(now.status),
              `${what} during a run: busy ${now.busy}, save disabled ${now.save}, "${now.status}"`);
        await page.waitForFunction(() => document.body.getAttribute("aria-busy") === "false", null, { timeout: 120000 });
        check(await page.isDisabled("#save"), `${what} during a run: a result for the settings before is offered`);
    };
    await during("a click", () => page.mouse.click(box.x + box.width * 0.6, box.y + box.height * 0.3));
    const at = (await page.inputValue("#x")) + "," + (await page.inputValue("#y"));
    check(at !== "10,10", "the click did not move the point: " + at);
    await tilt();
    check((await save()).equals(native("big.dxf", big, ["--at", at]).bytes), `big.dxf at ${at} after a click: the bytes differ`);
    await open("big.dxf", big);  // as opened: the tilt before is the drawing now
    await page.fill("#x", at.split(",")[0]);
    await page.fill("#y", at.split(",")[1]);
    await during("a layer unticked", () => page.uncheck("#layers label:has-text('doors') input"));
    await tilt();
    check((await save()).equals(native("big.dxf", big, ["--at", at, "--layer", "walls"]).bytes),
          `big.dxf at ${at} on walls after a layer unticked: the bytes differ`);
    // The result of 100,000 lines reads as a drawing, not a black square of pivot marks (none
    // stands apart at this zoom); the
    // doors, not selected, are as grey as before the run.
    const picture = await page.evaluate(() => {
        const marks = apart(result.pivots, 12 * (window.devicePixelRatio || 1)).length;
        const colours = new Set([...result.after.layerOf].map((l, i) => result.after.layers[l] + " " +
            (afterColour(i) === 0xbbbbbb ? "grey" : "coloured")));
        return { marks, colours: [...colours].sort() };
    });
    check(picture.marks < 100, `big.dxf's result: ${picture.marks} pivot marks of 100,000 drawn`);
    check(JSON.stringify(picture.colours) === JSON.stringify(["doors grey", "walls coloured"]),
          "big.dxf's result, colour by layer: " + picture.colours);
    // A line turned off the edge is brought into the view.
    await open("long.txt", Buffer.from(" 0 0 1000 0\n"));
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    await page.fill("#angle", "90");
    await tilt();
    check(await page.evaluate(() => [0, 2].every((i) => {
        const [x, y] = toScreen(result.after.lines[i], result.after.lines[i + 1]);
        return x >= 0 && y >= 0 && x <= canvas.width && y <= canvas.height;
    })), "a line turned off the edge is out of view");
    await page.fill("#angle", "10");
    // Two lines turned about the corner they share: one mark there, not none.
    await open("corner.txt", Buffer.from(" 0 0 100 0\n 0 0 0 100\n"));
    await tilt();
    check(await page.evaluate(() => apart(result.pivots, 12).length) === 1, "the corner's pivot mark is missing");
    // Coordinates of 1e308 cannot be drawn with the rest: the rest is, and the page says why.
    await open("far.txt", Buffer.from(" -1e308 -1e308 1e308 1e308\n 0 0 10 10\n 0 10 10 0\n"));
    const far = await page.evaluate(() => {
        const c = document.getElementById("view"), data = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
        let inked = 0;
        for (let i = 0; i < data.length; i += 4)
            inked += data[i] < 200;
        return { inked, said: document.getElementById("message").textContent };
    });
    check(far.inked > 100 && /too far to be drawn/.test(far.said), `far.txt: ${far.inked} pixels drawn, "${far.said}"`);

    // Refusals: in the page's own words, naming what the stand-in names (the line of the
    // drawing where it is cut), and nothing to save or run.
    const binary = Buffer.concat([Buffer.from("AutoCAD Binary DXF\r\n\x1a\x00"), Buffer.alloc(64, 7)]);
    const truncated = dxf.subarray(0, Math.floor(dxf.length / 2));
    for (const [name, bytes, words, wordsJa] of [
        ["binary.dxf", binary, () => "binary.dxf is a binary DXF drawing: save it as ASCII DXF in the CAD program, then open it again.",
         () => "binary.dxf はバイナリ形式の DXF です。CAD で ASCII 形式の DXF として保存し直してから開いてください。"],
        ["cut.dxf", truncated, (line) => `The drawing is cut short (it ends at line ${line}): save it again in the CAD program.`,
         (line) => `図面が途中で切れています（${line} 行目で終わっています）。CAD で保存し直してください。`]]) {
        await open(name, bytes);
        const expected = native(name, bytes, ["--at", "0,0"]);
        const shown = await page.textContent("#message");
        await page.click("#language");
        const shownJa = await page.textContent("#message");
        await page.click("#language");
        const line = (/line (\d+)/.exec(expected.stderr) || [])[1];
        check(expected.status === 3 && shown === words(line) && shownJa === wordsJa(line),
              `${name}: the page says "${shown}" / "${shownJa}", the stand-in ${JSON.stringify(expected.stderr)}`);
        check(await page.isDisabled("#save") && await page.isDisabled("#run"), `${name}: something is offered`);
    }
    // The other refusals the stand-in gives a reason for, at the opening or at the run: in
    // either language in its words, none in the command line's; a coordinate that is no number
    // named by its line, word for word.
    const entities = (body) => Buffer.from("0\nSECTION\n2\nENTITIES\n" + body + "0\nENDSEC\n0\nEOF\n");
    const badNumber = (en, ja) => en === "The start's X of the line at line 5 of the drawing (\"abc\") is not a number: mend it " +
        "in the CAD program, or leave its layer out." && ja.startsWith("図面の 5 行目の線の始点の X 座標（「abc」）が数値ではありません");
    for (const [name, bytes, runs, exactly] of [
        ["code.dxf", entities("0\nLINE\nabc\n8\n"), false],
        ["record.txt", Buffer.from(" 0 0 1 1\nhello there\n"), false],
        ["missing.dxf", entities("0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n"), true],
        ["twice.dxf", entities("0\nLINE\n8\n0\n10\n0\n10\n5\n20\n0\n11\n1\n21\n1\n"), true],
        ["bad.dxf", entities("0\nLINE\n8\nwalls\n10\nabc\n20\n0\n11\n1\n21\n1\n0\nLINE\n8\ndoors\n10\n0\n20\n0\n11\n1\n21\n1\n"),
         true, badNumber]]) {
        await open(name, bytes);
        if (runs) {
            await page.fill("#x", "0");
            await page.fill("#y", "0");
            await page.click("#run");
            await page.waitForFunction(() => document.getElementById("message").textContent !== "", null, { timeout: 60000 });
        }
        const en = await page.textContent("#message");
        await page.click("#language");
        const ja = await page.textContent("#message");
        await page.click("#language");
        const said = native(name, bytes, ["--at", "0,0"]).stderr;
        check(en && /[\u3040-\u30ff\u4e00-\u9fff]/.test(ja) && ![en, ja].some((t) => /--|group|linetilt-host|LINE/.test(t)) &&
              !said.includes(en) && (!exactly || exactly(en, ja)), `${name}: the page says "${en}" / "${ja}", the stand-in ${JSON.stringify(said)}`);
    }
    // An empty file is no drawing: the page says so and offers nothing, where the stand-in
    // would write an empty new drawing.
    await open("empty.dxf", Buffer.alloc(0));
    const saidEmpty = await page.textContent("#message");
    check(saidEmpty === "empty.dxf is empty: it holds no drawing.", `empty.dxf: the page says "${saidEmpty}"`);
    check(await page.isDisabled("#save") && await page.isDisabled("#run"), "empty.dxf: something is offered");

    // A file slow to read (a network share) dropped, then another opened and tilted meanwhile:
    // the one chosen last stays, with its own result on offer, whenever the slow one arrives.
    await page.evaluate((text) => {
        const slow = { name: "slow.txt", arrayBuffer: () => new Promise((arrive) => {
            window.slowArrives = () => arrive(new TextEncoder().encode(text).buffer); }) };
        const drop = new Event("drop", { cancelable: true });
        Object.defineProperty(drop, "dataTransfer", { value: { files: [slow] } });
        document.getElementById("view").dispatchEvent(drop);
    }, " 0 0 50 50\n");
    await open("drawing.txt", records);
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    await tilt();
    await page.evaluate(() => window.slowArrives());
    await page.waitForTimeout(500);  // time for the worker to answer an open it was wrongly sent
    const afterSlow = await page.textContent("#status");
    check(!afterSlow.includes("slow.txt"), "a file read slowly took the place of the one chosen after it: " + afterSlow);
    check((await save()).equals(native("drawing.txt", records, ["--at", "0,0"]).bytes),
          "after a slow read: Save does not give drawing.txt's result");

    // In Japanese: the page switches, says what is missing in a drafter's words, and keeps the
    // choice when opened again.
    check(await page.textContent("#language") === "日本語", "the switch says: " + await page.textContent("#language"));
    await page.click("#language");
    await page.fill("#x", "");
    await page.click("#run");
    const inJapanese = await page.evaluate(() => ({ lang: document.documentElement.lang,
        run: document.getElementById("run").textContent, message: document.getElementById("message").textContent }));
    check(inJapanese.lang === "ja" && inJapanese.run === "線を回転" && /^Xが入力されていません/.test(inJapanese.message),
          "in Japanese: " + JSON.stringify(inJapanese));
    await page.reload();
    check(await page.evaluate(() => document.documentElement.lang) === "ja", "the language chosen is not kept");
    await page.click("#language");
    check(await page.textContent("#run") === "Tilt the lines", "back in English: " + await page.textContent("#run"));

    await page.click("#guide-link");
    check(await page.evaluate(() => document.getElementById("guide").open &&
          document.getElementById("guide-title").textContent === "linetilt 利用ガイド"), "the Japanese guide does not open");
    await page.keyboard.press("Escape");
    // Every message in both languages, in a drafter's words: no option names, no group codes.
    const wording = await page.evaluate(() => ({ ja: Object.keys(WORDS.ja).sort().join(), en: Object.keys(WORDS.en).sort().join(),
        cli: Object.values(WORDS.ja).concat(Object.values(WORDS.en)).filter((t) => /(^|\s)--\w|group (code )?\d/.test(t)) }));
    check(wording.ja === wording.en && wording.cli.length === 0, "the words of the two languages: " + JSON.stringify(wording));
    check(errors.length === 0, "errors in the page: " + errors.join("; "));
    // The page's policy refuses a request of its own: one tried is refused before it is made.
    const refused = await page.evaluate(() => new Promise((done) => {
        document.addEventListener("securitypolicyviolation", () => done(true), { once: true });
        fetch("http://127.0.0.1:9/").catch(() => {});
        setTimeout(() => done(false), 3000);
    }));
    check(refused, "the page's policy let a request through");
    check(requests.length === 0, "requests: " + requests.join(", "));
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
    console.log(`${passed} passed, ${failed} failed`);
    process.exit(failed === 0 ? 0 : 1);
})().catch((e) => {
    console.log("FAIL:", e);
    console.log(`${passed} passed, ${failed + 1} failed`);
    process.exit(1);
});
