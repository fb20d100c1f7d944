#pragma once

#include <QCoreApplication>
#include <QTest>

namespace plovern::test {

// Tests about unreadable and read-only files mean nothing to a root that
// overrides permissions, so a suite started as root gives that power up. A
// write past RLIMIT_FSIZE must fail rather than kill the process, as in the
// program.
void prepareProcess();

} // namespace plovern::test

// The core needs no screen, and its tests start none: QTEST_GUILESS_MAIN
// after the process is prepared.
#define PLOVERN_TEST_MAIN(TestObject)                                                                                  \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        plovern::test::prepareProcess();                                                                               \
        QCoreApplication app(argc, argv);                                                                              \
        TestObject tc;                                                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
