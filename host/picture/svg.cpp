// Draws a run as SVG. Coordinates are written with y negated, so that y points up and
// text still reads upright.
#include "picture/svg.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "base/stop.h"
#include "base/text.h"

namespace {

double distance(Point p, Point q)
{
    return std::hypot(p.x - q.x, p.y - q.y);
}

Point middle(const Segment& s)
{
    return {(s.a.x + s.b.x) / 2, (s.a.y + s.b.y) / 2};
}

std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : hostText(text)) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out;
}

}  // namespace

std::string hostColour(int colour)
{
    static const char* palette[] = {"#000000", "#000000", "#d62728", "#2ca02c", "#1f77b4",
                                    "#e6a800", "#c400c4", "#17becf", "#7f7f7f", "#8c564b"};
    return palette[colour >= 0 && colour < 10 ? colour : 1];
}

std::string dxfColour(int index)
{
    // The first nine colours of the DXF index; white (7) is drawn black on the white page.
    static const char* palette[] = {"#000000", "#ff0000", "#e6c300", "#00b000", "#00a8a8",
                                    "#0000ff", "#c400c4", "#000000", "#808080", "#b0b0b0"};
    index = index < 0 ? -index : index;
    return palette[index < 10 ? index : 7];
}

Turn turnOf(const Segment& before, const Segment& after)
{
    Segment ordered = before;
    if (ordered.a.x > ordered.b.x)  // the tool orders the ends by x first
        std::swap(ordered.a, ordered.b);
    double d1 = distance(ordered.a, after.a), d2 = distance(ordered.b, after.b);
    double dm = distance(middle(ordered), middle(after));
    int mode = d1 <= d2 && d1 <= dm ? 1 : d2 <= dm ? 3 : 2;
    Point pivot = mode == 1 ? ordered.a : mode == 3 ? ordered.b : middle(ordered);
    return {before, after, pivot, mode};
}

std::array<int, 4> pivotCounts(const std::vector<Turn>& turns)
{
    std::array<int, 4> counts = {};
    for (const auto& turn : turns)
        ++counts[turn.mode];
    return counts;
}

std::string svg(const Picture& picture)
{
    double minX = picture.at.x, maxX = picture.at.x, minY = picture.at.y, maxY = picture.at.y;
    auto include = [&](Point p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            return;
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    };
    for (const auto& s : picture.before)
        include(s.a), include(s.b);
    for (const auto& [s, colour] : picture.after)
        include(s.a), include(s.b);
    for (const auto& label : picture.labels)
        include(label.at);
    // The view is 800 units wide, one unit a pixel at the picture's own size, so that stroke
    // widths and text sizes mean the same in renderers that scale strokes and those that don't.
    // It is worked out in halves of the coordinates, so that no difference between two finite
    // coordinates overflows, even between -1e308 and 1e308.
    double halfWidth = maxX / 2 - minX / 2, halfHeight = maxY / 2 - minY / 2;
    double margin = std::max({halfWidth, halfHeight, 1e-9}) * 0.08;
    double k = 800 / (halfWidth + 2 * margin);
    // and room for the legend, with a third line for what is not drawn
    double height = (halfHeight + 2 * margin) * k + (picture.notDrawn > 0 ? 68 : 50);
    auto X = [&](double x) { return (x / 2 - minX / 2 + margin) * k; };
    auto Y = [&](double y) { return (maxY / 2 - y / 2 + margin) * k; };
    auto drawable = [](Point p) { return std::isfinite(p.x) && std::isfinite(p.y); };

    std::ostringstream out;
    out.precision(10);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"" << std::lround(height)
        << "\" viewBox=\"0 0 800 " << std::lround(height) << "\">\n"
        << "<rect width=\"800\" height=\"" << std::lround(height) << "\" fill=\"#ffffff\"/>\n";
    auto line = [&](const Segment& s, const std::string& colour, double width, const char* cls) {
        if (!drawable(s.a) || !drawable(s.b))
            return;
        out << "<line class=\"" << cls << "\" x1=\"" << X(s.a.x) << "\" y1=\"" << Y(s.a.y) << "\" x2=\""
            << X(s.b.x) << "\" y2=\"" << Y(s.b.y) << "\" stroke=\"" << colour << "\" stroke-width=\"" << width
            << "\" vector-effect=\"non-scaling-stroke\"/>\n";
    };
    // A picture of millions of lines takes seconds to make: a signal ends it, and the run, early.
    std::size_t made = 0;
    auto stopped = [&made] { return ++made % 4096 == 0 && stopSignal() != 0; };
    out << "<g id=\"before\">\n";
    for (const auto& s : picture.before) {
        if (stopped())
            return out.str();
        line(s, "#bbbbbb", 1, "before");
    }
    out << "</g>\n<g id=\"after\">\n";
    for (const auto& [s, colour] : picture.after) {
        if (stopped())
            return out.str();
        line(s, colour, 2.5, "after");
    }
    out << "</g>\n<g id=\"pivots\">\n";
    for (const auto& turn : picture.turns)
        if (drawable(turn.pivot))
            out << "<rect x=\"" << X(turn.pivot.x) - 3 << "\" y=\"" << Y(turn.pivot.y) - 3
            << "\" width=\"6\" height=\"6\" fill=\"#000000\"/>\n";
    out << "</g>\n<circle id=\"indicated\" cx=\"" << X(picture.at.x) << "\" cy=\"" << Y(picture.at.y)
        << "\" r=\"7\" fill=\"none\" stroke=\"#d62728\" stroke-width=\"2\" vector-effect=\"non-scaling-stroke\"/>\n";
    out << "<g id=\"labels\" font-family=\"sans-serif\" font-size=\"12\" fill=\"#444444\">\n";
    for (const auto& label : picture.labels)
        if (drawable(label.at))
            out << "<text x=\"" << X(label.at.x) + 4 << "\" y=\"" << Y(label.at.y) - 4 << "\">" << escaped(label.text)
            << "</text>\n";
    std::array<int, 4> modes = pivotCounts(picture.turns);
    out << "</g>\n<g id=\"legend\" font-family=\"sans-serif\" font-size=\"13\" fill=\"#000000\">\n"
        << "<text x=\"10\" y=\"" << height - 30 << "\">angle " << picture.angle << "\u00b0; " << picture.turns.size()
        << " lines turned: " << modes[1] << " about the first end, " << modes[2] << " about the midpoint, " << modes[3]
        << " about the second end</text>\n"
        << "<text x=\"10\" y=\"" << height - 12
        << "\">grey: before; coloured: after, by colour attribute; \u25a0 pivot; red circle: indicated point</text>\n";
    if (picture.notDrawn > 0)
        out << "<text x=\"10\" y=\"" << height - 48 << "\">" << picture.notDrawn
            << " other entities not drawn (not LINEs of the model space)</text>\n";
    out << "</g>\n</svg>\n";
    return out.str();
}
