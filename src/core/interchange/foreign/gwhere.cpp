#include "core/interchange/foreign/foreignsource.h"

namespace vorlane::foreign {

Source readGwhere(const QByteArray& bytes) {
    Q_UNUSED(bytes);
    throw ForeignError(QStringLiteral("GWhere catalogs are recognised but not read yet"));
}

} // namespace vorlane::foreign
