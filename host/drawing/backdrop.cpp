// The page's backdrop of a DXF drawing: the model space's other entities as segments and points.
#include "drawing/backdrop.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "base/numbers.h"

namespace {

constexpr double PI = 3.14159265358979323846;
// A chord for every 3 degrees of arc: an arc 1000 pixels in radius on the screen strays from
// its chords by a third of a pixel at most.
constexpr double STEP = PI / 60;
constexpr int DEEPEST = 8;  // blocks placed within blocks

// An affine map of the plane: (x, y) to (a x + c y + e, b x + d y + f).
struct Map {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    Point operator()(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
};

// `o` after `i`.
Map operator*(const Map& o, const Map& i)
{
    return {o.a * i.a + o.c * i.b, o.b * i.a + o.d * i.b, o.a * i.c + o.c * i.d,
            o.b * i.c + o.d * i.d, o.a * i.e + o.c * i.f + o.e, o.b * i.e + o.d * i.f + o.f};
}

Map moved(double x, double y) { return {1, 0, 0, 1, x, y}; }
Map turned(double radians) { return {std::cos(radians), std::sin(radians), -std::sin(radians), std::cos(radians), 0, 0}; }
Map scaled(double x, double y) { return {x, 0, 0, y, 0, 0}; }

// An entity's object coordinate system, by the arbitrary axis of DXF from its extrusion `n`,
// at elevation `z`, seen from above: a normal pointing down mirrors X.
Map objectSystem(std::array<double, 3> n, double z)
{
    double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(length > 0) || !std::isfinite(length))
        n = {0, 0, 1}, length = 1;
    for (double& v : n)
        v /= length;
    std::array<double, 3> x = std::abs(n[0]) < 1.0 / 64 && std::abs(n[1]) < 1.0 / 64
                                  ? std::array<double, 3>{n[2], 0, -n[0]}    // world Y across the normal
                                  : std::array<double, 3>{-n[1], n[0], 0};  // world Z across the normal
    double xl = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    for (double& v : x)
        v /= xl;
    std::array<double, 3> y = {n[1] * x[2] - n[2] * x[1], n[2] * x[0] - n[0] * x[2], n[0] * x[1] - n[1] * x[0]};
    return {x[0], x[1], y[0], y[1], z * n[0], z * n[1]};
}

double number(std::string_view text)
{
    double value;
    return parseNumber(text, value) ? value : std::nan("");
}

// A count or set of flags, 0 for what is none.
int whole(std::string_view text)
{
    double value = number(text);
    return value >= 0 && value <= 65535 ? static_cast<int>(value) : 0;
}

enum class Kind { None, Line, Arc, Ellipse, Poly, Insert, Mark };

struct Vertex {
    Point at;
    double bulge;
};

// One entity as read: only what its kind needs of it is looked at.
struct Shape {
    Kind kind = Kind::None;
    bool paper = false;     // group 67 = 1
    bool world = false;     // its points are in world coordinates, not its object system's
    bool placed = false;    // a DIMENSION: its block stands where it is, its own groups say other things
    bool vertexList = false;  // LWPOLYLINE: each group 10 begins a vertex
    Point p{0, 0}, q{0, 0};
    double z = 0, qz = 0, radius = 0, ratio = 1, start = 0, end = 360, rotation = 0, bulge = 0;
    Point scale{1, 1}, spacing{0, 0};
    int flags = 0, columns = 1, rows = 1;
    std::array<double, 3> normal{0, 0, 1};
    std::vector<Vertex> vertices;
    std::string_view block;  // the INSERT's block, as the drawing names it
};

Shape begin(std::string_view type)
{
    Shape s;
    if (type == "LINE")
        s.kind = Kind::Line;
    else if (type == "ARC" || type == "CIRCLE")
        s.kind = Kind::Arc;
    else if (type == "ELLIPSE")
        s.kind = Kind::Ellipse, s.world = true, s.end = 2 * PI;
    else if (type == "LWPOLYLINE" || type == "POLYLINE")
        s.kind = Kind::Poly, s.vertexList = type == "LWPOLYLINE";
    else if (type == "INSERT")
        s.kind = Kind::Insert;
    else if (type == "DIMENSION")
        s.kind = Kind::Insert, s.placed = s.world = true;
    else if (type == "TEXT" || type == "ATTRIB")
        s.kind = Kind::Mark;
    else if (type == "MTEXT")
        s.kind = Kind::Mark, s.world = true;
    return s;
}

// Takes one group of the entity; `room` is how many vertices it may still keep.
void take(Shape& s, int code, std::string_view value, std::size_t& room)
{
    if (s.placed && code != 2 && code != 67)
        return;
    switch (code) {
    case 2:
        s.block = value;
        break;
    case 67:
        s.paper = number(value) == 1;
        break;
    case 10:
        if (s.vertexList && room > 0)
            s.vertices.push_back({{number(value), 0}, 0}), --room;
        else if (!s.vertexList)
            s.p.x = number(value);
        break;
    case 20:
        (s.vertexList ? (s.vertices.empty() ? s.q : s.vertices.back().at) : s.p).y = number(value);
        break;
    case 11:
        s.q.x = number(value);
        break;
    case 21:
        s.q.y = number(value);
        break;
    case 30:
    case 38:
        s.z = number(value);
        break;
    case 31:
        s.qz = number(value);
        break;
    case 40:
        (s.kind == Kind::Ellipse ? s.ratio : s.radius) = number(value);
        break;
    case 41:
        (s.kind == Kind::Ellipse ? s.start : s.scale.x) = number(value);
        break;
    case 42:
        if (s.vertexList)
            (s.vertices.empty() ? s.bulge : s.vertices.back().bulge) = number(value);
        else
            (s.kind == Kind::Ellipse ? s.end : s.kind == Kind::Insert ? s.scale.y : s.bulge) = number(value);
        break;
    case 44:
        s.spacing.x = number(value);
        break;
    case 45:
        s.spacing.y = number(value);
        break;
    case 50:
        (s.kind == Kind::Insert ? s.rotation : s.start) = number(value);
        break;
    case 51:
        s.end = number(value);
        break;
    case 70:
        (s.kind == Kind::Insert ? s.columns : s.flags) = whole(value);
        break;
    case 71:
        s.rows = whole(value);
        break;
    case 210:
    case 220:
    case 230:
        s.normal[(code - 210) / 10] = number(value);
        break;
    default:
        break;
    }
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Gathers the entities of a run of pairs, a POLYLINE with its VERTEXes as one, and hands each
// to `done` with its type as it ends. `room` is how many vertices may still be kept.
class Gatherer {
public:
    Gatherer(std::size_t& room, std::function<void(std::string_view, Shape&)> done)
        : room_(room), done_(std::move(done)) {}

    void pair(int code, std::string_view value)
    {
        if (code == 0)
            next(trimmed(value));
        else if (code < 1000)  // application data may repeat any group
            take(shape_, code, value, room_);
    }

    // The entity read so far ends; `type` begins, "" for none.
    void next(std::string_view type)
    {
        if (type_ == "VERTEX" && polyOpen_) {
            if (!(shape_.flags & 16) && room_ > 0)  // not a spline's frame
                poly_.vertices.push_back({shape_.p, shape_.bulge}), --room_;
        } else if (type_ == "POLYLINE") {
            poly_ = std::move(shape_);
            polyOpen_ = true;
        } else if (!type_.empty()) {
            done_(type_, shape_);
        }
        if (polyOpen_ && type != "VERTEX") {  // its SEQEND, or whatever ends it
            polyOpen_ = false;
            done_("POLYLINE", poly_);
        }
        type_ = type;
        shape_ = begin(type);
    }

private:
    std::size_t& room_;
    std::function<void(std::string_view, Shape&)> done_;
    std::string_view type_;
    Shape shape_, poly_;
    bool polyOpen_ = false;
};

struct Block {
    Point base{0, 0};
    std::vector<Shape> shapes;
};

using Blocks = std::map<std::string, Block, std::less<>>;

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Draws shapes into the backdrop while the budget lasts.
class Painter {
public:
    Painter(const Blocks& blocks, Backdrop& out, std::size_t budget, double tolerance)
        : blocks_(blocks), out_(out), room_(budget), tolerance_(tolerance) {}

    bool spent() const { return room_ == 0; }

    // False once the budget is spent.
    bool draw(const Shape& s, const Map& m, int depth)
    {
        if (!spend())
            return false;
        Map local = s.world ? m : m * objectSystem(s.normal, s.z);
        switch (s.kind) {
        case Kind::Line:
            corner(m(s.p)), corner(m(s.q));
            return segment(m(s.p), m(s.q));
        case Kind::Mark:
            if (finite(local(s.p)))
                out_.marks.push_back(local(s.p));
            return true;
        case Kind::Arc: {
            double sweep = std::fmod(s.end - s.start, 360.0);
            if (!(s.radius > 0) || !std::isfinite(sweep))
                return true;
            sweep = sweep <= 0 ? sweep + 360 : sweep;
            // Reduced in degrees, as the drawing gives them: a far angle is then exact.
            return curve(local, s.p, {s.radius, 0}, {0, s.radius}, std::fmod(s.start, 360.0) * PI / 180,
                         sweep * PI / 180);
        }
        case Kind::Ellipse: {
            std::array<double, 3> n = s.normal;
            double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            double sweep = std::fmod(s.end - s.start, 2 * PI);
            if (!(length > 0) || !(s.ratio > 0) || !std::isfinite(sweep))
                return true;
            sweep = sweep <= 1e-12 ? sweep + 2 * PI : sweep;
            // The normal across the major axis, seen from above.
            Point minor{(n[1] * s.qz - n[2] * s.q.y) / length * s.ratio, (n[2] * s.q.x - n[0] * s.qz) / length * s.ratio};
            return curve(m, s.p, s.q, minor, s.start, sweep);
        }
        case Kind::Poly:
            return polyline(s, s.flags & 8 ? m : local);
        case Kind::Insert:
            return insert(s, local, depth);
        default:
            return true;
        }
    }

private:
    // `cost` of the budget; false, taking none, where less is left.
    bool spend(std::size_t cost = 1)
    {
        if (room_ < cost || room_ == 0)
            return false;
        room_ -= cost;
        return true;
    }

    // A point to snap to; two at most for each segment drawn, which the budget counts.
    void corner(Point p)
    {
        if (room_ > 0 && finite(p))
            out_.corners.push_back(p);
    }

    // The end of what has been drawn, to snap to, though it took the last of the budget.
    void end(Point p)
    {
        if (finite(p))
            out_.corners.push_back(p);
    }

    bool segment(Point a, Point b)
    {
        if (!spend())
            return false;
        if (finite(a) && finite(b) && (a.x != b.x || a.y != b.y))
            out_.segments.push_back({a, b});
        return true;
    }

    // The points centre + cos t u + sin t v for t from `start` through `sweep` (radians): an arc
    // where the map keeps them on a circle, else chords.
    bool curve(const Map& m, Point centre, Point u, Point v, double start, double sweep)
    {
        // Within a turn, for the ends, the chords and the arc alike: the canvas draws an arc
        // from a far angle where it pleases, and the page's box of it counts quarter turns.
        start = std::fmod(start, 2 * PI);
        bool whole = std::abs(sweep) >= 2 * PI;  // a whole circle has no end to snap to
        auto on = [&](double cosine, double sine) {
            return m({centre.x + cosine * u.x + sine * v.x, centre.y + cosine * u.y + sine * v.y});
        };
        Point from{0, 0}, last{0, 0};
        auto ends = [&] {
            from = on(std::cos(start), std::sin(start)), last = on(std::cos(start + sweep), std::sin(start + sweep));
        };
        if (!whole)
            ends();
        Point mu{m.a * u.x + m.c * u.y, m.b * u.x + m.d * u.y}, mv{m.a * v.x + m.c * v.y, m.b * v.x + m.d * v.y};
        // A million circles: a square root each, not a hypot.
        auto length = [](Point p) {
            double square = p.x * p.x + p.y * p.y;
            return square > 1e-290 && square < 1e290 ? std::sqrt(square) : std::hypot(p.x, p.y);
        };
        double lu = length(mu), lv = length(mv), turn = mu.x * mv.y - mu.y * mv.x;
        // Small arcs need fewer chords: the chord's distance from the arc, r (1 - cos(step / 2)),
        // within the tolerance; at least 8 to a circle, and 4 to one within the tolerance.
        double r = std::max(lu, lv);
        double step = STEP;
        if (tolerance_ > 0 && r > 0 && std::isfinite(r))
            step = tolerance_ >= r ? PI / 2 : std::clamp(2 * std::acos(1 - tolerance_ / r), STEP, PI / 4);
        int chords = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / step)));
        // Where no block scaled it unevenly and no extrusion tilted it, it stays an arc, which
        // the page draws round at any zoom. It costs the budget its chords all the same: the
        // canvas draws it at about their cost.
        Point middle = m(centre);
        if (lu > 0 && std::isfinite(lu) && std::abs(lu - lv) <= 1e-9 * lu &&
            std::abs(mu.x * mv.x + mu.y * mv.y) <= 1e-9 * lu * lv && finite(middle)) {
            if (!spend(static_cast<std::size_t>(chords)))
                return room_ = 0, false;
            if (!whole)
                end(from), end(last);
            double side = turn < 0 ? -1 : 1;  // mirrored: the arc runs the other way
            // A full turn needs no angle; one short of it by a hair keeps its gap, which on a
            // large radius is wide.
            if (whole)
                out_.arcs.push_back({middle, lu, 0, 2 * PI});
            else
                out_.arcs.push_back({middle, lu, std::fmod(std::atan2(mu.y, mu.x) + side * start, 2 * PI), side * sweep});
            return true;
        }
        if (whole)
            ends();
        else
            corner(from);  // the far end once the chords reach it: the budget may end them before
        // The points between are turned on from the one before, not found by a sine and a
        // cosine each: a drawing's many small circles took most of the time of its opening.
        double cosine = std::cos(start), sine = std::sin(start);
        const double turnCos = std::cos(sweep / chords), turnSin = std::sin(sweep / chords);
        for (int k = 1; k <= chords; ++k) {
            double c = cosine * turnCos - sine * turnSin;
            sine = sine * turnCos + cosine * turnSin, cosine = c;
            Point to = k == chords ? last : on(cosine, sine);
            if (!segment(from, to))
                return false;
            from = to;
        }
        if (!whole)
            end(last);
        return true;
    }

    // From a to b, bowed by `bulge`: the tangent of a quarter of the arc's angle, positive
    // counterclockwise.
    bool bowed(const Map& m, Point a, Point b, double bulge)
    {
        // A bulge of round-off is straight: its arc's radius would be the chord's a billion
        // times and more, beyond what a view of it can draw.
        if (!(std::abs(bulge) >= 1e-9) || !std::isfinite(bulge))
            return corner(m(a)), corner(m(b)), segment(m(a), m(b));
        Point d{b.x - a.x, b.y - a.y};
        double across = (1 - bulge * bulge) / (4 * bulge);
        Point centre{a.x + d.x / 2 - d.y * across, a.y + d.y / 2 + d.x * across};
        double radius = std::hypot(a.x - centre.x, a.y - centre.y);
        if (!finite(centre) || !std::isfinite(radius))
            return segment(m(a), m(b));
        return curve(m, centre, {radius, 0}, {0, radius}, std::atan2(a.y - centre.y, a.x - centre.x),
                     4 * std::atan(bulge));
    }

    bool polyline(const Shape& s, const Map& m)
    {
        if (s.flags & (16 | 64))
            return true;  // a mesh: its vertices are no outline
        const std::vector<Vertex>& v = s.vertices;
        bool bows = !(s.flags & 8);  // a 3D polyline has none
        std::size_t n = v.size(), last = s.flags & 1 ? n : n - (n > 0);
        for (std::size_t i = 0; i < last; ++i)
            if (!bowed(m, v[i].at, v[(i + 1) % n].at, bows ? v[i].bulge : 0))
                return false;
        return true;
    }

    bool insert(const Shape& s, const Map& m, int depth)
    {
        std::string key = foldedName(s.block);
        auto found = blocks_.find(key);
        bool usable = std::isfinite(s.scale.x) && std::isfinite(s.scale.y) && s.scale.x != 0 && s.scale.y != 0 &&
                      std::isfinite(s.rotation) && finite(s.p) && finite(s.spacing);
        if (depth >= DEEPEST || found == blocks_.end() || !usable)
            return true;
        const Block& block = found->second;
        Map placing = s.placed ? m : m * moved(s.p.x, s.p.y) * turned(s.rotation * PI / 180);
        int columns = std::max(1, s.columns), rows = std::max(1, s.rows);
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                if (!spend())
                    return false;
                Map place = placing * moved(column * s.spacing.x, row * s.spacing.y) * scaled(s.scale.x, s.scale.y) *
                            moved(-block.base.x, -block.base.y);
                for (const Shape& inner : block.shapes)
                    if (!draw(inner, place, depth + 1))
                        return false;
            }
        return true;
    }

    const Blocks& blocks_;
    Backdrop& out_;
    std::size_t room_;
    double tolerance_;
};

}  // namespace

