// An Opener for tests: records every path it is asked to open and installs itself for
// its lifetime. It succeeds for paths that exist, or for everything when told to.
#pragma once

#include "gui/common/platform.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>
#include <sys/stat.h>

class RecordingOpener : public vorlane::Opener {
public:
    enum Answer { WhenItExists, Always };

    explicit RecordingOpener(Answer answer = WhenItExists) : m_answer(answer) {
        vorlane::setOpener(this);
    }
    ~RecordingOpener() override { vorlane::setOpener(nullptr); }
    bool open(const QString& path) override {
        paths << path;
        return m_answer == Always || QFileInfo::exists(path);
    }
    // Recorded as given, and in `paths` as text.
    bool openLocal(const QByteArray& path) override {
        rawPaths << path;
        paths << QFile::decodeName(path);
        struct stat st {};
        return m_answer == Always || ::stat(path.constData(), &st) == 0;
    }

    QStringList paths;
    QList<QByteArray> rawPaths;

private:
    Answer m_answer;
};
