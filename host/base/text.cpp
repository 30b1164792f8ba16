// The host's text made readable: in its code page, 932, or failing that UTF-8 and escapes.
#include "base/text.h"

#include "base/codepages.h"

std::string hostText(const std::string& bytes)
{
    bool whole = false;
    std::string text = decodedText(bytes, 932, &whole);
    return whole ? text : decodedText(bytes, UTF8_PAGE);
}

std::string excerpt(std::string_view text)
{
    constexpr std::size_t SHOWN = 60;
    return std::string(text.substr(0, SHOWN)) + (text.size() > SHOWN ? "..." : "");
}
