#pragma once

#include <functional>
#include <initializer_list>

#include <QByteArray>
#include <QString>

namespace plovern::test {

// Runs `work` in a forked child and returns the bytes it returned, or
// "<child failed: ...>". The child may change what a test process must not:
// enter its own user and mount namespace, or refuse system calls.
QByteArray inChild(const std::function<QByteArray()>& work);

// In a child: a user and mount namespace of its own, where this user may
// mount. False where the kernel does not allow it.
bool enterMountNamespace();
bool bindMount(const QString& from, const QString& to);
bool mountTmpfs(const QString& at);

// In a child: the given system calls fail with `error` from now on, as on a
// drive that cannot store what they set.
bool refuseSyscalls(std::initializer_list<long> syscalls, int error);

} // namespace plovern::test
