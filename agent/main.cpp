// kvr_fota_update: the device update agent. This build carries only the
// command-line entry; the update stages come with the agent's modules.
#include <cstdio>

int main(int argc, char** argv)
{
    (void)argv;
    std::printf("usage: kvr_fota_update [update]\n"
                "  update  apply the registered update package\n"
                "  (none)  resume an interrupted update\n");
    return argc > 2 ? 1 : 0;
}
