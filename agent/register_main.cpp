// kvr_fota_register PACKAGE: what the device's software runs once it has
// received an update package: checks the package, stores its path and marks
// the update as under way (status 9). Exit status 0 when the package is
// registered, 1 when it is refused, 2 on a usage error. The device's software
// then starts "kvr_fota_update update".
#include "log.h"
#include "os.h"
#include "registration.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (os_init() != 0 || argc != 2) {
        std::fprintf(stderr, "usage: kvr_fota_register PACKAGE\n");
        return 2;
    }
    int result = kvr_dua_verify_delta(argv[1]) == 0 && kvr_dua_set_to_update() == 0 ? 0 : 1;
    if (result != 0) std::fprintf(stderr, "kvr_fota_register: %s was not registered\n", argv[1]);
    kvr_close_message_file(&g_kvr_log);
    kvr_close_message_file(&g_kvr_fatal_log);
    return result;
}
