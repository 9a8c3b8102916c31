#include "CrashPoint.h"

#include <QByteArray>
#include <QtGlobal>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

void CrashPoint(const char* name) {
    static const QByteArray target = qgetenv("TREVANIX_CRASH_AT");
    if (target.isEmpty() || std::strcmp(target.constData(), name) != 0)
        return;
#ifdef Q_OS_UNIX
    ::kill(::getpid(), SIGKILL);
#endif
    std::_Exit(137);
}
