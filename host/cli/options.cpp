// Parsing the command line with CLI11; every value is checked whole.
#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <cstring>

#include "base/numbers.h"
#include "tool/process.h"

namespace {

// The longest timeout: some eleven days, far below what a time point can hold.
constexpr double LONGEST = 1e6;

std::vector<std::string> splitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t comma; (comma = text.find(',', from)) != std::string::npos; from = comma + 1)
        parts.push_back(text.substr(from, comma - from));
    parts.push_back(text.substr(from));
    return parts;
}

std::string checkPoint(const std::string& text)
{
    auto parts = splitCommas(text);
    double x, y;
    return parts.size() == 2 && parseNumber(parts[0], x) && parseNumber(parts[1], y) ? "" : "takes X,Y, two numbers";
}

std::string checkLineNumbers(const std::string& text)
{
    for (const auto& part : splitCommas(text)) {
        bool digits = !part.empty() && part.size() <= 9 && part.find_first_not_of("0123456789") == std::string::npos;
        if (!digits || std::atol(part.c_str()) < 1)
            return "takes line numbers N,N,... from 1 to 999999999, not \"" + part + "\"";
    }
    return "";
}

std::string checkHandles(const std::string& text)
{
    for (const auto& part : splitCommas(text))
        if (part.empty() || part.size() > 16 || part.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return "takes handles H,H,... in hexadecimal, not \"" + part + "\"";
    return "";
}

}  // namespace

bool parseOptions(int argc, char** argv, Options& o, Failure& failure)
{
    o.tool = toolBeside();
    // What follows "--" goes to the tool untouched, switches beginning with "/" included.
    int split = argc;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--") == 0) {
            split = i;
            o.switches.assign(argv + i + 1, argv + argc);
            break;
        }

    CLI::App app{"Plays the host CAD program for linetilt: runs the tool over the lines of a drawing\n"
                 "(the host's record text or an ASCII DXF) and writes the drawing back.\n"
                 "Tool switches follow \"--\".",
                 "linetilt-host"};
    app.set_version_flag("--version", std::string("linetilt-host ") + LINETILT_VERSION);
    // CLI11 reads "/x" as a switch on Windows; the stand-in has none, and "/drawings/d.dxf"
    // or "//?/C:/..." is a path there as anywhere.
    app.allow_windows_style_options(false);
    std::string at, select, handles, timeout;
    app.add_option("DRAWING", o.drawing, "the drawing: record text or ASCII DXF")->required();
    app.add_option("--at", at, "the indicated point X,Y")->required()->check(CLI::Validator(checkPoint, "X,Y"));
    app.add_option("--tool", o.tool, "the tool to run (default: the linetilt beside this program)");
    // An empty name would write nothing, silently.
    CLI::Validator named([](const std::string& text) { return text.empty() ? "takes a file name, not \"\"" : ""; },
                         "FILE");
    app.add_option("-o", o.output, "write the new drawing here (- for standard output)")->check(named);
    app.add_option("--svg", o.picture, "draw the drawing before and after here (- for standard output)")->check(named);
    app.add_option("--select", select,
                   "turn only the lines on these line numbers of the file (a DXF LINE's is that of its \"0\")")
        ->check(CLI::Validator(checkLineNumbers, "N,N,..."));
    app.add_option("--layer", o.layers, "DXF: turn only lines on this layer (any ASCII case); may repeat");
    app.add_option("--handle", handles, "DXF: turn only the lines of these handles (and those --select names)")
        ->check(CLI::Validator(checkHandles, "H,H,..."));
    app.add_option("--timeout", timeout, "stop the tool after this many seconds (default 30)")
        ->check(CLI::Validator(
            [](const std::string& text) {
                double v;
                return parseNumber(text, v) && v > 0 && v <= LONGEST
                           ? ""
                           : "takes a positive number of seconds up to 1000000, not \"" + text + "\"";
            },
            "SECONDS"));
    try {
        app.parse(split, argv);
    } catch (const CLI::Success& e) {
        return failed(failure, app.exit(e), "");
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return failed(failure, USAGE, "");
    }
    auto point = splitCommas(at);
    parseNumber(point[0], o.at.x);
    parseNumber(point[1], o.at.y);
    if (!timeout.empty())
        parseNumber(timeout, o.timeout);
    if (!select.empty())
        for (const auto& n : splitCommas(select))
            o.selection.insert(std::atol(n.c_str()));
    if (!handles.empty())
        o.handles = splitCommas(handles);
    return true;
}
