#include "app/instance_lock.h"

#include "log/debug_print.h"
#include "platform/debug_output.h"
#include "wire/pipe_name.h"

namespace mossvane {

namespace {

constexpr char16_t kMutexBaseName[] = u"Global\\Mossvane";

}  // namespace

InstanceLock AcquireInstanceLock() {
    InstanceLock lock;
    platform::ErrorCode lastError = platform::kSuccess;
    lock.hMutex = platform::NamedMutex::Create(NameWithUserSuffix(kMutexBaseName), lastError);
    if (lastError == platform::kAlreadyExists) {
        platform::OutputDebugText(u"ERROR_ALREADY_EXISTS");
        lock.bAlreadyRunning = true;
    } else if (lastError == platform::kAccessDenied) {
        platform::OutputDebugText(u"ERROR_ACCESS_DENIDED");
        lock.bAlreadyRunning = true;
    } else {
        DebugPrint(u"LastError: %d", lastError);
        lock.bOwned = lock.hMutex.IsValid();
    }
    if (lock.hMutex.IsValid()) lock.hMutex.ApplyLowIntegrityLabel();
    return lock;
}

void ReleaseInstanceLock(InstanceLock& lock) {
    if (!lock.hMutex.IsValid()) return;
    if (lock.bOwned) lock.hMutex.Release();
    lock.hMutex.Close();
}

}  // namespace mossvane
