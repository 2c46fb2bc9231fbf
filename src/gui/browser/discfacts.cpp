#include "gui/browser/discfacts.h"

#include "core/import/exclusions.h"
#include "core/import/scanjob.h"

#include <QDateTime>
#include <QLocale>

namespace vorlane {

namespace {

const QString unknown = QStringLiteral("未知");

QString timeText(const DiscFacts& f) {
    if (!f.scanTime)
        return unknown;
    return QDateTime::fromSecsSinceEpoch(*f.scanTime).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString stateText(const DiscFacts& f) {
    if (!f.state)
        return unknown;
    switch (*f.state) {
    case ScanState::Complete:
        return QStringLiteral("完成");
    case ScanState::Cancelled:
        return QStringLiteral("已取消，内容不完整");
    case ScanState::Failed:
        return QStringLiteral("失败，内容不完整");
    }
    return unknown;
}

QString sizeText(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 2, QLocale::DataSizeTraditionalFormat);
}

QString capacityText(const DiscFacts& f) {
    return f.capacity ? sizeText(*f.capacity) : unknown;
}

// The files the import left out on purpose, which every rescan leaves out again: said
// wherever the disc's facts are, so that a filter set once never hides new files unseen.
QString filterText(const DiscFacts& f) {
    if (f.options.isEmpty())
        return {};
    ScanParams params;
    readScanOptions(f.options, params);
    const QString exclude = params.exclude.isEmpty()
                                ? QString()
                                : QStringLiteral("排除：") + Exclusions::join(params.exclude);
    const auto with = [&](const QString& text) {
        return exclude.isEmpty() ? text
               : text.isEmpty()  ? exclude
                                 : text + QStringLiteral(" · ") + exclude;
    };
    if (params.foldersOnly)
        return with(QStringLiteral("只导入文件夹"));
    if (params.types.isEmpty())
        return with({});
    QStringList types;
    for (const QString& t : std::as_const(params.types))
        types << (t.isEmpty() ? QStringLiteral("（无扩展名）") : t);
    return with(QStringLiteral("只导入：") + types.join(QLatin1Char(' ')));
}

} // namespace

QString discFactsToolTip(const DiscFacts& f) {
    QString tip = QStringLiteral("扫描时间：%1\n扫描结果：%2\n文件系统：%3\n容量：%4\n"
                                 "文件夹：%5，文件：%6，总大小：%7")
                      .arg(timeText(f), stateText(f), f.fsType.isEmpty() ? unknown : f.fsType,
                           capacityText(f), QString::number(f.folders), QString::number(f.files),
                           sizeText(f.totalSize));
    if (const QString filter = filterText(f); !filter.isEmpty())
        tip += QLatin1Char('\n') + filter;
    return tip;
}

QString discFactsLine(const DiscFacts& f) {
    if (!f.scanTime && !f.state && f.fsType.isEmpty() && !f.capacity)
        return QStringLiteral("没有扫描记录");
    QString line = QStringLiteral("扫描于 %1 · %2 · 文件系统 %3 · 容量 %4")
                       .arg(timeText(f), stateText(f), f.fsType.isEmpty() ? unknown : f.fsType,
                            capacityText(f));
    if (const QString filter = filterText(f); !filter.isEmpty())
        line += QStringLiteral(" · ") + filter;
    return line;
}

} // namespace vorlane
