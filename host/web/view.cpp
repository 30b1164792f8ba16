// What the page draws: the lines of a drawing, with their colours and layers, and after a run
// the lines of the new drawing with the pivot of each turned line. Written as flat binary
// tables into the module's in-memory file system, where the page reads them.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <map>
#include <string>
#include <vector>

#include "base/files.h"
#include "drawing/drawing.h"
#include "drawing/dxf.h"
#include "picture/svg.h"

namespace {

struct Shown {
    std::vector<Segment> segments;
    std::vector<std::uint32_t> colours;  // 0xRRGGBB
    std::vector<std::uint32_t> layers;   // index into `names`
    std::vector<std::string> names;      // the DXF layers, in the order first met; none for record text
    int notDrawn = 0;
};

std::uint32_t rgb(const std::string& hash)
{
    return static_cast<std::uint32_t>(std::stoul(hash.substr(1), nullptr, 16));
}

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
            }
        return "";
    }
    DxfDrawing drawing;
    std::map<std::string, std::uint32_t> index;
    std::vector<int> colours;
    auto take = [&](const DxfLine& line) {
        if (!line.modelSpace || line.problem != 0) {
            ++shown.notDrawn;
            return;
        }
        auto [at, added] = index.emplace(drawing.keyOf(line.layer), static_cast<std::uint32_t>(shown.names.size()));
        if (added)
            shown.names.push_back(drawing.nameOf(line.layer));
        shown.segments.push_back(line.segment);
        shown.layers.push_back(at->second);
        colours.push_back(line.colour);
    };
    if (!readDxf(std::move(bytes), drawing, take, problem))
        return problem;
    shown.notDrawn += drawing.otherEntities;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        int colour = colours[i];
        if (colour == 256) {
            auto found = drawing.layers.find(foldedName(shown.names[shown.layers[i]]));
            colour = found == drawing.layers.end() ? 7 : found->second;
        }
        shown.colours.push_back(rgb(dxfColour(colour == 0 ? 7 : colour)));
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
    // Each name after its length (32 bits): a name may hold any byte, a line end among them.
    std::string names;
    for (const auto& name : shown.names) {
        std::uint32_t size = static_cast<std::uint32_t>(name.size());
        names.append(reinterpret_cast<const char*>(&size), sizeof size).append(name);
    }
    return write(prefix + ".lines", shown.segments.data(), shown.segments.size() * sizeof(Segment)) &&
           write(prefix + ".colours", shown.colours.data(), shown.colours.size() * 4) &&
           write(prefix + ".layers", shown.layers.data(), shown.layers.size() * 4) &&
           write(prefix + ".names", names.data(), names.size()) &&
           write(prefix + ".other", std::to_string(shown.notDrawn).data(), std::to_string(shown.notDrawn).size());
}

std::string lastError;

}  // namespace

extern "C" {

// Writes DRAWING's lines as OUT.lines (x1 y1 x2 y2, doubles), OUT.colours, OUT.layers (32 bits
// each) and OUT.names; 0, or 1 with the reason in linetilt_error().
EMSCRIPTEN_KEEPALIVE int linetilt_view(const char* drawing, const char* out)
{
    Shown shown;
    lastError = read(drawing, shown);
    if (lastError.empty() && !writeShown(out, shown))
        lastError = "cannot keep the drawing's lines in memory";
    return lastError.empty() ? 0 : 1;
}

// After a run: the lines of NEW, and OUT.pivots (x y of each turned line's pivot, doubles).
// BEFORE holds the lines of the drawing as linetilt_view wrote them, so that the drawing is
// not read again. The lines pair up in order; a record drawing's line of no length is dropped
// by the tool and has no partner.
EMSCRIPTEN_KEEPALIVE int linetilt_result(const char* before, const char* newDrawing, const char* out)
{
    Shown after;
    lastError = read(newDrawing, after);
    if (!lastError.empty())
        return 1;
    std::string bytes;
    if (!readWhole(before, bytes, lastError))
        return 1;
    std::vector<Segment> lines(bytes.size() / sizeof(Segment));
    std::memcpy(lines.data(), bytes.data(), lines.size() * sizeof(Segment));
    bool records = after.names.empty();
    std::vector<Point> pivots;
    std::size_t j = 0;
    for (std::size_t i = 0; i < lines.size() && j < after.segments.size(); ++i) {
        const Segment& b = lines[i];
        if (records && b.a.x == b.b.x && b.a.y == b.b.y && lines.size() - i > after.segments.size() - j)
            continue;
        Segment a = after.segments[j++];
        bool same = (a.a.x == b.a.x && a.a.y == b.a.y && a.b.x == b.b.x && a.b.y == b.b.y) ||
                    (a.a.x == b.b.x && a.a.y == b.b.y && a.b.x == b.a.x && a.b.y == b.a.y);
        if (same)
            continue;
        // A LINE keeps its direction in the new drawing; the tool's order, which turnOf
        // expects, puts the end of smaller x first.
        if (!records && b.a.x > b.b.x)
            std::swap(a.a, a.b);
        pivots.push_back(turnOf(b, a).pivot);
    }
    if (!writeShown(out, after) || !write(std::string(out) + ".pivots", pivots.data(), pivots.size() * sizeof(Point)))
        lastError = "cannot keep the new drawing's lines in memory";
    return lastError.empty() ? 0 : 1;
}

EMSCRIPTEN_KEEPALIVE const char* linetilt_error()
{
    return lastError.c_str();
}
}
