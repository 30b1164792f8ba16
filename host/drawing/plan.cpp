// Selecting the lines of a drawing, record text or DXF, and writing the drawing back.
#include "drawing/plan.h"

#include <algorithm>
#include <memory>
#include <set>

#include "base/memory.h"
#include "base/numbers.h"
#include "base/status.h"
#include "drawing/drawing.h"
#include "drawing/dxf.h"
#include "picture/svg.h"

namespace {

// A handle as a number: hexadecimal digits in any case, leading zeros dropped.
std::string handleKey(std::string_view handle)
{
    std::string key = foldedName(handle);
    key.erase(0, std::min(key.find_first_not_of('0'), key.size() - (key.empty() ? 0 : 1)));
    return key;
}

// The returned record with the pivot end's two numbers as the drawing's record wrote them,
// where its words are plain numbers; as returned otherwise.
std::string keepPivot(const Job& job, const Outcome& outcome)
{
    std::string_view record = outcome.record;
    std::array<std::string_view, 4> was, is;
    if ((outcome.mode != 1 && outcome.mode != 3) || !lineWords(job.record, was) || !lineWords(record, is))
        return std::string(record);
    const Segment& s = job.segment;
    const double values[] = {s.a.x, s.a.y, s.b.x, s.b.y};
    for (int i = 0; i < 4; ++i) {
        double value;
        if (!parseNumber(was[i], value) || value != values[i])
            return std::string(record);  // the record reader took a number and left the rest
    }
    // The tool returns the end of smaller x first.
    int from = (outcome.mode == 1) == (s.a.x <= s.b.x) ? 0 : 2, to = outcome.mode == 1 ? 0 : 2;
    std::string out;
    std::size_t at = 0;  // the first byte of the record not yet taken
    for (int i = 0; i < 4; ++i) {
        std::size_t start = static_cast<std::size_t>(is[i].data() - record.data());
        out.append(record.substr(at, start - at));
        out.append(i == to || i == to + 1 ? was[from + i - to] : is[i]);
        at = start + is[i].size();
    }
    return out.append(record.substr(at));
}

}  // namespace

bool recordPlan(const Options& o, FileBytes bytes, Plan& plan, Failure& failure)
{
    if (!o.layers.empty() || !o.handles.empty())
        return failed(failure, USAGE,
                      "--layer and --handle are for DXF drawings; " + o.drawing + " is record text");
    auto drawing = std::make_shared<Drawing>();
    std::string problem;
    if (!readDrawing(std::move(bytes), o.drawing, o.selection, *drawing, problem))
        return failed(failure, DRAWING_REFUSED, problem);
    for (long number : o.selection) {
        bool isLine = number <= static_cast<long>(drawing->lines.size()) && drawing->lines[number - 1].isLine;
        if (!isLine)
            return failed(failure, USAGE,
                          "--select " + std::to_string(number) + ": line " + std::to_string(number) + " of " +
                              o.drawing + " is not a line record");
    }
    for (const auto& line : drawing->lines) {
        if (!line.isLine)
            continue;
        if (line.selected)
            plan.jobs.push_back({line.number, line.attributes.get(), line.text, line.segment});
        if (!o.gathersDrawn())
            continue;
        plan.drawn.push_back({line.segment, hostColour(colourOf(*line.attributes))});
        plan.drawnJob.push_back(line.selected ? static_cast<long>(plan.jobs.size()) - 1 : -1);
    }
    // Written as it goes, line by line: the jobs are the selected lines in the drawing's order.
    // Every line ends in the drawing's line end; where the file ended one otherwise (mixed
    // ends, none after the last), that is a change too.
    plan.write = [drawing](const Jobs& jobs, const Outcomes& outcomes,
                           const std::function<void(std::string_view)>& putPiece, Changes* changes) {
        std::size_t next = 0, at = 0;
        auto put = [&](std::string_view piece) { putPiece(piece), at += piece.size(); };
        const std::vector<DrawingLine>& lines = drawing->lines;
        std::string_view all = drawing->file.view(), end = drawing->end;
        auto endOf = [&](std::size_t k) {  // the line end the file gave line k
            const char* from = lines[k].text.data() + lines[k].text.size();
            const char* to = k + 1 < lines.size() ? lines[k + 1].text.data() : all.data() + all.size();
            return std::string_view(from, static_cast<std::size_t>(to - from));
        };
        auto putEnd = [&](std::size_t k) {
            if (changes && endOf(k) != end)
                changes->push_back({at, end.size(), endOf(k), {}});
            put(end);
        };
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const DrawingLine& line = lines[k];
            if (!line.selected) {
                put(line.text), putEnd(k);
                continue;
            }
            for (; next < jobs.size() && jobs[next].id < line.number; ++next) {
            }
            if (next == jobs.size() || jobs[next].id != line.number)
                continue;
            const Outcome& outcome = outcomes[next];
            if (outcome.turned) {
                std::string record = keepPivot(jobs[next], outcome);
                if (changes)
                    changes->push_back({at, record.size(), line.text, {}});
                put(record), putEnd(k);
            } else if (outcome.collapsed) {
                put(jobs[next].record), putEnd(k);  // left as it was
            } else if (changes) {
                changes->push_back({at, 0, line.text, endOf(k)});  // gone, as in the host
            }
        }
    };
    return true;
}

