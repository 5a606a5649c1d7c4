#include "DiscRules.h"

#include "launch/Decision.h"

namespace {

bool IsShortNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsShortNamePart(const std::string &part, size_t max)
{
    if (part.empty() || part.size() > max)
        return false;
    for (char c : part)
        if (!IsShortNameChar(c))
            return false;
    return true;
}

} // namespace

bool IsKnownMode(const std::string &mode)
{
    return mode == launch::kModeDiscViewer || IsEditionMode(mode);
}

std::string LabelForId(const std::string &id)
{
    std::string label;
    for (char c : id) {
        if (label.size() == disc::kLabelMax)
            break;
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        if (keep)
            label += c;
        else if (!label.empty() && label.back() != '_') // one '_' for each run of others, none in front
            label += '_';
    }
    while (!label.empty() && label.back() == '_')
        label.pop_back();
    return label.empty() ? std::string(disc::kDefaultLabel) : label;
}

bool IsUsableLabel(const std::string &label)
{
    if (label.empty() || label.size() > disc::kLabelMax)
        return false;
    for (char c : label)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

std::string AutorunInfText(const std::string &label)
{
    return std::string("[") + disc::kInfSection + "]\r\nopen=" + disc::kAutorunExe + "\r\nicon=" + disc::kAutorunExe +
           ",0\r\n" + disc::kInfLabel + "=" + label + "\r\n";
}

bool Ucs2Length(const std::string &name, size_t &length)
{
    length = 0;
    for (size_t i = 0; i < name.size();) {
        const unsigned char lead = static_cast<unsigned char>(name[i]);
        size_t extra;
        if (lead < 0x80)
            extra = 0;
        else if (lead >= 0xC2 && lead <= 0xDF)
            extra = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
            extra = 2;
        else
            return false; // four-byte sequences lie outside UCS-2; anything else is not UTF-8
        if (i + extra >= name.size())
            return false;
        uint32_t code = extra == 0 ? lead : lead & (extra == 1 ? 0x1F : 0x0F);
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(name[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((extra == 2 && code < 0x800) || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
        ++length;
    }
    return true;
}

size_t JolietPathCost(const std::string &relative)
{
    size_t cost = 1;
    size_t start = 0;
    for (;;) {
        const size_t slash = relative.find('/', start);
        const std::string part = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        size_t length;
        if (!Ucs2Length(part, length))
            length = part.size();
        cost += 1 + 2 * length;
        if (slash == std::string::npos)
            return cost;
        start = slash + 1;
    }
}

bool IsShortName(const std::string &name)
{
    const size_t dot = name.find('.');
    if (dot == std::string::npos)
        return IsShortNamePart(name, 8);
    return IsShortNamePart(name.substr(0, dot), 8) && IsShortNamePart(name.substr(dot + 1), 3);
}

bool IsAscii(const std::string &name)
{
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string WindowsPath(const std::string &relative)
{
    std::string path = relative;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}
