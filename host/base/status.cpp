// How a step that cannot go on tells main why.
#include "base/status.h"

#include <utility>

bool failed(Failure& failure, int status, std::string message)
{
    failure.status = status;
    failure.message = std::move(message);
    return false;
}
