#include "gui/import/scanprogress.h"

#include "core/import/scanjob.h"
#include "gui/common/progresswindow.h"

namespace vorlane {

ScanResult runScan(const QString& catalog, const ScanParams& params, QWidget* parent,
                   searchstore::WriteReport* written) {
    ScanJob job(catalog, params);
    ProgressWindow::run(job, QStringLiteral("正在导入…"), parent);
    ScanResult result = job.result();
    if (written)
        *written = job.written();
    if (job.isOver() && !job.opened())
        result.error =
            QStringLiteral("不能再次打开当前文件写入数据（") + catalog + QStringLiteral("）");
    return result;
}

QString scanSummaryText(const ScanResult& r) {
    QString text = QStringLiteral("数据导入完毕！\r\n\r\n文件：") + QString::number(r.files) +
                   QStringLiteral("，目录：") + QString::number(r.folders);
    if (r.excluded > 0)
        text += QStringLiteral("，排除：") + QString::number(r.excluded);
    if (r.unreadable > 0) {
        text += QStringLiteral("\r\n无法读取的目录：") + QString::number(r.unreadable) +
                QStringLiteral("（第一个：") + r.firstUnreadable + QStringLiteral("）");
    }
    // A scan that stopped early must not read like a finished one; the count is what the
    // catalog keeps.
    if (!r.error.isEmpty()) {
        text += QStringLiteral("\r\n导入失败：") + r.error + QStringLiteral("，已保存 ") +
                QString::number(r.rows) + QStringLiteral(" 条记录。");
    } else if (r.cancelled) {
        text += QStringLiteral("\r\n导入已取消，已保存 ") + QString::number(r.rows) +
                QStringLiteral(" 条记录。");
    }
    return text;
}

} // namespace vorlane
