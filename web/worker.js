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
    // The page sends the drawing with each job: the worker holds it no longer than the job.
    // Where it was lent (the page holds no other copy meanwhile), it goes back as soon as it
    // has been read, or patched, and whatever happens.
    let lent = job.lent ? job.bytes : null;
    const giveBack = (bytes) => {
        if (lent)
            self.postMessage({ kind: "given back", bytes }, [bytes.buffer]);
        lent = null;
    };
    const drawing = { name: job.name, bytes: job.bytes };
    job.bytes = null;
    try {
        let back = null;
        if (job.patch) {
            // A step: the drawing it leads to, and the step back from there.
            const stepped = applyPatch(drawing.bytes, job.patch);
            giveBack(drawing.bytes);
            drawing.bytes = stepped.bytes, back = stepped.back;
        }
        if (job.kind === "run")
            drawing.letGo = lent ? giveBack : () => {};
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
            self.postMessage({ kind: "opened", id: job.id, ...opened, bytes: drawing.bytes, back },
                             [drawing.bytes.buffer].concat(back ? [back.buffer] : [],
                                 s ? [s.lines.buffer, s.colours.buffer, s.layerOf.buffer, s.numbers.buffer, s.backdrop.buffer, s.arcs.buffer,
                                      s.marks.buffer, s.corners.buffer, s.handles.bytes.buffer, s.handles.starts.buffer,
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
        if (lent)
            giveBack(lent);
        self.postMessage({ kind: "failed", id: job.id, message: String(e && e.message || e) });
    }
};
