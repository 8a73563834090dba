// The per-user instance lock: the first process of a user creates the named
// mutex and may become the server; every later one finds it taken.
#pragma once

#include "platform/instance_mutex.h"

namespace mossvane {

struct InstanceLock {
    // This process created the mutex and its main thread owns it.
    bool bOwned = false;
    platform::NamedMutex hMutex;
    // Another process of the same user holds the lock.
    bool bAlreadyRunning = false;
};

InstanceLock AcquireInstanceLock();
void ReleaseInstanceLock(InstanceLock& lock);

}  // namespace mossvane
