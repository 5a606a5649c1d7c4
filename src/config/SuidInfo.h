#pragma once
#include <string>

// What a disc's SUID.ini says: the execute mode, the patient ID and the version of the viewer on the
// disc (most significant part first). Filled once at start-up, then only read.
struct SuidInfo {
    std::string m_strMode;
    std::string m_strId;
    int m_nHiMS = 0;
    int m_nLowMS = 0;
    int m_nHiLS = 0;
    int m_nLowLS = 0;
    std::string m_strUpdateMark;
};

// The sections, keys and values of the file; spelled once here for the reader, the tool and the tests.
namespace suid {
constexpr const char kPlainMark[] = "091118";
constexpr const char kSecUp[] = "Program Up";
constexpr const char kKeyUp[] = "UP_A";
constexpr const char kSecVersion[] = "Program Version";
constexpr const char kKeyHiMS[] = "HIMS";
constexpr const char kKeyLowMS[] = "LOWMS";
constexpr const char kKeyHiLS[] = "HILS";
constexpr const char kKeyLowLS[] = "LOWLS";
constexpr const char kSecMode[] = "Execute Mode";
constexpr const char kKeyMode[] = "Mode";
constexpr const char kSecId[] = "SUID";
constexpr const char kKeyId[] = "ID";
constexpr const char kFileName[] = "SUID.ini";
constexpr const char kTempName[] = "SUID.temp";
// The profile reader's buffer: values longer than kValueMax characters arrive cut.
constexpr int kValueBuffer = 260;
constexpr int kValueMax = kValueBuffer - 1;
} // namespace suid
