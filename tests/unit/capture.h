// Captures what the tool writes into the output command stream, for tests in the process.
#pragma once

#include <cstdio>
#include <string>

#include "run/state.h"

// Points `fpw` at a temporary file for the life of the object.
struct OutputCapture {
    std::FILE* saved = fpw;
    OutputCapture() { fpw = std::tmpfile(); }
    ~OutputCapture()
    {
        std::fclose(fpw);
        fpw = saved;
    }
    // Everything written so far, as the bytes of the file.
    std::string text()
    {
        std::fflush(fpw);
        std::rewind(fpw);
        std::string bytes;
        for (int c; (c = std::getc(fpw)) != EOF;)
            bytes.push_back(static_cast<char>(c));
        return bytes;
    }
};
