// GWhere catalogs (.ctg) are told by their content, so that the refusal names them.
#include "core/interchange/foreign/foreignsource.h"

namespace vorlane::foreign {

Source readGwhere(const QByteArray& bytes) {
    Q_UNUSED(bytes);
    // Its record layout has no public description to read it from.
    throw ForeignError(QStringLiteral("a GWhere catalog: recognised, but this format cannot be "
                                      "read; list the disc with hashdeep instead"));
}

} // namespace vorlane::foreign
