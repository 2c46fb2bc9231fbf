// Katalog catalog files (.idx): header lines "<catalogSourcePath>/media/disc",
// "<catalogFileCount>12"…, then one line per file: full path, size and date separated by
// tabs. Folders exist only as the paths of their files.
#include "core/interchange/foreign/foreignsource.h"

namespace vorlane::foreign {

Source readKatalog(const QByteArray& bytes) {
    Source s;
    Disc& d = s.discs.emplace_back();
    bool header = false;
    QString root;
    for (QString line : decodeText(bytes).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("<catalog"))) {
            header = true;
            const qsizetype close = line.indexOf(QLatin1Char('>'));
            const QString key = line.mid(1, close - 1);
            const QString value = line.mid(close + 1);
            if (key == QLatin1String("catalogSourcePath")) {
                root = value;
                while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
                    root.chop(1);
            } else if (key == QLatin1String("catalogName")) {
                d.name = value;
            } else if (key == QLatin1String("catalogStorage") && !value.isEmpty()) {
                d.note = QStringLiteral("Storage: ") + value;
            }
            continue;
        }
        if (!header)
            throw ForeignError(QStringLiteral("not a Katalog file: no header lines"));
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 2 || fields[0].isEmpty()) {
            s.drop(QStringLiteral("lines not understood"), line);
            continue;
        }
        QString path = fields[0];
        if (!root.isEmpty() && path.startsWith(root + QLatin1Char('/')))
            path = path.mid(root.size() + 1);
        else if (!root.isEmpty() && root != QLatin1String("/"))
            s.drop(QStringLiteral("files outside the catalog's source path, kept at its top"),
                   path);
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        const QString name = path.mid(slash + 1);
        if (name.isEmpty()) {
            s.drop(QStringLiteral("lines not understood"), line);
            continue;
        }
        Node& file = d.folderAt(slash < 0 ? QString() : path.left(slash)).addFile(name);
        if (const auto size = readSize(fields[1]))
            file.size = *size;
        else
            s.drop(QStringLiteral("sizes not read (stored as 0)"), fields[1]);
        if (fields.size() > 2)
            file.timeText = fields[2];
        if (fields.size() > 3)
            s.drop(QStringLiteral("further columns (file type and others)"),
                   fields.mid(3).join(QLatin1Char(' ')));
    }
    if (!header)
        throw ForeignError(QStringLiteral("not a Katalog file: no header lines"));
    d.sourcePath = root == QLatin1String("/") ? QString() : root;
    if (d.name.isEmpty())
        d.name = root.section(QLatin1Char('/'), -1);
    return s;
}

} // namespace vorlane::foreign
