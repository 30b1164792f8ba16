// The stand-in's exit statuses, and how a step that cannot go on tells main why.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Exit statuses; the manual page lists them.
enum Status { OK = 0, TOOL_FAILED = 1, USAGE = 2, DRAWING_REFUSED = 3, NOT_WRITTEN = 4 };

// Why the run ends early: the status, and the message for standard error ("" when the step
// has said all it had to). Steps hand it up to main, which alone ends the process.
struct Failure {
    int status = OK;
    std::string message;
};

// Sets `failure` and returns false, for a step that ends with `return failed(...)`.
bool failed(Failure& failure, int status, std::string message);

// Why a drawing or a run was refused, for the page to say in its user's language and words: a
// code and the values its message names. Set where the message is made; the last one set
// stands, "" when none was.
struct Reason {
    std::string code;
    std::vector<std::pair<std::string, std::string>> values;
};
void because(std::string code, std::vector<std::pair<std::string, std::string>> values = {});
const Reason& lastReason();
