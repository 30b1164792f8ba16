// What the page draws: the lines of a drawing, with their colours and layers, and after a run
// the lines of the new drawing with the pivot of each turned line. Written as flat binary
// tables into the module's in-memory file system, where the page reads them.
#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/codepages.h"
#include "base/files.h"
#include "base/status.h"
#include "base/text.h"
#include "drawing/backdrop.h"
#include "drawing/drawing.h"
#include "drawing/dxf.h"
#include "picture/svg.h"
#include "web/after.h"

namespace {

struct Shown {
    std::vector<Segment> segments;
    std::vector<std::uint32_t> colours;  // 0xRRGGBB
    std::vector<std::uint32_t> layers;   // index into `names`
    std::vector<std::string> names;      // the DXF layers, in the order first met; none for record text
    std::string handles;                 // each line's handle after its length, as .names; empty for none
    std::string hidden;  // the handles of the model space's LINEs not drawn, packed as handles
    std::vector<std::uint32_t> numbers;  // each line's number in the file, which --select takes
    int notDrawn = 0;
    Backdrop backdrop;  // what else the model space holds, drawn behind in grey
};

// A name after its length (32 bits): a name may hold any byte, a line end among them.
void pack(std::string& packed, std::string_view name)
{
    std::uint32_t size = static_cast<std::uint32_t>(name.size());
    packed.append(reinterpret_cast<const char*>(&size), sizeof size).append(name);
}

std::uint32_t rgb(const std::string& hash)
{
    return static_cast<std::uint32_t>(std::stoul(hash.substr(1), nullptr, 16));
}

// How much of the drawing has been read, 0 to 1, for the page's progress bar while it opens.
// clang-format off
EM_JS(void, tellRead, (double fraction), {
    if (Module["onRead"])
        Module["onRead"](fraction);
});
// clang-format on

// The lines a drawing holds, as the stand-in reads them; "" or why it cannot be read.
std::string read(const std::string& path, Shown& shown)
{
    std::string problem;
    FileBytes bytes;
    if (!bytes.read(path, problem))
        return problem;
    DrawingKind kind = kindOf(bytes.view());
    if (kind == DrawingKind::BinaryDxf)
        return "binary";
    if (kind == DrawingKind::Records) {
        Drawing drawing;
        if (!readDrawing(std::move(bytes), path, {}, drawing, problem))
            return problem;
        for (const auto& line : drawing.lines)
            if (line.isLine) {
                shown.segments.push_back(line.segment);
                shown.colours.push_back(rgb(hostColour(colourOf(*line.attributes))));
                shown.layers.push_back(0);
                pack(shown.handles, "");
                shown.numbers.push_back(static_cast<std::uint32_t>(line.number));
            }
        return "";
    }
    DxfDrawing drawing;
    drawing.keepsOthers = true;
    std::map<std::string, std::uint32_t> index;
    std::optional<std::string_view> lastLayer;  // the layer of the last line taken, its index
    std::uint32_t lastIndex = 0;
    std::vector<int> colours;
    // Told as each 128th of the bytes is passed, by where a LINE's first coordinate lies.
    std::size_t size = bytes.view().size(), toldAt = 0;
    auto take = [&](const DxfLine& line) {
        if (line.values.at[0] >= toldAt) {
            tellRead(static_cast<double>(line.values.at[0]) / static_cast<double>(size));
            toldAt = line.values.at[0] + size / 128 + 1;
        }
        if (!line.modelSpace || line.problem != 0) {
            // A picked line's handle may be another's too, and --handle would take both.
            if (line.modelSpace && !line.handle.empty())
                pack(shown.hidden, line.handle);
            ++shown.notDrawn;
            return;
        }
        // Lines come in runs of one layer: its name is looked up once a run, not once a line.
        if (!lastLayer || line.layer != *lastLayer) {
            auto [at, added] = index.emplace(drawing.keyOf(line.layer), static_cast<std::uint32_t>(shown.names.size()));
            if (added)
                shown.names.push_back(drawing.nameOf(line.layer));
            lastLayer = line.layer, lastIndex = at->second;
        }
        shown.segments.push_back(line.segment);
        shown.layers.push_back(lastIndex);
        colours.push_back(line.colour);
        pack(shown.handles, line.handle);
        shown.numbers.push_back(static_cast<std::uint32_t>(line.line));
    };
    if (!readDxf(std::move(bytes), drawing, take, problem))
        return problem;
    // Arcs a twentieth of a pixel from their chords in a view of the whole drawing's lines, so
    // that they stay round zoomed in tenfold; down to 3 degrees
    // a chord: a hundred thousand small circles are not drawn as twelve million chords.
    double left = HUGE_VAL, right = -HUGE_VAL, bottom = HUGE_VAL, top = -HUGE_VAL;
    for (const Segment& segment : shown.segments)
        for (Point p : {segment.a, segment.b})
            if (std::abs(p.x) <= 1e100 && std::abs(p.y) <= 1e100)
                left = std::min(left, p.x), right = std::max(right, p.x), bottom = std::min(bottom, p.y), top = std::max(top, p.y);
    double extent = right >= left ? std::max(right - left, top - bottom) : 0;
    readBackdrop(drawing, shown.backdrop, BACKDROP_BUDGET, extent * 5e-5);
    // What the backdrop draws is drawn: the rest of the other entities is not.
    auto others = static_cast<std::size_t>(drawing.otherEntities);
    shown.notDrawn += static_cast<int>(others - std::min(shown.backdrop.drawn, others));
    // Each layer's colour is found once, and a colour's RGB once a run of it, not once a line.
    std::vector<std::optional<int>> layerColour(shown.names.size());
    std::optional<int> lastColour;
    std::uint32_t lastRgb = 0;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        int colour = colours[i];
        if (colour == 256) {
            auto& known = layerColour[shown.layers[i]];
            if (!known) {
                auto found = drawing.layers.find(foldedName(shown.names[shown.layers[i]]));
                known = found == drawing.layers.end() ? 7 : found->second;
            }
            colour = *known;
        }
        if (colour != lastColour)
            lastColour = colour, lastRgb = rgb(dxfColour(colour == 0 ? 7 : colour));
        shown.colours.push_back(lastRgb);
    }
    return "";
}