bool dxfPlan(const Options& o, FileBytes bytes, Plan& plan, Failure& failure)
{
    std::set<std::string> layers, handles;
    for (const auto& layer : o.layers)
        layers.insert(foldedName(layer));
    for (auto handle : o.handles)
        handles.insert(handleKey(handle));
    auto drawing = std::make_shared<DxfDrawing>();
    auto where = [&](const DxfLine& line) {
        return o.drawing + ":" + std::to_string(line.line) + ": LINE" +
               (line.handle.empty() ? "" : " " + std::string(line.handle));
    };
    plan.dropsVanish = false;
    // Room for as many lines as a drawing of LINEs alone would hold, about; room never
    // touched costs no memory, and the tables are not moved again and again as they grow.
    std::size_t most = bytes.view().size() / 128;
    reserveLarge(plan.jobs, most);
    LargeTable<DxfValues> values;  // where the values of each job's LINE lie
    reserveLarge(values, most);
    std::set<std::string> named, onLayers;  // the handles and the layers that selected a line
    std::set<long> numbered;                // the line numbers that selected one
    std::string refusal;  // for the first selected line that cannot be taken
    struct Drawn {
        Segment segment;
        int colour;
        std::string_view layer;
    };
    std::vector<Drawn> drawn;  // its colour is known once the whole file is read
    auto take = [&](const DxfLine& line) {
        bool selectable = line.modelSpace && (layers.empty() || layers.count(drawing->keyOf(line.layer)));
        // A LINE without a handle is named by the line number the stand-in's messages give it.
        bool byName = !handles.empty() && handles.count(handleKey(line.handle));
        bool byNumber = !o.selection.empty() && o.selection.count(line.line);
        bool selected = selectable && ((handles.empty() && o.selection.empty()) || byName || byNumber);
        if (selected && line.problem != 0 && refusal.empty())
            refusal = where(line) + ": " + problemOf(*drawing, line) + "; nothing is written";
        if (selected && byName)
            named.insert(handleKey(line.handle));
        if (selected && byNumber)
            numbered.insert(line.line);
        if (selected && !layers.empty())
            onLayers.insert(drawing->keyOf(line.layer));
        if (!line.modelSpace || line.problem != 0) {
            ++plan.notDrawn;
            return;
        }
        if (selected) {
            plan.jobs.push_back({line.line, nullptr, "", line.segment});
            values.push_back(line.values);
        }
        if (!o.gathersDrawn())
            return;  // what is drawn is gathered only for a picture or the page
        drawn.push_back({line.segment, line.colour, line.layer});
        plan.drawnJob.push_back(selected ? static_cast<long>(plan.jobs.size()) - 1 : -1);
    };
    std::string problem;
    if (!readDxf(std::move(bytes), *drawing, take, problem))
        return failed(failure, DRAWING_REFUSED, o.drawing + ": " + problem + "; nothing is written");
    if (!refusal.empty())
        return failed(failure, DRAWING_REFUSED, refusal);
    plan.notDrawn += drawing->otherEntities;
    for (const auto& [segment, colour, layer] : drawn) {
        int index = colour;
        if (index == 256) {
            auto found = drawing->layers.find(drawing->keyOf(layer));
            index = found == drawing->layers.end() ? 7 : found->second;
        }
        plan.drawn.push_back({segment, dxfColour(index == 0 ? 7 : index)});
    }
    for (const auto& handle : o.handles)
        if (!named.count(handleKey(handle)))
            return failed(failure, USAGE,
                          "--handle " + handle + ": " + o.drawing + " has no LINE of that handle in the model space" +
                              (layers.empty() ? "" : " on the layers named") + "; nothing is written");
    for (long number : o.selection)
        if (!numbered.count(number))
            return failed(failure, USAGE,
                          "--select " + std::to_string(number) + ": " + o.drawing + " has no LINE at line " +
                              std::to_string(number) + " in the model space" +
                              (layers.empty() ? "" : " on the layers named") + "; nothing is written");
    // A layer name mistyped, or mangled on its way, would otherwise turn nothing and say nothing of it.
    for (const auto& layer : o.layers)
        if (!onLayers.count(foldedName(layer)))
            return because("noLayer", {{"layer", layer}}), failed(failure, USAGE,
                          "--layer " + layer + ": " + o.drawing + " has no LINE on that layer in the model space" +
                              (handles.empty() && o.selection.empty() ? ""
                               : o.selection.empty()                  ? " of the handles named"
                                                                      : " of the lines named") +
                              "; nothing is written");
    plan.write = [drawing, values = std::move(values)](const Jobs& jobs, const Outcomes& outcomes,
                                                       const std::function<void(std::string_view)>& put, Changes* changes) {
        DxfWriter writer(*drawing, put, changes);
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            std::array<std::string_view, 4> texts;
            if (!outcomes[i].turned || !lineWords(outcomes[i].record, texts))
                continue;
            // The tool returns the end of smaller x first; the LINE keeps its own direction, so
            // that its start (and its Z in group 30) stays its start.
            const Segment& drawn = jobs[i].segment;
            bool reversed = drawn.a.x > drawn.b.x;
            if (reversed)
                texts = {texts[2], texts[3], texts[0], texts[1]};
            // The pivot end keeps its own bytes: rewritten in twelve decimals, the end another
            // line shares would no longer be that line's.
            int mode = outcomes[i].mode;
            if (mode == 1 || mode == 3) {
                int end = (mode == 1) != reversed ? 0 : 2;
                for (int k : {end, end + 1})
                    texts[k] = drawing->bytes.substr(values[i].at[k], values[i].length[k]);
            }
            writer.replace(values[i], texts);
        }
        writer.finish();
    };
    return true;
}

bool planDrawing(const Options& o, Plan& plan, DrawingKind& kind, Failure& failure)
{
    std::string problem;
    FileBytes bytes;
    if (!bytes.read(o.drawing, problem))
        return failed(failure, DRAWING_REFUSED, problem);
    kind = kindOf(bytes.view());
    if (kind == DrawingKind::BinaryDxf)
        return because("binary", {{"name", o.drawing}}), failed(failure, DRAWING_REFUSED,
                      o.drawing + " is a binary DXF drawing; save it as ASCII DXF and run again");
    return kind == DrawingKind::Dxf ? dxfPlan(o, std::move(bytes), plan, failure)
                                    : recordPlan(o, std::move(bytes), plan, failure);
}
