// The stand-in's command line.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "base/status.h"

struct Options {
    std::string drawing, tool, output, picture;
    Point at{0, 0};
    std::set<long> selection;         // --select: line numbers of a record drawing
    std::vector<std::string> layers;  // --layer: DXF layer names
    std::vector<std::string> handles; // --handle: DXF entity handles
    double timeout = 30;
    std::vector<std::string> switches;  // for the tool, after "--"
    bool drawn = false;  // what is drawn is gathered: for a picture, or for the page's view

    bool gathersDrawn() const { return drawn || !picture.empty(); }
};

// Parses the command line into `o`. False where the run ends here: after help or the version
// (status 0), or a usage error; what there was to say is said, and `failure` holds the status.
bool parseOptions(int argc, char** argv, Options& o, Failure& failure);
