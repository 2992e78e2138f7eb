// The key flags' home in the registry: read once at start-up, written only on Apply.
#include <array>

#include "host/host.h"

namespace {

struct StoredFlag {
    const char* valueName;
    int KeyFlags::*flag;
    int defaultValue;
};

constexpr std::array<StoredFlag, 6> kStoredFlags{{
    {"Key_Play", &KeyFlags::Key_Play, 1},
    {"Key_Stop", &KeyFlags::Key_Stop, 1},
    {"Key_Prev", &KeyFlags::Key_Prev, 1},
    {"Key_Next", &KeyFlags::Key_Next, 1},
    {"Key_VolUp", &KeyFlags::Key_VolUp, 0},
    {"Key_VolDown", &KeyFlags::Key_VolDown, 0},
}};

bool OpenSettingsKey(HKEY* key)
{
    return RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key, nullptr) == ERROR_SUCCESS;
}

// Any value of at most 4 bytes is accepted whatever its type; the buffer starts zeroed so a
// shorter value reads as 1 exactly when one of its bytes is nonzero.
int ReadFlag(HKEY key, const char* name, int defaultValue)
{
    BYTE data[4] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, nullptr, data, &size) != ERROR_SUCCESS)
        return defaultValue;
    return (data[0] | data[1] | data[2] | data[3]) != 0;
}

LONG WriteFlag(HKEY key, const char* name, int flag)
{
    DWORD value = flag == 1 ? 1 : 0;
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

}  // namespace

void LoadKeyFlags()
{
    HKEY key;
    if (!OpenSettingsKey(&key))
        return;
    for (const StoredFlag& stored : kStoredFlags)
        gState.keys.*stored.flag = ReadFlag(key, stored.valueName, stored.defaultValue);
    RegCloseKey(key);
}

void SaveKeyFlags()
{
    HKEY key;
    if (!OpenSettingsKey(&key))
        return;
    for (const StoredFlag& stored : kStoredFlags)
        WriteFlag(key, stored.valueName, gState.keys.*stored.flag);   // one failure stops none
    RegCloseKey(key);
}
