// The README's pictures of the page, in Japanese as its users see it: a window being dragged
// over the example drawing, its result, and a result of 100,000 lines that keeps its shape.
// Usage: node screenshots.js PAGE_HTML EXAMPLES_DIR OUT_DIR
"use strict";
const fs = require("fs"), os = require("os"), path = require("path");
const { chromium } = require(path.join(__dirname, "../tests/web/node_modules/playwright-core"));

const [pageFile, examples, out] = process.argv.slice(2);

// Rings of short lines about the origin, each a little longer than the one inside it.
function rings(count) {
    const lines = [];
    for (let i = 0; i < count; ++i) {
        const ring = 1 + (i % 50), a = (i / count) * 2 * Math.PI * 7, r = 100 * ring;
        const x = r * Math.cos(a), y = r * Math.sin(a);
        lines.push(`0\nLINE\n8\nring${ring % 5}\n62\n${1 + ring % 6}\n10\n${x}\n20\n${y}\n11\n${x + 30}\n21\n${y + 10}\n`);
    }
    return Buffer.from("0\nSECTION\n2\nENTITIES\n" + lines.join("") + "0\nENDSEC\n0\nEOF\n");
}

(async () => {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), "linetilt-shots-"));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: "/usr/bin/chromium", headless: true, locale: "ja-JP",
        viewport: { width: 1200, height: 760 }, args: ["--no-sandbox", "--disable-gpu"],
    });
    const page = context.pages()[0] || await context.newPage();
    await page.goto("file://" + path.resolve(pageFile));
    const idle = () => page.waitForFunction(() => document.body.getAttribute("aria-busy") === "false", null, { timeout: 300000 });
    const open = async (name, bytes) => {
        await page.setInputFiles("#file", { name, mimeType: "application/octet-stream", buffer: bytes });
        await idle();
    };
    const tilt = async () => {
        await page.click("#run");
        await page.waitForFunction(() => document.body.dataset.done, null, { timeout: 300000 });
        await page.waitForTimeout(500);  // the last slices drawn
    };
    await open("drawing.dxf", fs.readFileSync(path.join(examples, "drawing.dxf")));
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    const box = await page.locator("#view").boundingBox();
    const at = (fx, fy) => [box.x + box.width * fx, box.y + box.height * fy];
    // A crossing window picks the walls it touches; a second, a window, is being dragged.
    await page.mouse.move(...at(0.62, 0.55));
    await page.mouse.down();
    await page.mouse.move(...at(0.2, 0.08), { steps: 8 });
    await page.mouse.up();
    await page.mouse.move(...at(0.5, 0.6));
    await page.mouse.down();
    await page.mouse.move(...at(0.97, 0.93), { steps: 8 });
    await page.waitForTimeout(200);
    await page.screenshot({ path: path.join(out, "web-select.png") });
    await page.mouse.up();
    await tilt();
    await page.screenshot({ path: path.join(out, "web.png") });
    await open("rings.dxf", rings(100000));
    await page.fill("#x", "0");
    await page.fill("#y", "0");
    await page.fill("#angle", "30");
    await tilt();
    await page.screenshot({ path: path.join(out, "web-100k.png") });
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
})().catch((e) => {
    console.error(e);
    process.exit(1);
});
