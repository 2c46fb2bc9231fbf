// Desktop services reached through small interfaces so that tests can supply fakes.
#pragma once

#include <QByteArray>
#include <QString>

namespace vorlane {

// Opens a file, folder or address with the desktop's default program.
class Opener {
public:
    virtual ~Opener() = default;
    // A local path that does not exist counts as a failure.
    virtual bool open(const QString& pathOrUrl) = 0;
    // A local file named by its exact bytes, which need not be UTF-8 (a QString could not
    // carry them). A path that does not exist counts as a failure.
    virtual bool openLocal(const QByteArray& path) = 0;
};

Opener& opener();
void setOpener(Opener* o); // not owned; nullptr restores the desktop one

// Keeps the heap from holding on to what large lists freed: blocks of 128 KB and more (a
// listing's rows, an index) go straight back to the system, and the threads share two
// heaps instead of one each. Called once, first thing at start.
void tuneAllocator();

} // namespace vorlane
