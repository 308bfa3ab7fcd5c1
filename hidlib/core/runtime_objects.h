// MinGW's thread runtime makes the system object behind a std::mutex or a
// std::condition_variable at its first use, with malloc. Where that first use cannot report a
// failure (a destructor, a worker's wait, Done), running out of memory would end the host. These
// make the object at once, where the caller can still report the failure: they throw
// std::system_error when it cannot be made. Elsewhere they cost a lock and an unlock.
#pragma once

#include <condition_variable>
#include <mutex>

void makeReady(std::mutex& lock);
// itsLock is the mutex the condition is waited on with; it is made ready too.
void makeReady(std::condition_variable& condition, std::mutex& itsLock);
