// Holds Wine's desktop open for the life of the wineserver. Without a lasting client, Wine starts
// a desktop process for every program that makes a window and keeps it a second after the
// program ends; started from a test, that process holds the test's output pipes the while.
// Usage: velmora_desktop_keeper.exe READY-FILE (created once the desktop is up).
#include <windows.h>

int main(int argc, char** argv)
{
    GetDesktopWindow();
    if (argc > 1) {
        HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (ready != INVALID_HANDLE_VALUE)
            CloseHandle(ready);
    }
    Sleep(INFINITE);
    return 0;
}
