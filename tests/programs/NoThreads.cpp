// Preloaded into a test program, so that it cannot start a thread: pthread_create fails as it
// does when the system has no resources left for one.
#include <pthread.h>

#include <cerrno>

extern "C" int pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) { return EAGAIN; }
