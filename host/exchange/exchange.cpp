// Writes the exchange files and reads the command streams back.
#include "exchange/exchange.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <sstream>

#include "base/numbers.h"
#include "base/text.h"

namespace {

const std::string MARK = "#linetilt-host line ";

// The number after a mark, read as atol reads it; a number too large for a long names no line.
long markId(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (std::numeric_limits<long>::max() - (text[i] - '0')) / 10)
            return negative ? std::numeric_limits<long>::min() : std::numeric_limits<long>::max();
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

}  // namespace

std::string attributeKind(std::string_view record)
{
    if (record.compare(0, 3, "cn0") == 0)
        return "cn0";
    for (const char* kind : {"lc", "lt", "ly", "lg", "pn", "cn"})
        if (record.compare(0, 2, kind) == 0)
            return kind;
    return "";
}

ExchangeFiles::ExchangeFiles(const Jobs& jobs, Point at, long limit)
    : jobs_(jobs), head_("hq\r\nhp1ln " + shortest(at.x) + " " + shortest(at.y) + "\r\n"), limit_(limit)
{
}

bool ExchangeFiles::more() const
{
    return !any_ || done_ < jobs_.size();
}

void ExchangeFiles::next(const std::function<void(std::string_view)>& put)
{
    any_ = true;
    put(head_);
    long records = 2;
    const Attributes none;
    const Attributes* last = nullptr;  // the set of the line before, whose records this file holds
    Attributes written;                // the records this file set last, by kind
    Attributes wrote;                  // what `written` becomes once the line is known to fit
    std::string text;  // the records of one line, put once they are known to fit
    for (; done_ < jobs_.size(); ++done_) {
        const Job& job = jobs_[done_];
        text.clear();
        long needs = 0;
        const Attributes& attributes = job.attributes ? *job.attributes : none;
        if (&attributes != last) {
            // Only the records that changed: a long record written again at each change of a
            // short one would make the file, and the tool's echo of it, grow as their product.
            wrote.clear();
            for (const auto& [kind, attribute] : attributes) {
                auto before = written.find(kind);
                bool same = before != written.end() &&
                            (before->second.data() == attribute.data() ? before->second.size() == attribute.size()
                                                                       : before->second == attribute);
                if (!same) {
                    text.append(attribute).append("\r\n");
                    ++needs;
                }
                wrote.emplace(kind, attribute);
            }
        }
        // The tool counts lines, each read whole however long: the mark and the line record are two.
        char id[24];
        text.append(MARK).append(id, static_cast<std::size_t>(std::to_chars(id, id + sizeof id, job.id).ptr - id));
        text.append("\r\n");
        if (job.record.empty())
            appendLineRecord(text, job.segment);
        else
            text.append(job.record);
        text.append("\r\n");
        needs += 2;
        if (records > 2 && records + needs > limit_)
            break;
        put(text);
        if (&attributes != last)
            written.swap(wrote);
        last = &attributes;
        records += needs;
    }
}

bool readCommands(std::string_view stream, Commands& commands)
{
    long current = 0;
    std::vector<std::string> pending;  // attribute records since the last line
    long number = 0;
    // A returned line takes some 100 bytes, its mark and its record: room for them all and
    // more, so that the list is not copied as it grows. Room never touched costs no memory.
    commands.lines.reserve(commands.lines.size() + stream.size() / 64);
    for (std::size_t at = 0; at < stream.size();) {
        std::size_t end = stream.find('\n', at);
        std::size_t stop = end == std::string_view::npos ? stream.size() : end;
        std::string_view record = stream.substr(at, stop - at);
        at = stop + 1;
        ++number;
        if (!record.empty() && record.back() == '\r')
            record.remove_suffix(1);
        if (number == 1 && record.compare(0, 2, "he") == 0) {
            commands.error = hostText(std::string(record));
            return false;
        }
        if (number == 1 && record != "hd")
            return false;
        if (record == "hd") {
            continue;
        } else if (record.compare(0, MARK.size(), MARK) == 0) {
            current = markId(record.substr(MARK.size()));
            pending.clear();
        } else if (!record.empty() && record[0] == '#') {
            continue;  // comments, and the end-of-run trace lines of debug level 1
        } else if (!record.empty() && record[0] == ' ' && current > 0) {
            commands.lines.push_back({current, record});
            pending.clear();
        } else if (record.compare(0, 3, "ch ") == 0) {
            Label label{{0, 0}, ""};
            std::istringstream numbers(std::string(record.substr(3)));
            std::string x, y;
            numbers >> x >> y;
            if (!parseNumber(x, label.at.x) || !parseNumber(y, label.at.y))
                label.at = {0, 0};
            std::size_t quote = record.find('"');
            label.text = quote == std::string::npos ? "" : std::string(record.substr(quote + 1));
            commands.labels.push_back(label);
        } else if (!attributeKind(record).empty() || record.compare(0, 2, "cc") == 0 ||
                   (!record.empty() && record[0] == 'l')) {
            pending.emplace_back(record);
        } else {
            commands.unknown.push_back("line " + std::to_string(number) + ": " + std::string(record));
        }
    }
    commands.restored = pending;
    return true;
}

bool lineWords(std::string_view record, std::array<std::string_view, 4>& words)
{
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t at = 0, size = record.size();
    for (auto& word : words) {
        while (at < size && blank(record[at]))
            ++at;
        if (at == size)
            return false;
        std::size_t end = at;
        while (end < size && !blank(record[end]))
            ++end;
        word = record.substr(at, end - at);
        at = end;
    }
    while (at < size && blank(record[at]))
        ++at;
    return at == size;
}

bool parseReturned(std::string_view record, Segment& segment)
{
    std::array<std::string_view, 4> words;
    double v[4];
    if (!lineWords(record, words))
        return false;
    for (int i = 0; i < 4; ++i)
        if (!parseNumber(words[i], v[i]))
            return false;
    segment = {{v[0], v[1]}, {v[2], v[3]}};
    return true;
}

void appendLineRecord(std::string& out, const Segment& s)
{
    for (double v : {s.a.x, s.a.y, s.b.x, s.b.y}) {
        out += ' ';
        appendShortest(out, v);
    }
}
