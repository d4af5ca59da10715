#include "vcammodule.h"

#include <atomic>

namespace VcamModule {

namespace {
HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
} // namespace

void setHandle(HMODULE module)
{
    g_module = module;
}

HMODULE handle()
{
    return g_module;
}

void objectCreated()
{
    ++g_objects;
}

void objectDestroyed()
{
    --g_objects;
}

void lock(bool locked)
{
    g_locks += locked ? 1 : -1;
}

bool canUnload()
{
    return g_objects == 0 && g_locks == 0;
}

} // namespace VcamModule
