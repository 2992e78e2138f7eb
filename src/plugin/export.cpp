// The library's only export (named by the .def file) and its entry point; no logic lives here.
#include "host/host.h"

extern "C" GeneralPurposePlugin* winampGetGeneralPurposePlugin()
{
    return &gState.plugin;
}

// Nothing to set up or tear down per process or thread: the state is static data.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
