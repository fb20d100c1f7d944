#include "support/testmain.h"

#include <cstdio>
#include <cstdlib>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace plovern::test {

void prepareProcess()
{
    ignoreFileSizeSignal();
    ::umask(022);
    if (::geteuid() != 0)
        return;
    constexpr uid_t nobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
        std::perror("cannot leave root for the tests");
        std::exit(1);
    }
    // Fontconfig wants a cache it may write.
    char cache[] = "/tmp/plovern-test-cache-XXXXXX";
    if (::mkdtemp(cache))
        ::setenv("XDG_CACHE_HOME", cache, 1);
}

} // namespace plovern::test
