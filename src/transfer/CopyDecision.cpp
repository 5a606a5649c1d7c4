#include "CopyDecision.h"

#include <cctype>

std::string ExtensionOf(const std::string &path)
{
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

bool IsProjectFile(const std::string &path)
{
    const std::string ext = ExtensionOf(path);
    if (ext.size() != 3)
        return false;
    static const char kProject[] = "npj";
    for (size_t i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(ext[i])) != kProject[i])
            return false;
    return true;
}

bool ShouldCopy(const CopyFacts &facts)
{
    if (!facts.targetReadable || facts.sourceSize != facts.targetSize || IsProjectFile(facts.sourcePath))
        return true;
    return !facts.timesKnown || facts.sourceTime != facts.targetTime;
}
