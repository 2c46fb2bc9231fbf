// catcli catalogs: JSON nodes with "type" and "name", "children" below; the "top" node
// holds "storage" nodes (the discs), which hold "dir" and "file" nodes; "arc" nodes are
// the members of an archive and "meta" the catalog's own facts. Files may carry "md5";
// "maccess" is the modification time in Unix seconds.
#include "core/interchange/foreign/foreignsource.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace vorlane::foreign {

namespace {

std::optional<qint64> seconds(const QJsonValue& v) {
    if (!v.isDouble() || !std::isfinite(v.toDouble()) || std::abs(v.toDouble()) > 1e15)
        return std::nullopt;
    return qint64(std::floor(v.toDouble()));
}

void readChildren(Source& s, Node& into, const QJsonObject& parent, int depth) {
    if (depth > 1000)
        throw ForeignError(QStringLiteral("folders nest deeper than 1000 levels"));
    for (const QJsonValue& v : parent.value(QLatin1String("children")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString type = o.value(QLatin1String("type")).toString();
        const QString name = o.value(QLatin1String("name")).toString();
        if (type == QLatin1String("arc")) {
            s.drop(QStringLiteral("archive members"), name);
            continue;
        }
        if (type != QLatin1String("dir") && type != QLatin1String("file")) {
            s.drop(QStringLiteral("nodes of an unknown type"), type);
            continue;
        }
        Node& n = type == QLatin1String("dir") ? into.children.emplace_back() : into.addFile(name);
        n.name = name;
        n.folder = type == QLatin1String("dir");
        n.time = seconds(o.value(QLatin1String("maccess")));
        if (!n.folder) {
            const QJsonValue size = o.value(QLatin1String("size"));
            const auto bytes = seconds(size); // a whole, finite number
            if (bytes && *bytes >= 0)
                n.size = *bytes;
            else
                s.drop(QStringLiteral("sizes not read (stored as 0)"), name);
            const QString md5 = o.value(QLatin1String("md5")).toString();
            if (!md5.isEmpty()) {
                const QByteArray digest = QByteArray::fromHex(md5.toLatin1());
                if (digest.size() == 16 && md5.size() == 32)
                    n.hashes.push_back({HashAlgorithm::Md5, digest});
                else
                    s.drop(QStringLiteral("hashes that are not MD5"), md5);
            }
            if (o.contains(QLatin1String("children")))
                readChildren(s, n, o, depth + 1); // an archive's members: dropped above
        } else {
            readChildren(s, n, o, depth + 1);
        }
    }
}

} // namespace

Source readCatcli(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw ForeignError(QStringLiteral("the catcli catalog is damaged: %1 at byte %2")
                               .arg(error.errorString())
                               .arg(error.offset));
    const QJsonObject top = doc.object();
    if (top.value(QLatin1String("type")).toString() != QLatin1String("top"))
        throw ForeignError(QStringLiteral("not a catcli catalog: no top node"));
    Source s;
    for (const QJsonValue& v : top.value(QLatin1String("children")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString type = o.value(QLatin1String("type")).toString();
        if (type == QLatin1String("meta"))
            continue; // when the catalog was made, and by which version
        if (type != QLatin1String("storage")) {
            s.drop(QStringLiteral("nodes of an unknown type"), type);
            continue;
        }
        Disc& d = s.discs.emplace_back();
        d.name = o.value(QLatin1String("name")).toString();
        d.scanTime = seconds(o.value(QLatin1String("ts")));
        if (o.value(QLatin1String("attr")).isString())
            d.note = o.value(QLatin1String("attr")).toString();
        if (o.value(QLatin1String("total")).toDouble() > 0)
            s.drop(QStringLiteral("storage capacity and free space"), d.name);
        readChildren(s, d.root, o, 0);
    }
    return s;
}

} // namespace vorlane::foreign
