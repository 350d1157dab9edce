/* Wine's time.h with struct timespec, which libc++'s thread support names; laid out as the
 * universal C runtime lays it out. */
#include_next <time.h>

#ifndef _TIMESPEC_DEFINED
#define _TIMESPEC_DEFINED
struct timespec {
    time_t tv_sec;
    long tv_nsec;
};
#endif
