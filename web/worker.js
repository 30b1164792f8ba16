// The page's worker: opens drawings and runs the stand-in and the tool on them, away from the
// page, so that the page answers while a large drawing is worked. createHost and createTool,
// the two modules' factories, WASM (their WebAssembly, in base64) and the functions of
// engine.js come before this in the worker's script.
"use strict";

const decoded = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
const host = sharing(createHost, new WebAssembly.Module(decoded(WASM.host)));
const tool = sharing(createTool, new WebAssembly.Module(decoded(WASM.tool)));

let held = null;  // the drawing last sent, which the page does not send again for each run

self.onmessage = (event) => {
    const job = event.data;
    if (job.bytes)
        held = { name: job.name, bytes: job.bytes };
    const drawing = held;
    try {
        if (job.kind === "open") {
            let told = 0;  // when the page was last told how far the opening is
            const read = (fraction) => {
                if (performance.now() - told >= 50) {
                    told = performance.now();
                    self.postMessage({ kind: "progress", id: job.id, phase: "open", fraction });
                }
            };
            const opened = openDrawing(host, tool, drawing, read);
            const s = opened.shown;
            self.postMessage({ kind: "opened", id: job.id, ...opened },
                             s ? [s.lines.buffer, s.colours.buffer, s.layerOf.buffer, s.numbers.buffer, s.backdrop.buffer,
                                  s.marks.buffer, s.corners.buffer] : []);
        } else if (job.kind === "run") {
            let done = 0;
            const progress = () => self.postMessage({ kind: "progress", id: job.id, done: ++done });
            const result = runDrawing(host, tool, drawing, job.options, progress);
            const moved = [];
            if (result.bytes)
                moved.push(result.bytes.buffer);
            if (result.picture)
                moved.push(result.picture.buffer);
            if (result.after)
                moved.push(result.after.lines.buffer, result.after.kept.buffer, result.pivots.buffer, result.changes.buffer);
            self.postMessage({ kind: "result", id: job.id, ...result }, moved);
        }
    } catch (e) {
        self.postMessage({ kind: "failed", id: job.id, message: String(e && e.message || e) });
    }
};
