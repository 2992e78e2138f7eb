// Stands in for the browser in the test prefix: link_recorder OUTPUT ADDRESS writes ADDRESS to
// OUTPUT, through a temporary file and a rename so a poller never reads half of it.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    std::string partial = std::string(argv[1]) + ".part";
    FILE* out = std::fopen(partial.c_str(), "wb");
    if (!out)
        return 1;
    std::fputs(argv[2], out);
    std::fclose(out);
    return MoveFileExA(partial.c_str(), argv[1], MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
