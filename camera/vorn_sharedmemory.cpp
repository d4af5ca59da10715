#include "vorn_sharedmemory.h"

Vorn_SharedMemory::Vorn_SharedMemory(QObject* parent) : QObject(parent) {}

Vorn_SharedMemory::~Vorn_SharedMemory()
{
    detachSegment();
}

int Vorn_SharedMemory::attachOrCreate(int)
{
    return -1;
}

int Vorn_SharedMemory::detachSegment()
{
    return 0;
}

void Vorn_SharedMemory::ImageFrame(uint8_t*, int, int) {}
