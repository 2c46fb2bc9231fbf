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

// Runs the current test function (and data row) of this executable as nobody; fails the
// test unless the child passes. Its home and temporary folders are a fresh folder that
// nobody may write, removed afterwards.
inline void rerunAsNobody() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QVERIFY(QFile::setPermissions(
        home.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                         QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther));
    const QString function = QString::fromLatin1(QTest::currentTestFunction());
    const char* tag = QTest::currentDataTag();
    const bool hasTag = tag && *tag;
    const QString row = hasTag ? QString::fromLocal8Bit(tag) : QString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("TMPDIR"), home.path());
    for (const char* name :
         {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        env.remove(QLatin1String(name));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(home.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                 QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
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
