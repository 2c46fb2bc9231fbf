#include "gui/common/platform.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <cerrno>
#include <malloc.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vorlane {

namespace {

class DesktopOpener final : public Opener {
public:
    bool open(const QString& pathOrUrl) override {
        const QUrl url(pathOrUrl);
        if (!url.scheme().isEmpty() && url.scheme().size() > 1 &&
            !pathOrUrl.startsWith(QLatin1Char('/')))
            return QDesktopServices::openUrl(url);
        // The launcher's answer does not tell whether the file was there.
        if (!QFileInfo::exists(pathOrUrl))
            return false;
        return QDesktopServices::openUrl(QUrl::fromLocalFile(pathOrUrl));
    }

    // The desktop's launcher gets the bytes as its argument, untouched by any decoding.
    bool openLocal(const QByteArray& path) override {
        struct stat st {};
        if (path.isEmpty() || ::stat(path.constData(), &st) != 0)
            return false;
        char program[] = "xdg-open";
        QByteArray arg = path;
        char* argv[] = {program, arg.data(), nullptr};
        pid_t pid = 0;
        if (::posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0)
            return false;
        // The launcher may wait for the program it starts; reap it whenever it ends.
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
        return true;
    }
};

Opener* g_opener = nullptr;

} // namespace

void tuneAllocator() {
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_ARENA_MAX, 2);
}

Opener& opener() {
    static DesktopOpener desktop;
    return g_opener ? *g_opener : desktop;
}

void setOpener(Opener* o) {
    g_opener = o;
}

} // namespace vorlane
