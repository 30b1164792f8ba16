// Exchange files of a given size with the mix of a real selection, for the benchmarks.
#pragma once

#include <random>
#include <string>

// About 60 % line records of varied lengths and directions under one indicated point, the
// rest attribute records, comments and a few records the tool drops. Lines end in CR LF.
inline std::string exchangeFile(int records)
{
    std::mt19937 random(2026);
    std::uniform_real_distribution<double> coordinate(-5000.0, 5000.0);
    std::string text = "hq\r\nhp1ln 120.5 -40.25\r\n";
    char line[160];
    for (int i = 2; i < records; ++i) {
        unsigned kind = random() % 100;
        if (kind < 60)
            std::snprintf(line, sizeof line, " %.3f %.3f %.3f %.3f\r\n", coordinate(random), coordinate(random),
                          coordinate(random), coordinate(random));
        else if (kind < 80)
            std::snprintf(line, sizeof line, "%s%u\r\n", kind % 4 == 0 ? "lc" : kind % 4 == 1 ? "lt" : kind % 4 == 2 ? "ly" : "lg",
                          static_cast<unsigned>(random() % 16));
        else if (kind < 92)
            std::snprintf(line, sizeof line, "# element %d of the selection\r\n", i);
        else
            std::snprintf(line, sizeof line, "ci %.3f %.3f 25.0\r\n", coordinate(random), coordinate(random));
        text += line;
    }
    return text;
}
