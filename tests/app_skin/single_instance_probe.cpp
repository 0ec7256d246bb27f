// Starts like the program does as far as the single-instance lock:
//   single_instance_probe LOCKFILE [--hold]
// exits 3 at once when another process holds the lock, 0 when it got it; with --hold it prints
// "holding" and keeps the lock until it is killed.
#include "app/skin/single_instance.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    pellucor::SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    if (!instance.acquire())
        return 3;
    if (argc > 2 && std::strcmp(argv[2], "--hold") == 0) {
        std::printf("holding\n");
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
    return 0;
}
