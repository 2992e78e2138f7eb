// The demo player: a stand-in for the media player that loads gen_velmora.dll the way the
// player does. velmora_demo [--interactive]
#include <windows.h>

#include <cstdio>
#include <string>

#include "demo.h"
#include "player_double.h"

int main(int argc, char** argv)
{
    bool interactive = argc == 2 && lstrcmpA(argv[1], "--interactive") == 0;
    if (argc > 2 || (argc == 2 && !interactive)) {
        std::printf("usage: velmora_demo [--interactive]\n");
        return 2;
    }
    SetConsoleOutputCP(CP_UTF8);   // the table's arrow
    // The plug-in beside the program, never one found elsewhere on the search path.
    std::string folder = ProgramFolder();
    if (folder.empty()) {
        std::printf("velmora_demo: program path too long\n");
        return 1;
    }
    std::string dllPath = folder + "gen_velmora.dll";
    return interactive ? RunInteractive(dllPath.c_str()) : RunScripted(dllPath.c_str());
}