void readBackdrop(const DxfDrawing& drawing, Backdrop& backdrop, std::size_t budget, double tolerance)
{
    std::size_t room = std::min(budget, BLOCK_ROOM);
    Blocks blocks;
    Block* open = nullptr;
    Gatherer definitions(room, [&](std::string_view type, Shape& shape) {
        if (type == "BLOCK") {
            auto added = blocks.emplace(foldedName(shape.block), Block{shape.p, {}});
            open = added.second ? &added.first->second : nullptr;  // the first of a name counts
        } else if (type == "ENDBLK") {
            open = nullptr;
        } else if (open && shape.kind != Kind::None && room > 0) {
            open->shapes.push_back(std::move(shape));
            --room;
        }
    });
    for (ByteRange range : drawing.blocks) {
        readPairs(drawing, range, [&](int code, std::string_view value) { definitions.pair(code, value); });
        definitions.next("");
    }
    // BLOCK's group 10 is its base point, read as any entity's point.
    Painter painter(blocks, backdrop, budget, tolerance);
    std::size_t vertices = budget;
    Gatherer entities(vertices, [&](std::string_view type, Shape& shape) {
        if (shape.paper || shape.kind == Kind::None)
            return;
        auto had = [&] { return backdrop.segments.size() + backdrop.arcs.size() + backdrop.marks.size(); };
        std::size_t before = had();
        if (painter.spent() || !painter.draw(shape, Map{}, 0))
            ++backdrop.leftOut;
        else if (had() > before && type != "ATTRIB")
            ++backdrop.drawn;  // an INSERT's ATTRIBs are of the INSERT, counted once
        vertices = budget;  // an entity keeps what it needs, and it is gone once drawn
    });
    for (ByteRange range : drawing.others) {
        readPairs(drawing, range, [&](int code, std::string_view value) { entities.pair(code, value); });
        entities.next("");
    }
}
