#include "engine_missing.h"

#include "engine_callbacks.h"
#include "flash_ctx.h"

uint32_t kvr_engine_missing(uintptr_t* params)
{
    flash_ctx* ctx = reinterpret_cast<flash_ctx*>(params[KVR_PARAM_USER_DATA]);
    KVR_FATAL("Error: no delta update engine in this build\n");
    DE_Trace(ctx, "no delta update engine in this build\n");
    return KVR_DE_ERR_GENERAL;
}
