// The black-box suite's entry: --tool PATH names the build under test, --runner CMD what starts it.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "tool.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::string tool;
    std::vector<std::string> runner;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--tool") == 0) {
            tool = argv[i + 1];
        } else if (std::strcmp(argv[i], "--runner") == 0) {
            std::istringstream words(argv[i + 1]);
            for (std::string w; words >> w;)
                runner.push_back(w);
        }
    }
    if (tool.empty()) {
        std::fprintf(stderr, "usage: blackbox_tests --tool PATH [--runner CMD]\n");
        return 2;
    }
    setTool(tool, runner);
    return RUN_ALL_TESTS();
}
