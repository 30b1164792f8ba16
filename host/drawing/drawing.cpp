// Reading a drawing file and writing it back with the turned lines in place.
#include "drawing/drawing.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "base/numbers.h"
#include "base/status.h"
#include "base/text.h"
#include "drawing/dxf.h"
#include "exchange/exchange.h"

int colourOf(const Attributes& attributes)
{
    auto lc = attributes.find("lc");
    return lc == attributes.end() ? 1 : std::atoi(std::string(lc->second.substr(2)).c_str());
}

bool parseSegment(std::string_view record, Segment& segment)
{
    if (record.empty() || record[0] != ' ')
        return false;
    // Read as a C++ stream reads four doubles, but the same on every build (the page's C++
    // library reads hexadecimal, "inf" and subnormals otherwise): each number the longest
    // run of sign, digits, point and exponent after blanks, and may touch the next ("1-2").
    auto digit = [&](std::size_t i) { return i < record.size() && record[i] >= '0' && record[i] <= '9'; };
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    double* values[] = {&segment.a.x, &segment.a.y, &segment.b.x, &segment.b.y};
    std::size_t at = 0;
    for (double* value : values) {
        while (at < record.size() && blank(record[at]))
            ++at;
        std::size_t start = at, digits = 0;
        if (at < record.size() && (record[at] == '+' || record[at] == '-'))
            ++at;
        for (; digit(at); ++at)
            ++digits;
        if (at < record.size() && record[at] == '.')
            for (++at; digit(at); ++at)
                ++digits;
        if (digits > 0 && at < record.size() && (record[at] == 'e' || record[at] == 'E')) {
            std::size_t mark = at + 1 + (at + 1 < record.size() && (record[at + 1] == '+' || record[at + 1] == '-'));
            if (digit(mark))
                for (at = mark; digit(at); ++at) {
                }
        }
        if (digits == 0 || !parseNumber(record.substr(start, at - start), *value))
            return false;
    }
    // Anything after the four numbers would be lost when the tool's record takes the line's
    // place: such a line is no record of a drawing.
    return record.find_first_not_of(" \t", at) == std::string_view::npos;
}

bool readDrawing(FileBytes file, const std::string& name, const std::set<long>& selection, Drawing& drawing,
                 std::string& error)
{
    drawing.file = std::move(file);
    std::string_view bytes = drawing.file.view();
    Attributes inForce;
    std::shared_ptr<const Attributes> shared = std::make_shared<const Attributes>();
    bool changed = false;  // since the last set was made
    char lineEnd = ::lineEnd(bytes);
    if (lineEnd == '\r')
        drawing.end = "\r";
    // Line by line as getline splits them: a last line without its line end counts too.
    for (long number = 1; !bytes.empty(); ++number) {
        std::size_t end = std::min(bytes.find(lineEnd), bytes.size());
        std::string_view text = bytes.substr(0, end);
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
        if (lineEnd == '\n' && !text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
            drawing.end = "\r\n";
        }
        DrawingLine line;
        line.number = number;
        line.text = text;
        std::string kind = attributeKind(text);
        if (!kind.empty()) {
            inForce[kind] = text;
            if (kind == "cn0")
                inForce.erase("cn");
            else if (kind == "cn")
                inForce.erase("cn0");
            changed = true;
        } else if (parseSegment(text, line.segment)) {
            line.isLine = true;
            line.selected = selection.empty() || selection.count(number) > 0;
        } else if (!text.empty() && text[0] != '#') {
            error = name + ":" + std::to_string(number) + ": not a record of a drawing: " + excerpt(text);
            because("notRecord", {{"line", std::to_string(number)}, {"text", hostText(excerpt(text))}});
            return false;
        }
        if (line.isLine) {
            if (changed)
                shared = std::make_shared<const Attributes>(inForce);
            changed = false;
            line.attributes = shared;
        }
        drawing.lines.push_back(std::move(line));
    }
    return true;
}
