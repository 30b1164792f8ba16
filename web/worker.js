// The page's worker: opens drawings and runs the stand-in and the tool on them, away from the
// page, so that the page answers while a large drawing is worked. createHost and createTool,
// the two modules' factories, WASM (their WebAssembly, in base64) and the functions of
// engine.js come before this in the worker's script.
"use strict";

const decoded = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
const host = sharing(createHost, new WebAssembly.Module(decoded(WASM.host)));
const tool = sharing(createTool, new WebAssembly.Module(decoded(WASM.tool)));
// Before the first job: a job sent meanwhile waits for it, some tenth of a second.
try {
    warmUp(host, tool);
} catch (e) {
    // A drawing then runs on the quickly compiled code, which is slower but as right.
}
self.postMessage({ kind: "ready" });

self.onmessage = (event) => {
    const job = event.data;
    // The page sends the drawing with each job: the worker holds it no longer than the job. A
    // run lets it go as soon as the stand-in has read it, back to the page where it was lent
    // (the page holds no other copy meanwhile).
    const drawing = { name: job.name, bytes: job.bytes };
    if (job.kind === "run")
        drawing.letGo = job.lent ? (bytes) => self.postMessage({ kind: "given back", bytes }, [bytes.buffer]) : () => {};
    job.bytes = null;
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
            // The drawing goes back to the page, which keeps it: the worker does not.
            self.postMessage({ kind: "opened", id: job.id, ...opened, bytes: drawing.bytes },
                             [drawing.bytes.buffer].concat(s ? [s.lines.buffer, s.colours.buffer, s.layerOf.buffer, s.numbers.buffer,
                                                                s.backdrop.buffer, s.marks.buffer, s.corners.buffer,
                                                                s.handles.bytes.buffer, s.handles.starts.buffer,
                                                                s.hiddenHandles.bytes.buffer, s.hiddenHandles.starts.buffer] : []));
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
