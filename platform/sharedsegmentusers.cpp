#include "sharedsegmentusers.h"

#include <QFile>
#include <QSharedMemory>

#if defined(__linux__)
#include <sys/ipc.h>
#include <sys/shm.h>
#endif

int sharedSegmentAttachments(const QSharedMemory& segment)
{
#if defined(__linux__)
    if (!segment.isAttached()) {
        return -1;
    }
    // Qt keeps System V segments under the key that ftok makes of the
    // native key's file with the project id 'Q'.
    const key_t key = ftok(QFile::encodeName(segment.nativeKey()).constData(), 'Q');
    if (key == -1) {
        return -1;
    }
    const int id = shmget(key, 0, 0);
    shmid_ds status;
    if (id == -1 || shmctl(id, IPC_STAT, &status) == -1) {
        return -1;
    }
    return int(status.shm_nattch);
#else
    Q_UNUSED(segment);
    return -1;
#endif
}
