// The page on drawings of LINEs (and as many CIRCLEs) in headless Chromium against the native
// stand-in on the same drawing: the time from choosing the file to seeing it ready, and from
// pressing Tilt to seeing its result,
// and peak memory (the browser's processes' peak resident sizes, from /proc, as the system
// gives them). The saved drawing is checked against the native one byte for byte. Each
// drawing is LINES:short (coordinates such as 1.25) or LINES:full (17 significant digits, as
// CAD programs write them). Usage: node web_bench.js PAGE_HTML NATIVE_HOST [RUNS [DRAWING...]]
"use strict";
const fs = require("fs"), os = require("os"), path = require("path");
const { spawnSync } = require("child_process");
const { chromium } = require(path.join(__dirname, "../tests/web/node_modules/playwright-core"));

const [page_, host] = process.argv.slice(2, 4).map((p) => path.resolve(p));
const RUNS = Number(process.argv[4] || 3);
const DRAWINGS = process.argv.length > 5 ? process.argv.slice(5) : ["100000:short", "100000:full", "1000000:full"];

function drawing(lines, full) {
    const out = ["  0\nSECTION\n  2\nENTITIES\n"];
    const step = full ? 1.2345678901234567 : 1.25;
    for (let i = 0; i < lines; ++i) {
        const x = (i % 1000) * step, y = Math.floor(i / 1000) * step * 2;
        out.push(`  0\nLINE\n  5\n${(i + 256).toString(16).toUpperCase()}\n  8\nwalls\n 10\n${x}\n 20\n${y}\n 30\n0.0\n 11\n` +
                 `${x + 0.75}\n 21\n${y + 1.5}\n 31\n0.0\n  0\nCIRCLE\n  8\nmarks\n 10\n${x}\n 20\n${y}\n 30\n0.0\n 40\n0.2\n`);
    }
    out.push("  0\nENDSEC\n  0\nEOF\n");
    return Buffer.from(out.join(""));
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
// Peak resident size in MiB of every process started with this profile.
function peaks(profile) {
    const result = [];
    for (const pid of fs.readdirSync("/proc").filter((d) => /^\d+$/.test(d))) {
        try {
            if (!fs.readFileSync(`/proc/${pid}/cmdline`, "utf8").includes(profile))
                continue;
            const hwm = /VmHWM:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/status`, "utf8"));
            const type = /--type=([a-z-]+)/.exec(fs.readFileSync(`/proc/${pid}/cmdline`, "utf8"));
            if (hwm)
                result.push({ type: type ? type[1] : "browser", mib: Number(hwm[1]) / 1024 });
        } catch (e) {
            // gone meanwhile
        }
    }
    return result;
}

async function measure(LINES, full) {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), "linetilt-web-bench-"));
    const bytes = drawing(LINES, full);
    fs.writeFileSync(path.join(work, "drawing.dxf"), bytes);
    const native = [];
    let nativeMemory = 0;
    for (let i = 0; i < RUNS; ++i) {
        const start = process.hrtime.bigint();
        const run = spawnSync("/usr/bin/time", ["-f", "%M", host, "drawing.dxf", "--at", "0,0", "-o", "new.dxf"], { cwd: work });
        native.push(Number(process.hrtime.bigint() - start) / 1e9);
        nativeMemory = Math.max(nativeMemory, Number(run.stderr.toString().trim().split(/\s+/).pop()) / 1024);
        if (run.status !== 0)
            throw new Error("the native stand-in failed: " + run.stderr);
    }
    const expected = fs.readFileSync(path.join(work, "new.dxf"));

    const browser = [], opening = [];
    let renderer = 0, all = 0, same = true;
    for (let i = 0; i < RUNS; ++i) {
        const profile = fs.mkdtempSync(path.join(os.tmpdir(), "linetilt-chromium-"));
        const context = await chromium.launchPersistentContext(profile, {
            executablePath: "/usr/bin/chromium", headless: true, acceptDownloads: true,
            viewport: { width: 1200, height: 760 },
            args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
                   "--disable-component-update", "--disable-sync"],
        });
        const page = context.pages()[0] || await context.newPage();
        await page.goto("file://" + page_);
        await page.fill("#x", "0");
        await page.fill("#y", "0");
        // A user takes a moment to choose a file: the page's worker has its code ready by then.
        await page.waitForFunction(() => document.body.dataset.ready !== undefined, null, { timeout: 60000 });
        await page.setInputFiles("#file", path.join(work, "drawing.dxf"));
        await page.waitForFunction(() => !document.getElementById("run").disabled, null, { timeout: 600000 });
        // Both as the page counts them: not the time the test's own calls take to come through.
        opening.push(await page.evaluate(() => drawing.seconds));
        await page.click("#run");
        await page.waitForFunction(() => document.body.dataset.done !== undefined, null, { timeout: 600000, polling: 50 });
        // From Tilt pressed to the result drawn whole ("Done in N s").
        browser.push(opening[opening.length - 1] + await page.evaluate(() => result.seconds));
        const message = await page.textContent("#message");
        if (message)
            throw new Error("the page says: " + message);
        const [download] = await Promise.all([page.waitForEvent("download"), page.click("#save")]);
        same = same && fs.readFileSync(await download.path()).equals(expected);
        const p = peaks(profile);
        renderer = Math.max(renderer, ...p.filter((q) => q.type === "renderer").map((q) => q.mib));
        all = Math.max(all, p.reduce((sum, q) => sum + q.mib, 0));
        await context.close();
        fs.rmSync(profile, { recursive: true, force: true });
    }
    fs.rmSync(work, { recursive: true, force: true });
    console.log(`| ${LINES} ${full ? "full" : "short"} | ${bytes.length} | ${(median(native) * 1000).toFixed(0)} ms | ${nativeMemory.toFixed(1)} MiB ` +
                `| ${(median(browser) * 1000).toFixed(0)} ms (${(median(opening) * 1000).toFixed(0)} ms) | ${(median(browser) / median(native)).toFixed(1)}x ` +
                `| ${renderer.toFixed(0)} MiB (${(renderer * 1048576 / bytes.length).toFixed(1)}x the drawing) | ${all.toFixed(0)} MiB | ${same ? "yes" : "NO"} |`);
    return same;
}

(async () => {
    console.log("| LINEs, coordinates | bytes | native stand-in median | its peak memory | page, open to result, median (of it: opening) | ratio " +
                "| page's renderer peak | all Chromium processes' peaks | same bytes |");
    console.log("|--:|--:|--:|--:|--:|--:|--:|--:|:-:|");
    let same = true;
    for (const d of DRAWINGS) {
        const [lines, kind] = d.split(":");
        same = (await measure(Number(lines), kind === "full")) && same;
    }
    process.exit(same ? 0 : 1);
})().catch((e) => {
    console.error("web_bench.js:", e);
    process.exit(1);
});
