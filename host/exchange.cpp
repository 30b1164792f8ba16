// Writes the exchange files and reads the command streams back.
#include "exchange.h"

#include <algorithm>
#include <sstream>

#include "numbers.h"
#include "text.h"

namespace {

const std::string MARK = "#linetilt-host line ";

// The records the tool counts for one line of text: it takes a line of more than 253
// characters in pieces of 254.
long pieces(const std::string& text)
{
    return static_cast<long>(text.size() / 254 + 1);
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

ExchangeFiles::ExchangeFiles(const std::vector<Job>& jobs, Point at, long limit)
    : jobs_(jobs), head_("hq\r\nhp1ln " + shortest(at.x) + " " + shortest(at.y) + "\r\n"), limit_(limit)
{
}

bool ExchangeFiles::next(std::string& file)
{
    if (any_ && done_ == jobs_.size())
        return false;
    any_ = true;
    file = head_;
    long records = 2;
    const std::vector<std::string>* written = nullptr;  // the attributes this file set last
    for (; done_ < jobs_.size(); ++done_) {
        const Job& job = jobs_[done_];
        const std::string mark = MARK + std::to_string(job.id);
        const std::string record = job.record.empty() ? lineRecord(job.segment) : job.record;
        bool same = written && *written == job.attributes;
        long needs = pieces(mark) + pieces(record);
        if (!same)
            for (const auto& attribute : job.attributes)
                needs += pieces(attribute);
        if (records > 2 && records + needs > limit_)
            break;
        if (!same)
            for (const auto& attribute : job.attributes)
                file.append(attribute).append("\r\n");
        written = &job.attributes;
        file.append(mark).append("\r\n").append(record).append("\r\n");
        records += needs;
    }
    return true;
}

bool readCommands(const std::string& stream, Commands& commands)
{
    long current = 0;
    std::vector<std::string> pending;  // attribute records since the last line
    long number = 0;
    for (std::size_t at = 0; at < stream.size();) {
        std::size_t end = stream.find('\n', at);
        std::size_t stop = end == std::string::npos ? stream.size() : end;
        std::string_view record = std::string_view(stream).substr(at, stop - at);
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
            current = std::atol(std::string(record.substr(MARK.size())).c_str());
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

bool parseReturned(std::string_view record, Segment& segment, std::array<std::string_view, 4>& texts)
{
    double v[4];
    std::size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        at = record.find_first_not_of(" \t", at);
        if (i == 4)
            break;
        if (at == std::string::npos)
            return false;
        std::size_t end = std::min(record.find_first_of(" \t", at), record.size());
        texts[i] = record.substr(at, end - at);
        if (!parseNumber(texts[i], v[i]))
            return false;
        at = end;
    }
    if (at != std::string::npos)
        return false;  // more than four words
    segment = {{v[0], v[1]}, {v[2], v[3]}};
    return true;
}

std::string lineRecord(const Segment& s)
{
    return " " + shortest(s.a.x) + " " + shortest(s.a.y) + " " + shortest(s.b.x) + " " + shortest(s.b.y);
}
