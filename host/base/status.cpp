// How a step that cannot go on tells main why.
#include "base/status.h"

#include <utility>

namespace {

Reason last;

}  // namespace

void because(std::string code, std::vector<std::pair<std::string, std::string>> values)
{
    last = {std::move(code), std::move(values)};
}

const Reason& lastReason()
{
    return last;
}

bool failed(Failure& failure, int status, std::string message)
{
    failure.status = status;
    failure.message = std::move(message);
    return false;
}
