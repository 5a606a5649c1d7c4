#include "SuidText.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

bool ParseVersionPart(const std::string &text, int &value)
{
    const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos)
        return false;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

std::string FormatVersion(const SuidInfo &info)
{
    return std::to_string(info.m_nHiMS) + '.' + std::to_string(info.m_nLowMS) + '.' + std::to_string(info.m_nHiLS) +
           '.' + std::to_string(info.m_nLowLS);
}

bool ParseVersion(const std::string &text, SuidInfo &info)
{
    int *const parts[] = {&info.m_nHiMS, &info.m_nLowMS, &info.m_nHiLS, &info.m_nLowLS};
    size_t start = 0;
    for (size_t i = 0; i < 4; ++i) {
        const size_t dot = text.find('.', start);
        const bool last = i == 3;
        if (last != (dot == std::string::npos))
            return false;
        const size_t end = last ? text.size() : dot;
        if (!ParseVersionPart(text.substr(start, end - start), *parts[i]))
            return false;
        start = end + 1;
    }
    return true;
}

const char *FirstLostValue(const SuidInfo &wanted, SuidForm form, const std::string &text)
{
    const SuidRead back = ReadSuidText(text);
    if (back.form != form)
        return form == SuidForm::Plain ? kFormPlain : kFormScrambled;
    if (back.info.m_strMode != wanted.m_strMode)
        return kOptMode;
    if (back.info.m_strId != wanted.m_strId)
        return kOptId;
    if (FormatVersion(back.info) != FormatVersion(wanted))
        return kOptVersion;
    return nullptr;
}
