// The demo player: a stand-in for the media player that loads gen_velmora.dll the way the
// player does. velmora_demo [--interactive]
#include <windows.h>

#include <cstdio>

#include "demo.h"

namespace {

// The plug-in beside the program, never one found elsewhere on the search path.
bool PluginPathBesideProgram(char* path, DWORD size)
{
    DWORD length = GetModuleFileNameA(nullptr, path, size);
    if (length == 0 || length >= size)
        return false;
    char* slash = path + length;
    while (slash > path && slash[-1] != '\\' && slash[-1] != '/')
        --slash;
    constexpr char kName[] = "gen_velmora.dll";
    if (static_cast<DWORD>(slash - path) + sizeof kName > size)
        return false;
    lstrcpyA(slash, kName);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    bool interactive = argc == 2 && lstrcmpA(argv[1], "--interactive") == 0;
    if (argc > 2 || (argc == 2 && !interactive)) {
        std::printf("usage: velmora_demo [--interactive]\n");
        return 2;
    }
    SetConsoleOutputCP(CP_UTF8);   // the table's arrow
    char dllPath[MAX_PATH];
    if (!PluginPathBesideProgram(dllPath, sizeof dllPath)) {
        std::printf("velmora_demo: program path too long\n");
        return 1;
    }
    return interactive ? RunInteractive(dllPath) : RunScripted(dllPath);
}
