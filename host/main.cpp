// linetilt-host: plays the host CAD program for linetilt, so that a drawing can be run
// through the tool end to end and the result looked at.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "drawing.h"
#include "stream.h"
#include "svg.h"

namespace {

const char* USAGE =
    "usage: linetilt-host DRAWING --at X,Y [--tool PATH] [-o NEW_DRAWING] [--svg PICTURE.svg]\n"
    "                     [--select N,N,...] [--timeout SECONDS] [-- TOOL SWITCHES...]\n"
    "       linetilt-host --version\n";

struct Options {
    std::string drawing, tool, output, picture;
    Point at{0, 0};
    bool haveAt = false;
    std::set<int> selection;
    int timeout = 30;
    std::vector<std::string> switches;
};

[[noreturn]] void usage(const std::string& problem)
{
    std::fprintf(stderr, "linetilt-host: %s\n%s", problem.c_str(), USAGE);
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    Options o;
    o.tool = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "linetilt").string();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--version") {
            std::printf("linetilt-host %s\n", LINETILT_VERSION);
            std::exit(0);
        } else if (arg == "--") {
            o.switches.assign(argv + i + 1, argv + argc);
            break;
        } else if (arg == "--at") {
            std::string v = value();
            char comma;
            std::istringstream xy(v);
            if (!(xy >> o.at.x >> comma >> o.at.y) || comma != ',')
                usage("--at takes X,Y");
            o.haveAt = true;
        } else if (arg == "--tool") {
            o.tool = value();
        } else if (arg == "-o") {
            o.output = value();
        } else if (arg == "--svg") {
            o.picture = value();
        } else if (arg == "--timeout") {
            o.timeout = std::atoi(value().c_str());
        } else if (arg == "--select") {
            std::istringstream numbers(value());
            for (std::string n; std::getline(numbers, n, ',');)
                o.selection.insert(std::atoi(n.c_str()));
        } else if (o.drawing.empty() && arg[0] != '-') {
            o.drawing = arg;
        } else {
            usage("unknown argument " + arg);
        }
    }
    if (o.drawing.empty() || !o.haveAt)
        usage("DRAWING and --at are required");
    return o;
}

// The tilt angle the switches ask for, read as the tool reads its p switch.
double angleOf(const std::vector<std::string>& switches)
{
    double angle = 10.0;
    for (const auto& s : switches) {
        if (s.size() > 2 && (s[0] == '-' || s[0] == '/') && (s[1] == 'p' || s[1] == 'P')) {
            double v = std::strtod(s.c_str() + 2, nullptr);
            if (std::fabs(v) < 360.0)
                angle = v;
        }
    }
    return angle;
}

bool writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    out.close();
    if (!out)
        std::fprintf(stderr, "linetilt-host: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    Options o = parse(argc, argv);
    Drawing drawing;
    std::string problem;
    if (!readDrawing(o.drawing, o.selection, drawing, problem)) {
        std::fprintf(stderr, "linetilt-host: %s\n", problem.c_str());
        return 1;
    }

    for (int number : o.selection) {
        bool isLine = number >= 1 && number <= static_cast<int>(drawing.lines.size()) && drawing.lines[number - 1].isLine;
        if (!isLine) {
            std::fprintf(stderr, "linetilt-host: --select %d: line %d of %s is not a line record\n", number, number,
                         o.drawing.c_str());
            return 2;
        }
    }

    ToolRun run = runTool(o.tool, o.switches, exchangeFile(drawing, o.at), o.timeout);
    Commands commands;
    bool understood = run.haveStream && readCommands(run.stream, commands);
    if (run.status != 0 || !understood) {
        std::string why = run.status == -1  ? "stopped after the time limit"
                          : run.status != 0 ? "status " + std::to_string(run.status)
                          : !run.haveStream ? "it left no command stream"
                                            : "its command stream does not begin with hd";
        std::fprintf(stderr, "linetilt-host: the tool failed (%s); the drawing is left as it was\n", why.c_str());
        if (!commands.error.empty())
            std::fprintf(stderr, "linetilt-host: the tool says: %s\n", commands.error.c_str());
        if (!run.err.empty())
            std::fprintf(stderr, "linetilt-host: its messages: %s", run.err.c_str());
        return 1;
    }
    for (const auto& record : commands.unknown)
        std::fprintf(stderr, "linetilt-host: command stream %s: a record the host does not know\n", record.c_str());

    Picture picture{{}, {}, {}, commands.labels, o.at, angleOf(o.switches)};
    int selected = 0, dropped = 0;
    for (const auto& line : drawing.lines) {
        if (!line.isLine)
            continue;
        picture.before.push_back(line.segment);
        int colour = colourOf(line.attributes);
        auto returned = commands.lines.find(line.number);
        if (!line.selected) {
            picture.after.push_back({line.segment, colour});
            continue;
        }
        ++selected;
        if (returned == commands.lines.end()) {
            ++dropped;
            continue;
        }
        for (const auto& record : returned->second) {
            Segment after;
            parseSegment(record, after);
            picture.after.push_back({after, colour});
            picture.turns.push_back(turnOf(line.segment, after, colour));
        }
    }

    if (!o.output.empty() && !writeFile(o.output, newDrawing(drawing, commands.lines)))
        return 1;
    if (!o.picture.empty() && !writeFile(o.picture, svg(picture)))
        return 1;

    std::array<int, 4> modes = pivotCounts(picture.turns);
    std::printf("%d lines selected, %zu turned by %g degrees, %d dropped (their ends coincide)\n", selected,
                picture.turns.size(), picture.angle, dropped);
    std::printf("pivots: %d first end, %d midpoint, %d second end\n", modes[1], modes[2], modes[3]);
    std::printf("attributes restored:");
    for (const auto& record : commands.restored)
        std::printf(" %s", record.c_str());
    std::printf("\n");
    if (!commands.labels.empty())
        std::printf("text labels: %zu\n", commands.labels.size());
    return commands.unknown.empty() ? 0 : 1;
}
