// Picking in drawing units: the line nearest a point, the lines a window holds or touches,
// and the end or midpoint a point snaps to. `lines` holds x1 y1 x2 y2 a line; `can(i)` says
// whether line i may be picked.
"use strict";

// The distance from (px, py) to the line (x1, y1)-(x2, y2).
function distanceToLine(px, py, x1, y1, x2, y2) {
    const dx = x2 - x1, dy = y2 - y1, length2 = dx * dx + dy * dy;
    const t = length2 > 0 ? Math.max(0, Math.min(1, ((px - x1) * dx + (py - y1) * dy) / length2)) : 0;
    return Math.hypot(px - (x1 + t * dx), py - (y1 + t * dy));
}

// The line nearest (px, py) within `reach`, or -1.
function nearestLine(lines, can, px, py, reach) {
    let best = -1, bestDistance = reach;
    for (let i = 0, n = lines.length / 4; i < n; ++i) {
        const x1 = lines[4 * i], y1 = lines[4 * i + 1], x2 = lines[4 * i + 2], y2 = lines[4 * i + 3];
        // Far from the box around the line: not near it (cheap, and most lines are).
        if (px < Math.min(x1, x2) - reach || px > Math.max(x1, x2) + reach ||
            py < Math.min(y1, y2) - reach || py > Math.max(y1, y2) + reach || !can(i))
            continue;
        const d = distanceToLine(px, py, x1, y1, x2, y2);
        if (d <= bestDistance)
            best = i, bestDistance = d;
    }
    return best;
}

// Whether the line (x1, y1)-(x2, y2) has a point in the box, its edges included.
function touchesBox(x1, y1, x2, y2, box) {
    // Clipped to the box a coordinate at a time: what remains of the line, from t0 to t1.
    let t0 = 0, t1 = 1;
    const dx = x2 - x1, dy = y2 - y1;
    for (const [p, q] of [[-dx, x1 - box.minX], [dx, box.maxX - x1], [-dy, y1 - box.minY], [dy, box.maxY - y1]]) {
        if (p === 0) {
            if (q < 0)
                return false;
        } else {
            const t = q / p;
            if (p < 0)
                t0 = Math.max(t0, t);
            else
                t1 = Math.min(t1, t);
        }
    }
    return t0 <= t1;
}

// The lines of a window: wholly inside it, or, `crossing`, touching it anywhere.
function linesInBox(lines, can, box, crossing) {
    const inside = (x, y) => x >= box.minX && x <= box.maxX && y >= box.minY && y <= box.maxY;
    const found = [];
    for (let i = 0, n = lines.length / 4; i < n; ++i) {
        const x1 = lines[4 * i], y1 = lines[4 * i + 1], x2 = lines[4 * i + 2], y2 = lines[4 * i + 3];
        const taken = crossing ? touchesBox(x1, y1, x2, y2, box) : inside(x1, y1) && inside(x2, y2);
        if (taken && can(i))
            found.push(i);
    }
    return found;
}

// The end or midpoint of a line of `sets` (each x1 y1 x2 y2 a line), or a point of `points`
// (x y a point, taken as ends), nearest (px, py) within `reach`: {x, y, kind: "end" or
// "middle"}, or null. Lines of no length have one end.
function snapPoint(sets, points, px, py, reach) {
    let best = null, bestDistance = reach;
    const consider = (x, y, kind) => {
        const d = Math.hypot(px - x, py - y);
        if (d <= bestDistance)
            best = { x, y, kind }, bestDistance = d;
    };
    for (let i = 0; i + 1 < points.length; i += 2)
        if (Math.abs(px - points[i]) <= reach && Math.abs(py - points[i + 1]) <= reach)
            consider(points[i], points[i + 1], "end");
    for (const lines of sets)
        for (let i = 0; i + 3 < lines.length; i += 4) {
            const x1 = lines[i], y1 = lines[i + 1], x2 = lines[i + 2], y2 = lines[i + 3];
            if (px < Math.min(x1, x2) - reach || px > Math.max(x1, x2) + reach ||
                py < Math.min(y1, y2) - reach || py > Math.max(y1, y2) + reach)
                continue;
            consider(x1, y1, "end");
            consider(x2, y2, "end");
            // The midpoint as the tool takes it: the mean of the ends, not a point of the view.
            if (x1 !== x2 || y1 !== y2)
                consider((x1 + x2) / 2, (y1 + y2) / 2, "middle");
        }
    return best;
}
