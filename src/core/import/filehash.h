// A file's content hash: XXH3-128 (libxxhash), stored as its canonical 16 bytes
// (big-endian), so that the value reads the same on every machine. Used by the scan when it
// is asked for checksums and by the verify that reads a disc back.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>
#include <atomic>
#include <functional>

class QCryptographicHash;

namespace vorlane::filehash {

constexpr int DigestBytes = 16;
using Digest = std::array<unsigned char, DigestBytes>;

struct Outcome {
    bool ok = false;        // the whole file was read and `digest` holds its hash
    bool cancelled = false; // stopped by the cancel flag; nothing to conclude
    int error = 0;          // errno of the failure when neither (EISDIR etc. for non-files)
    qint64 bytes = 0;       // bytes read, also when it failed half-way
    Digest digest{};
};

// Hashes the regular file `name`, relative to the open folder `dirFd` (AT_FDCWD for a path
// of its own). Symbolic links are not followed and anything but a regular file is refused
// (EINVAL) without being opened, so a FIFO or a device never blocks or reacts. `cancel` is
// checked before every block; `onRead` gets the bytes of each block as they are read.
// `also`, when given, is fed the same blocks, so that a second digest costs no second read.
Outcome hashFile(int dirFd, const char* name, const std::atomic<bool>* cancel = nullptr,
                 const std::function<void(qint64 bytes)>& onRead = {},
                 QCryptographicHash* also = nullptr);

// The digest as stored in the catalog, and back (nothing when `bytes` is not one).
QByteArray toBytes(const Digest& digest);
bool fromBytes(const QByteArray& bytes, Digest& digest);

} // namespace vorlane::filehash
