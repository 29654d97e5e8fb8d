#pragma once
// The simulated-sensor bed needs the umockdev preload from process start: a benchmark that
// uses it starts itself again with the preload.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#ifndef UMOCKDEV_PRELOAD_PATH
#define UMOCKDEV_PRELOAD_PATH "libumockdev-preload.so.0"
#endif

namespace bench {

inline void EnsurePreload(char **argv)
{
    const char *preload = std::getenv("LD_PRELOAD");
    if (preload && std::strstr(preload, "libumockdev-preload"))
        return;
    setenv("LD_PRELOAD", UMOCKDEV_PRELOAD_PATH, 1);
    execv("/proc/self/exe", argv);
    std::perror("execv");
    std::exit(2);
}

} // namespace bench
