// Reading a drawing file and writing it back with the turned lines in place.
#include "drawing.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "exchange.h"
#include "text.h"

int colourOf(const Attributes& attributes)
{
    auto lc = attributes.find("lc");
    return lc == attributes.end() ? 1 : std::atoi(lc->second.c_str() + 2);
}

bool parseSegment(const std::string& record, Segment& segment)
{
    if (record.empty() || record[0] != ' ')
        return false;
    std::istringstream numbers(record);
    return static_cast<bool>(numbers >> segment.a.x >> segment.a.y >> segment.b.x >> segment.b.y);
}

bool readDrawing(std::string_view bytes, const std::string& name, const std::set<long>& selection,
                 Drawing& drawing, std::string& error)
{
    Attributes inForce;
    std::string text;
    // Line by line as getline splits them: a last line without its line end counts too.
    for (long number = 1; !bytes.empty(); ++number) {
        std::size_t end = std::min(bytes.find('\n'), bytes.size());
        text.assign(bytes.substr(0, end));
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
            drawing.crlf = true;
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
        } else if (parseSegment(text, line.segment)) {
            line.isLine = true;
            line.selected = selection.empty() || selection.count(number) > 0;
        } else if (!text.empty() && text[0] != '#') {
            error = name + ":" + std::to_string(number) + ": not a record of a drawing: " + excerpt(text);
            return false;
        }
        line.attributes = inForce;
        drawing.lines.push_back(line);
    }
    return true;
}

std::string newDrawing(const Drawing& drawing, const std::map<long, std::vector<std::string>>& replacements)
{
    const char* end = drawing.crlf ? "\r\n" : "\n";
    std::string out;
    for (const auto& line : drawing.lines) {
        auto turned = replacements.find(line.number);
        if (!line.selected || turned == replacements.end()) {
            if (!line.selected)
                out += line.text + end;
            continue;  // a selected line the tool returned nothing for is gone, as in the host
        }
        for (const auto& record : turned->second)
            out += record + end;
    }
    return out;
}
