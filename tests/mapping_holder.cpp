// Another program that got to the plug-in's shared-memory name first, and did it badly:
// mapping_holder.exe MODE READY_EVENT DONE_EVENT PARENT_PID
// MODE: readonly (64 read-only bytes), tiny (1 byte), garbage (64 bytes of junk), reserve (64
// bytes of pages reserved, never committed), event (the name taken by an event, not a mapping). Signals READY_EVENT, then holds the name until
// DONE_EVENT is set or the parent process ends.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "host_names.h"

namespace {

HANDLE TakeName(const char* mode)
{
    if (!std::strcmp(mode, "event"))
        return CreateEventA(nullptr, TRUE, FALSE, kVelmoraMapping);
    if (!std::strcmp(mode, "readonly"))
        return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 64, kVelmoraMapping);
    if (!std::strcmp(mode, "reserve"))
        return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0,
                                  64, kVelmoraMapping);
    DWORD size = !std::strcmp(mode, "tiny") ? 1 : 64;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, kVelmoraMapping);
    if (mapping && !std::strcmp(mode, "garbage")) {
        void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
        if (view) {
            std::memset(view, 0xA5, 64);
            UnmapViewOfFile(view);
        }
    }
    return mapping;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    HANDLE name = TakeName(argv[1]);
    if (!name || GetLastError() == ERROR_ALREADY_EXISTS)
        return 3;   // someone else holds it: the test would not test what it says
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
    if (!ready || !done || !parent)
        return 4;
    SetEvent(ready);
    HANDLE waitFor[] = {done, parent};
    WaitForMultipleObjects(2, waitFor, FALSE, 60000);
    CloseHandle(name);
    return 0;
}
