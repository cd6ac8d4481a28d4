#include "rig_tool.h"

#include <cstdio>
#include <cstring>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: rig_tool write DEVICE IMAGE\n"
                 "       rig_tool eraseall [-q] DEVICE\n"
                 "       rig_tool run [--counts FILE] [--kill KIND:N] -- PROGRAM [ARG...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const char* command = argv[1];
    if (std::strcmp(command, "write") == 0) return rig_write(argc - 2, argv + 2);
    if (std::strcmp(command, "eraseall") == 0) return rig_eraseall(argc - 2, argv + 2);
    if (std::strcmp(command, "run") == 0) return rig_run(argc - 2, argv + 2);
    return usage();
}
