#include "Registry.h"

#include <cstring>
#include <vector>

#include "Handles.h"

bool ReadRegString(HKEY root, const char *subKey, const char *name, size_t bufferSize, std::string &value,
                   REGSAM view)
{
    value.clear();
    RegKey key;
    if (::RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | view, key.Receive()) != ERROR_SUCCESS)
        return false;
    std::vector<char> buffer(bufferSize + 1, '\0'); // one spare zero: the API need not terminate
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(bufferSize);
    if (::RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE *>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    const size_t length = strnlen(buffer.data(), size);
    // A text that fills the whole buffer has no room left for its terminating zero.
    if (length >= bufferSize)
        return false;
    value.assign(buffer.data(), length);
    return true;
}
