// Reading an ASCII DXF pair by pair, and writing it back with only line coordinates replaced.
#include "drawing/dxf.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "base/numbers.h"
#include "base/status.h"
#include "base/text.h"
#include "drawing/plan.h"

namespace {

const std::string_view BINARY_SENTINEL = "AutoCAD Binary DXF";
const std::string_view BOM = "\xEF\xBB\xBF";

std::string_view trimmed(std::string_view text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool parseCode(std::string_view text, int& code)
{
    text = trimmed(text);
    std::size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size() || text.size() > 7)
        return false;
    int value = 0;
    for (std::size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9')
            return false;
        value = value * 10 + (text[j] - '0');
    }
    code = text[0] == '-' ? -value : value;
    return true;
}

// One line of the file: where its text lies, without its line end (LF, CR LF or CR, as found).
struct TextLine {
    std::size_t at = 0, length = 0;
};

class LineReader {
public:
    explicit LineReader(std::string_view bytes) : bytes_(bytes), end_(lineEnd(bytes)) {}
    // From `from` of `bytes`, which is not the first line, in lines that end in `end`.
    LineReader(std::string_view bytes, char end, std::size_t from)
        : bytes_(bytes), end_(end), position_(from), number_(from > 0) {}
    // A plain loop, not memchr: the lines of a DXF file are mostly a few bytes long.
    bool next(TextLine& line)
    {
        if (position_ >= bytes_.size())
            return false;
        std::size_t stop = position_;
        while (stop < bytes_.size() && bytes_[stop] != end_)
            ++stop;
        line.at = position_;
        line.length = stop - position_;
        if (end_ == '\n' && line.length > 0 && bytes_[stop - 1] == '\r')
            --line.length;
        position_ = stop < bytes_.size() ? stop + 1 : stop;
        ++number_;
        return true;
    }
    // A group code line of digits, a sign at most and blanks around them, read and parsed in
    // one pass: the lines of a drawing are mostly such. False, reading nothing, for any other
    // line and for the first, which may begin with a byte order mark.
    bool plainCode(int& code)
    {
        auto blank = [](char c) { return c == ' ' || c == '\t'; };
        std::size_t p = position_, size = bytes_.size();
        if (number_ == 0)
            return false;
        while (p < size && blank(bytes_[p]))
            ++p;
        std::size_t start = p;
        bool negative = p < size && bytes_[p] == '-';
        p += p < size && (bytes_[p] == '-' || bytes_[p] == '+');
        std::size_t digits = p;
        int value = 0;
        for (; p < size && bytes_[p] >= '0' && bytes_[p] <= '9' && p - start < 7; ++p)
            value = value * 10 + (bytes_[p] - '0');
        if (p == digits)
            return false;
        while (p < size && blank(bytes_[p]))
            ++p;
        if (end_ == '\n' && p + 1 < size && bytes_[p] == '\r' && bytes_[p + 1] == '\n')
            ++p;
        if (p < size && bytes_[p] != end_)
            return false;
        position_ = p < size ? p + 1 : p;
        ++number_;
        code = negative ? -value : value;
        return true;
    }
    long number() const { return number_; }
    std::size_t position() const { return position_; }
    char end() const { return end_; }
    std::string_view text(const TextLine& line) const { return bytes_.substr(line.at, line.length); }

private:
    std::string_view bytes_;
    char end_;
    std::size_t position_ = 0;
    long number_ = 0;
};

// The entity being read: a LINE takes its groups, any other entity is only counted.
// Its texts are views into the drawing's bytes.
struct Entity {
    std::string_view type;
    long line = 0;
    std::size_t at = 0;  // where its group code 0 begins
    bool inXdata = false;  // group 1001 on: application data, which may repeat any code
    std::array<bool, 4> seen{};  // which of groups 10, 20, 11, 21 came
    DxfLine found;
    std::string_view name;  // group 2 of a LAYER table entry
    int colour = 256;
};

const char* const GROUPS[] = {"10", "20", "11", "21"};

}  // namespace

char lineEnd(std::string_view bytes)
{
    return bytes.find('\n') == std::string_view::npos && bytes.find('\r') != std::string_view::npos ? '\r' : '\n';
}

DrawingKind kindOf(std::string_view bytes)
{
    std::string_view view(bytes);
    if (view.substr(0, BINARY_SENTINEL.size()) == BINARY_SENTINEL)
        return DrawingKind::BinaryDxf;
    if (view.substr(0, BOM.size()) == BOM)
        view.remove_prefix(BOM.size());
    std::string_view first = view.substr(0, view.find(lineEnd(view)));
    if (!first.empty() && first.back() == '\r')
        first.remove_suffix(1);
    int code;
    return parseCode(first, code) ? DrawingKind::Dxf : DrawingKind::Records;
}

