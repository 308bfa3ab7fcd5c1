#include "runtime_objects.h"

#include <cerrno>
#include <chrono>
#include <system_error>

#if defined(__MINGW32__)
#include <pthread.h>
#endif

void makeReady(std::mutex& lock) {
    lock.lock();  // throws when the object cannot be made
    lock.unlock();
}

void makeReady(std::condition_variable& condition, std::mutex& itsLock) {
    makeReady(itsLock);
    std::unique_lock<std::mutex> guard(itsLock);
    // A wait makes the condition's object; one that times out at once changes nothing else.
    condition.wait_for(guard, std::chrono::seconds(0));
#if defined(__MINGW32__)
    // The runtime's wait hides a failure to make the object (later waits would then return at
    // once, again and again): it shows as the object still unmade.
    if (*condition.native_handle() == PTHREAD_COND_INITIALIZER) {
        throw std::system_error(ENOMEM, std::generic_category(), "condition variable");
    }
#endif
}