bool write(const std::string& path, const void* data, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

bool writeShown(const std::string& prefix, const Shown& shown)
{
    static_assert(sizeof(Arc) == 5 * sizeof(double), "the page reads an arc as five numbers");
    std::string names;
    for (const auto& name : shown.names)
        pack(names, name);
    return write(prefix + ".lines", shown.segments.data(), shown.segments.size() * sizeof(Segment)) &&
           write(prefix + ".colours", shown.colours.data(), shown.colours.size() * 4) &&
           write(prefix + ".layers", shown.layers.data(), shown.layers.size() * 4) &&
           write(prefix + ".names", names.data(), names.size()) &&
           write(prefix + ".handles", shown.handles.data(), shown.handles.size()) &&
           write(prefix + ".hidden", shown.hidden.data(), shown.hidden.size()) &&
           write(prefix + ".numbers", shown.numbers.data(), shown.numbers.size() * 4) &&
           write(prefix + ".backdrop", shown.backdrop.segments.data(), shown.backdrop.segments.size() * sizeof(Segment)) &&
           write(prefix + ".arcs", shown.backdrop.arcs.data(), shown.backdrop.arcs.size() * sizeof(Arc)) &&
           write(prefix + ".marks", shown.backdrop.marks.data(), shown.backdrop.marks.size() * sizeof(Point)) &&
           write(prefix + ".corners", shown.backdrop.corners.data(), shown.backdrop.corners.size() * sizeof(Point)) &&
           write(prefix + ".other", std::to_string(shown.notDrawn).data(), std::to_string(shown.notDrawn).size());
}

std::string lastError;
std::string afterPrefix;  // where the next run writes its view of the result; "" for nowhere

}  // namespace

// Writes `values` as one JSON object of strings to `path`.
void keepValues(const std::string& path, const std::string& code, const std::vector<std::pair<std::string, std::string>>& values)
{
    auto quoted = [](const std::string& text) {
        std::string out = "\"";
        for (unsigned char c : text) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
        return out + "\"";
    };
    std::string json = "{\"code\":" + quoted(code) + ",\"values\":{";
    for (std::size_t i = 0; i < values.size(); ++i)
        json += (i ? "," : "") + quoted(values[i].first) + ":" + quoted(decodedText(values[i].second, UTF8_PAGE));
    json += "}}";
    write(path, json.data(), json.size());
}

