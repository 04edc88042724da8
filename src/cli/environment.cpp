#include "cli/environment.h"

#include "cli/terminal.h"
#include "harvest/browserprofile.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pagrim::cli {

namespace {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Whether path is a folder of this user's that nobody else may enter; one of
// this user's that others may is closed first.
bool isPrivateFolder(const QByteArray& path)
{
    struct stat st = {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return (st.st_mode & 0777) == 0700 || ::chmod(path.constData(), 0700) == 0;
}

} // namespace

bool hasOption(int argc, char** argv, const char* option)
{
    return std::any_of(argv + 1, argv + argc,
                       [option](const char* a) { return !std::strcmp(a, option); });
}

bool prepareEnvironment(int argc, char** argv)
{
    const bool login = hasOption(argc, argv, "--login");
    if (!hasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (login) {
            write(stderr, QStringLiteral("--login 需要图形界面（DISPLAY）。\n"));
            return false;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    }
    harvest::addBrowserFlags();
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    usePrivateRuntimeFolder();
    return true;
}

void usePrivateRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    QByteArray temp = qgetenv("TMPDIR");
    if (temp.isEmpty())
        temp = "/tmp";
    const QByteArray named = temp + "/pagrim-runtime-" + QByteArray::number(::geteuid());
    ::mkdir(named.constData(), 0700);
    if (isPrivateFolder(named)) {
        qputenv("XDG_RUNTIME_DIR", named);
        return;
    }
    // The name is taken: a folder of the run's own, made private, which goes
    // when the run ends, so that runs under cron leave none behind.
    static QByteArray fresh;
    fresh = named + "-XXXXXX";
    if (!::mkdtemp(fresh.data()))
        return;
    qputenv("XDG_RUNTIME_DIR", fresh);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(fresh.constData(), ignored);
    });
}

void quietStandardError()
{
    const int own = ::dup(STDERR_FILENO);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (own < 0 || nowhere < 0) {
        if (own >= 0)
            ::close(own);
        if (nowhere >= 0)
            ::close(nowhere);
        return;
    }
    ::fcntl(own, F_SETFD, FD_CLOEXEC);
    std::fflush(stderr);
    FILE* ownStream = ::fdopen(own, "w");
    if (!ownStream) {
        ::close(own);
        ::close(nowhere);
        return;
    }
    std::setvbuf(ownStream, nullptr, _IONBF, 0);
    // The browser's processes inherit file 2; the program's lines (and the
    // toolkit's fatal messages) go through stderr, which glibc lets us point
    // elsewhere.
    ::dup2(nowhere, STDERR_FILENO);
    ::close(nowhere);
    stderr = ownStream;
}

} // namespace pagrim::cli