std::string foldedName(std::string_view name)
{
    std::string folded(trimmed(name));
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

bool readDxf(FileBytes file, DxfDrawing& drawing, const std::function<void(const DxfLine&)>& take,
             std::string& error)
{
    drawing.file = std::move(file);
    drawing.bytes = drawing.file.view();
    std::string_view all = drawing.bytes;
    LineReader reader(all);
    drawing.ending = reader.end();
    std::string_view section, variable;  // the header variable whose value comes
    bool sectionOpen = false, nameNext = false, entitiesEnded = false, entitiesSeen = false;
    Entity entity;
    std::size_t blocksFrom = 0;

    auto finish = [&](std::size_t end) {
        if (section == "ENTITIES" && !entity.type.empty()) {
            if (entity.type == "LINE") {
                DxfLine& line = entity.found;
                line.line = entity.line;
                double* target[] = {&line.segment.a.x, &line.segment.a.y, &line.segment.b.x, &line.segment.b.y};
                for (int i = 0; i < 4 && line.problem == 0; ++i) {
                    if (!entity.seen[i])
                        line.problem = static_cast<std::uint8_t>(i + 1);
                    else if (!parseNumber(all.substr(line.values.at[i], line.values.length[i]), *target[i]))
                        line.problem = static_cast<std::uint8_t>(i + 5);
                }
                take(line);
            } else {
                if (entity.type != "SEQEND" && entity.type != "VERTEX" && entity.type != "ATTRIB")
                    ++drawing.otherEntities;
                if (drawing.keepsOthers && !drawing.others.empty() && drawing.others.back().to == entity.at)
                    drawing.others.back().to = end;
                else if (drawing.keepsOthers)
                    drawing.others.push_back({entity.at, end});
            }
        } else if (section == "TABLES" && entity.type == "LAYER") {
            drawing.layers[drawing.keyOf(entity.name)] = entity.colour;
        }
        entity = Entity();
    };

    for (TextLine codeLine, valueLine;;) {
        int code;
        std::size_t codeAt = reader.position();
        if (!reader.plainCode(code)) {
            if (!reader.next(codeLine))
                break;
            std::string_view codeText = reader.text(codeLine);
            if (reader.number() == 1 && codeText.substr(0, BOM.size()) == BOM)
                codeText.remove_prefix(BOM.size());
            if (!parseCode(codeText, code)) {
                error = "line " + std::to_string(reader.number()) + " is not a group code: \"" + excerpt(codeText) + "\"";
                because("notCode", {{"line", std::to_string(reader.number())},
                                    {"text", decodedName(excerpt(codeText), drawing.coding)}});
                return false;
            }
        }
        long codeNumber = reader.number();
        if (!reader.next(valueLine)) {
            error = "truncated: the group code at line " + std::to_string(codeNumber) + " has no value";
            because("noValue", {{"line", std::to_string(codeNumber)}});
            return false;
        }
        if (code == 999)
            continue;  // a comment, which may stand wherever a pair may
        std::string_view value = reader.text(valueLine);
        if (code == 0) {
            finish(codeAt);
            std::string_view type = trimmed(value);
            if (type == "EOF")
                break;  // what follows is kept as it is, unread
            if (type == "SECTION") {
                sectionOpen = nameNext = true;
            } else if (type == "ENDSEC") {
                entitiesEnded = entitiesEnded || section == "ENTITIES";
                if (drawing.keepsOthers && section == "BLOCKS")
                    drawing.blocks.push_back({blocksFrom, codeAt});
                section = {};
                sectionOpen = false;
            } else if (sectionOpen) {
                entity.type = type;
                entity.line = codeNumber;
                entity.at = codeAt;
            }
            continue;
        }
        if (nameNext) {
            nameNext = false;
            if (code == 2) {
                section = trimmed(value);
                entitiesSeen = entitiesSeen || section == "ENTITIES";
                blocksFrom = reader.position();
            }
            continue;
        }
        if (section == "HEADER") {
            if (code == 9)
                variable = trimmed(value);
            else
                drawing.coding.take(variable, code, value);
        }
        if (entity.type.empty())
            continue;
        if (code == 1001)
            entity.inXdata = true;
        if (entity.inXdata)
            continue;
        DxfLine& line = entity.found;
        switch (code) {
        case 2:
            entity.name = value;
            break;
        case 5:
            line.handle = trimmed(value);
            break;
        case 8:
            line.layer = value;
            break;
        case 62:
            if (!parseCode(value, entity.colour))
                entity.colour = 256;
            line.colour = entity.colour;
            break;
        case 67:
            line.modelSpace = trimmed(value) != "1";
            break;
        case 10:
        case 20:
        case 11:
        case 21: {
            int i = code == 10 ? 0 : code == 20 ? 1 : code == 11 ? 2 : 3;
            if (!entity.seen[i]) {
                entity.seen[i] = true;
                line.values.at[i] = valueLine.at;
                line.values.length[i] = valueLine.length;
            } else if (line.problem == 0) {
                line.problem = static_cast<std::uint8_t>(i + 9);  // which of the two is the line's is anyone's guess
            }
            break;
        }
        default:
            break;
        }
    }
    finish(reader.position());
    if (entitiesSeen && !entitiesEnded) {
        error = "truncated: the ENTITIES section has no end (ENDSEC)";
        because("noEnd");
        return false;
    }
    return true;
}

void readPairs(const DxfDrawing& drawing, ByteRange range, const std::function<void(int, std::string_view)>& take)
{
    LineReader reader(drawing.bytes.substr(0, range.to), drawing.ending, range.from);
    for (TextLine codeLine, valueLine;;) {
        int code;
        if (!reader.plainCode(code)) {
            if (!reader.next(codeLine) || !parseCode(reader.text(codeLine), code))
                return;
        }
        if (!reader.next(valueLine))
            return;
        if (code != 999)
            take(code, reader.text(valueLine));
    }
}

std::string DxfDrawing::nameOf(std::string_view raw) const
{
    return plainName(raw) ? std::string(raw) : named(raw).first;
}

std::string DxfDrawing::keyOf(std::string_view raw) const
{
    return plainName(raw) ? foldedName(raw) : named(raw).second;
}

const std::pair<std::string, std::string>& DxfDrawing::named(std::string_view raw) const
{
    auto found = names_.find(raw);
    if (found == names_.end()) {
        std::string name = decodedName(raw, coding);
        std::string key = foldedName(name);
        found = names_.emplace(std::string(raw), std::make_pair(std::move(name), std::move(key))).first;
    }
    return found->second;
}

std::string problemOf(const DxfDrawing& drawing, const DxfLine& line)
{
    if (line.problem == 0)
        return "";
    int i = (line.problem - 1) % 4;
    std::string text(drawing.bytes.substr(line.values.at[i], line.values.length[i]));
    because(line.problem <= 4 ? "noGroup" : line.problem > 8 ? "groupTwice" : "notNumber",
            {{"line", std::to_string(line.line)}, {"group", GROUPS[i]}, {"text", decodedName(excerpt(text), drawing.coding)}});
    if (line.problem <= 4)
        return std::string("it has no group ") + GROUPS[i];
    if (line.problem > 8)
        return std::string("it has group ") + GROUPS[i] + " twice";
    return std::string("group ") + GROUPS[i] + " holds \"" +
           excerpt(drawing.bytes.substr(line.values.at[i], line.values.length[i])) + "\", which is not a number";
}

DxfWriter::DxfWriter(const DxfDrawing& drawing, const std::function<void(std::string_view)>& put, Changes* changes)
    : drawing_(drawing), put_(put), changes_(changes)
{
    chunk_.reserve(1 << 16);
}

void DxfWriter::add(std::string_view piece)
{
    written_ += piece.size();
    chunk_.append(piece);
    if (chunk_.size() >= (1 << 16)) {
        put_(chunk_);
        chunk_.clear();
    }
}

void DxfWriter::replace(const DxfValues& values, const std::array<std::string_view, 4>& texts)
{
    std::array<int, 4> order = {0, 1, 2, 3};  // the groups as they stand in the file
    std::sort(order.begin(), order.end(), [&](int p, int q) { return values.at[p] < values.at[q]; });
    for (int i : order) {
        add(drawing_.bytes.substr(from_, values.at[i] - from_));
        std::string_view old = drawing_.bytes.substr(values.at[i], values.length[i]);
        if (changes_ && texts[i] != old)
            changes_->push_back({written_, texts[i].size(), old, {}});
        add(texts[i]);
        from_ = values.at[i] + values.length[i];
    }
}

void DxfWriter::finish()
{
    put_(chunk_);
    chunk_.clear();
    put_(drawing_.bytes.substr(from_));
    from_ = drawing_.bytes.size();
}