void keepReason()
{
    keepValues("/reason.json", lastReason().code, lastReason().values);
}

void keepSummary(const std::vector<std::pair<std::string, std::string>>& values)
{
    keepValues("/summary.json", "summary", values);
}

bool afterWanted()
{
    return !afterPrefix.empty();
}

void keepAfter(const Plan& plan, const Outcomes& outcomes, const Changes& changes)
{
    // Each table is made at its full size at once: grown by doubling, it would leave its
    // smaller rooms behind in a memory that is never given back.
    std::vector<Segment> lines;
    std::vector<std::uint32_t> kept;
    std::vector<Point> pivots;
    lines.reserve(plan.drawn.size());
    kept.reserve(plan.drawn.size());
    pivots.reserve(plan.drawn.size());
    for (std::size_t i = 0; i < plan.drawn.size(); ++i) {
        const Segment& before = plan.drawn[i].first;
        long job = plan.drawnJob[i];
        const Outcome* outcome = job < 0 ? nullptr : &outcomes[static_cast<std::size_t>(job)];
        Segment after = before;
        if (outcome && outcome->turned && parseReturned(outcome->record, after)) {
            Turn turn = turnOf(before, after);  // the tool's order: the end of smaller x first
            // The pivot end keeps the drawing's own numbers, as the new drawing does; a LINE
            // keeps its direction.
            Segment ordered = before;
            if (ordered.a.x > ordered.b.x)
                std::swap(ordered.a, ordered.b);
            if (outcome->mode == 1)
                after.a = ordered.a;
            else if (outcome->mode == 3)
                after.b = ordered.b;
            if (before.a.x > before.b.x)
                std::swap(after.a, after.b);
            pivots.push_back(turn.pivot);
        } else if (outcome && plan.dropsVanish && !outcome->collapsed) {
            continue;  // dropped by the tool: gone from a record drawing
        }
        lines.push_back(after);
        kept.push_back(static_cast<std::uint32_t>(i));
    }
    std::string prefix = afterPrefix;
    afterPrefix.clear();
    std::string told;
    std::size_t size = 0;
    for (const Change& change : changes)
        size += 12 + change.old.size() + change.then.size();
    told.reserve(size);
    for (const Change& change : changes) {
        std::uint32_t numbers[] = {static_cast<std::uint32_t>(change.at), static_cast<std::uint32_t>(change.length),
                                   static_cast<std::uint32_t>(change.old.size() + change.then.size())};
        told.append(reinterpret_cast<const char*>(numbers), sizeof numbers).append(change.old).append(change.then);
    }
    if (!write(prefix + ".changes", told.data(), told.size()) ||
        !write(prefix + ".lines", lines.data(), lines.size() * sizeof(Segment)) ||
        !write(prefix + ".kept", kept.data(), kept.size() * 4) ||
        !write(prefix + ".pivots", pivots.data(), pivots.size() * sizeof(Point)))
        std::fprintf(stderr, "linetilt-host: cannot keep the new drawing's lines in memory\n");
}

extern "C" {

// Writes DRAWING's lines as OUT.lines (x1 y1 x2 y2, doubles), OUT.colours, OUT.layers (32 bits
// each) and OUT.names; what names each line as OUT.handles (as .names) and OUT.numbers (32
// bits), and those of LINEs not drawn as OUT.hidden; the backdrop as OUT.backdrop (x1 y1 x2
// y2), OUT.arcs (x y radius start sweep), OUT.marks (x y) and OUT.corners (x y); 0, or 1
// with the reason in linetilt_error().
EMSCRIPTEN_KEEPALIVE int linetilt_view(const char* drawing, const char* out)
{
    Shown shown;
    lastError = read(drawing, shown);
    if (lastError.empty() && !writeShown(out, shown))
        lastError = "cannot keep the drawing's lines in memory";
    return lastError.empty() ? 0 : 1;
}

// Asks the next run to write its view of the result under PREFIX (keepAfter).
EMSCRIPTEN_KEEPALIVE void linetilt_keep_after(const char* prefix)
{
    afterPrefix = prefix;
}

EMSCRIPTEN_KEEPALIVE const char* linetilt_error()
{
    return lastError.c_str();
}
}
