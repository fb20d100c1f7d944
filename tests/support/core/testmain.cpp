#include "support/core/testmain.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "core/platform/process.h"

namespace plovern::test {

void prepareProcess()
{
    ignoreFileSizeSignal();
    ::umask(022);
    if (::geteuid() != 0)
        return;
    // Root passes every permission check, which would make the tests about
    // unreadable and read-only files mean nothing. Give up the powers that
    // override permissions, here and in every process the tests start, but
    // stay root: the clone and the build stay readable wherever they lie
    // (a 0700 folder of root's included), and a test may still mount.
    const std::initializer_list<int> overriding{CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    bool ok = ::syscall(SYS_capget, &header, data) == 0;
    for (const int cap : overriding) {
        ok = ok && ::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) == 0;
        const unsigned bit = 1U << (cap % 32);
        data[cap / 32].effective &= ~bit;
        data[cap / 32].permitted &= ~bit;
        data[cap / 32].inheritable &= ~bit;
    }
    if (!ok || ::syscall(SYS_capset, &header, data) != 0) {
        std::perror("cannot give up root's permission overrides for the tests");
        std::exit(1);
    }
}

} // namespace plovern::test
