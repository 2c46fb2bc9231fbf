// A disc's facts as the window words them: the tree node's tool tip and the line above
// the disc note.
#pragma once

#include "core/store/catalogstore.h"

#include <QString>

namespace vorlane {

// Several lines: when and how the import ended, the file system, its size, and the
// disc's folders, files and total size.
QString discFactsToolTip(const DiscFacts& facts);
// One line without the counts (they cost a pass over the disc's rows).
QString discFactsLine(const DiscFacts& facts);

} // namespace vorlane
