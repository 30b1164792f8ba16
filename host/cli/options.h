// The stand-in's command line.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "base/geometry.h"

struct Options {
    std::string drawing, tool, output, picture;
    Point at{0, 0};
    std::set<long> selection;         // --select: line numbers of a record drawing
    std::vector<std::string> layers;  // --layer: DXF layer names
    std::vector<std::string> handles; // --handle: DXF entity handles
    double timeout = 30;
    std::vector<std::string> switches;  // for the tool, after "--"
};

// Parses the command line; prints help, the version or the error and exits where it must.
Options parseOptions(int argc, char** argv);
