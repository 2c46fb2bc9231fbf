// CDCat catalogs (.hcf): gzip-compressed XML. <catalog> holds <media> elements (the
// discs), which hold <directory> and <file> elements; each may have a <comment>. A file's
// size is a number in the unit its "type" attribute names (byte, Kb, Mb, Gb, Tb).
#include "core/interchange/foreign/foreignsource.h"

#include <QXmlStreamReader>
#include <cmath>

namespace vorlane::foreign {

namespace {

std::optional<qint64> sizeIn(const QString& number, const QString& unit) {
    bool ok = false;
    const double v = number.trimmed().toDouble(&ok);
    static const QStringList units{QStringLiteral("byte"), QStringLiteral("kb"),
                                   QStringLiteral("mb"), QStringLiteral("gb"),
                                   QStringLiteral("tb")};
    const qsizetype power = unit.isEmpty() ? 0 : units.indexOf(unit.toLower());
    if (!ok || v < 0 || power < 0 || !std::isfinite(v))
        return std::nullopt;
    const double bytes = std::round(v * std::pow(1024.0, double(power)));
    if (bytes >= 9.2e18)
        return std::nullopt;
    return qint64(bytes);
}

} // namespace

Source readCdcat(const QByteArray& bytes) {
    QXmlStreamReader xml(bytes);
    Source s;
    std::vector<Node*> stack; // the open folders of the current disc
    Disc* disc = nullptr;
    Node* last = nullptr; // the element a <comment> belongs to
    bool sawCatalog = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const auto a = xml.attributes();
            const QStringView tag = xml.name();
            if (tag == QLatin1String("catalog")) {
                sawCatalog = true;
            } else if (!sawCatalog) {
                throw ForeignError(QStringLiteral("not a CDCat catalog: no <catalog> element"));
            } else if (tag == QLatin1String("media")) {
                disc = &s.discs.emplace_back();
                disc->name = a.value(QLatin1String("name")).toString();
                disc->root.timeText.clear();
                stack.assign(1, &disc->root);
                last = &disc->root;
            } else if (tag == QLatin1String("directory") || tag == QLatin1String("file")) {
                if (!disc || stack.empty())
                    throw ForeignError(QStringLiteral("a CDCat entry lies outside any media"));
                if (stack.size() > 1000)
                    throw ForeignError(QStringLiteral("folders nest deeper than 1000 levels"));
                const QString name = a.value(QLatin1String("name")).toString();
                const bool folder = tag == QLatin1String("directory");
                Node& n =
                    folder ? stack.back()->children.emplace_back() : stack.back()->addFile(name);
                n.name = name;
                n.folder = folder;
                n.timeText = a.value(QLatin1String("time")).toString();
                if (!folder) {
                    const auto size = sizeIn(a.value(QLatin1String("size")).toString(),
                                             a.value(QLatin1String("type")).toString());
                    if (size)
                        n.size = *size;
                    else
                        s.drop(QStringLiteral("sizes not read (stored as 0)"), name);
                    const QStringView unit = a.value(QLatin1String("type"));
                    if (!unit.isEmpty() &&
                        unit.compare(QLatin1String("byte"), Qt::CaseInsensitive) != 0)
                        s.drop(QStringLiteral("sizes given only to 0.01 of a larger unit"), name);
                }
                stack.push_back(&n);
                last = &n;
            } else if (tag == QLatin1String("comment")) {
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                Node* owner = last;
                if (owner == (disc ? &disc->root : nullptr))
                    disc->note = text.trimmed();
                else if (owner)
                    owner->note = text.trimmed();
            } else if (tag != QLatin1String("datafile")) {
                s.drop(QStringLiteral("<%1> details (tags, contents, links…)").arg(tag),
                       stack.empty() ? QString() : stack.back()->name);
                xml.skipCurrentElement();
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const QStringView tag = xml.name();
            if (tag == QLatin1String("directory") || tag == QLatin1String("file")) {
                stack.pop_back();
                last = stack.empty() ? nullptr : stack.back();
            } else if (tag == QLatin1String("media")) {
                stack.clear();
                disc = nullptr;
                last = nullptr;
            }
        }
    }
    if (xml.hasError())
        throw ForeignError(QStringLiteral("the CDCat catalog is damaged: %1 (line %2)")
                               .arg(xml.errorString())
                               .arg(xml.lineNumber()));
    if (!sawCatalog)
        throw ForeignError(QStringLiteral("not a CDCat catalog: no <catalog> element"));
    return s;
}

} // namespace vorlane::foreign
