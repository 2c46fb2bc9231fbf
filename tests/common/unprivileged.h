// Checks of what an ordinary user meets (a file or folder that cannot be written) prove
// nothing as root, who may write anything. Run as root, such a test function runs itself
// again as the user nobody in a child process and passes or fails with it.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

namespace unprivileged {

// The build tree may lie in a folder that nobody cannot enter (a checkout under /root or
// in a 0700 temporary folder), so the child runs from a copy of this executable and of the
// files the program looks for beside it.
inline bool copyProgramFiles(const QString& to) {
    const QDir from(QCoreApplication::applicationDirPath());
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (const QString& name : {self, QStringLiteral("vorlane-cli"), QStringLiteral("qCD.s_y"),
                                QStringLiteral("example.vlr")}) {
        if (from.exists(name) && !QFile::copy(from.filePath(name), QDir(to).filePath(name)))
            return false;
    }
    return true;
}

// vorlane-cli as nobody may run it: a copy in a folder anyone can enter, made once.
inline QString cliForNobody() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                          QFileDevice::ReadOther | QFileDevice::ExeOther;
        const QString to = dir.filePath(QStringLiteral("vorlane-cli"));
        QFile::setPermissions(dir.path(), open);
        QFile::copy(
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("vorlane-cli")),
            to);
        return to;
    }();
    return path;
}

// Runs the current test function (and data row) of this executable as nobody; fails the
// test unless the child passes. Its home and temporary folders are a fresh folder that
// nobody may write, removed afterwards.
inline void rerunAsNobody() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QVERIFY(QFile::setPermissions(home.path(), open));
    const QString bin = home.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin) && QFile::setPermissions(bin, open));
    QVERIFY(copyProgramFiles(bin));
    const QString function = QString::fromLatin1(QTest::currentTestFunction());
    const char* tag = QTest::currentDataTag();
    const bool hasTag = tag && *tag;
    const QString row = hasTag ? QString::fromLocal8Bit(tag) : QString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("TMPDIR"), home.path());
    env.insert(QStringLiteral("VORLANE_BIN"), bin);
    for (const char* name :
         {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        env.remove(QLatin1String(name));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(home.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                 QStringLiteral("--clear-groups"),
                 QDir(bin).filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName()),
                 hasTag ? function + QLatin1Char(':') + row : function});
    QVERIFY2(child.waitForStarted(), "setpriv could not be started");
    if (!child.waitForFinished(240000)) {
        child.kill();
        child.waitForFinished();
        QFAIL("the run as nobody did not finish");
    }
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             output.constData());
    // The child must really have run it: an unknown row, or a skip, also exits 0.
    const QString passed = QStringLiteral("::") + function +
                           (hasTag ? QLatin1Char('(') + row + QLatin1Char(')') : QString());
    bool ran = false;
    for (const QByteArray& line : output.split('\n'))
        ran = ran ||
              (line.startsWith("PASS") && QString::fromLocal8Bit(line).trimmed().endsWith(passed));
    QVERIFY2(ran, output.constData());
}

} // namespace unprivileged

// At the top of a test function that needs an unprivileged user: as root, the function
// runs as nobody in a child process and its result counts here.
#define VORLANE_RUN_UNPRIVILEGED()                                                                 \
    do {                                                                                           \
        if (::geteuid() == 0) {                                                                    \
            unprivileged::rerunAsNobody();                                                         \
            return;                                                                                \
        }                                                                                          \
    } while (false)
