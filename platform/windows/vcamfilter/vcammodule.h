#pragma once

#include <windows.h>

// What the library as a whole keeps: its own handle and how many of its
// objects and locks are alive (COM asks before it unloads the library).
namespace VcamModule {

void setHandle(HMODULE module);
HMODULE handle();

void objectCreated();
void objectDestroyed();
void lock(bool locked);
bool canUnload();

} // namespace VcamModule
