// Build step: writes the empty template and the example catalog.
#include "core/store/database.h"
#include "core/store/example.h"
#include "core/store/schema.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: vorlane-mkdata TEMPLATE EXAMPLE\n");
        return 2;
    }
    try {
        vorlane::writeTemplate(QString::fromLocal8Bit(argv[1]));
        vorlane::writeExampleCatalog(QString::fromLocal8Bit(argv[2]));
    } catch (const vorlane::DbError& e) {
        std::fprintf(stderr, "vorlane-mkdata: %s\n", e.what());
        return 1;
    }
    return 0;
}
