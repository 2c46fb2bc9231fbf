// A filter in front of the keyword scan: the texts are cut into blocks of a few kilobytes
// (whole texts each), and every block keeps a bit per pair of adjacent bytes it holds,
// letters folded to one case. A block lacking any pair of the keyword cannot hold it and
// is not scanned, so a rare keyword reads a few blocks instead of every name. The bits
// only ever rule blocks out, never in: a block that passes is scanned as before.
#pragma once

#include <QtGlobal>
#include <utility>
#include <vector>

namespace vorlane::blockfilter {

constexpr size_t BlockBytes = 4096;  // texts per block: at least this many bytes
constexpr size_t WordsPerBlock = 64; // 4096 bits per block

// Fills `blockStarts` (the first text of each block, then the text count) and `bits`
// (WordsPerBlock words a block) for the texts `starts` points into `bytes`.
void build(const char* bytes, const quint32* starts, size_t count,
           std::vector<quint32>& blockStarts, std::vector<quint64>& bits);

// The runs of texts [first, last), ascending, whose blocks may hold `needle`. Every text
// when the needle has no pair of bytes.
std::vector<std::pair<quint32, quint32>> candidates(const quint32* blockStarts, size_t blocks,
                                                    const quint64* bits, const char* needle,
                                                    size_t needleBytes);

} // namespace vorlane::blockfilter
