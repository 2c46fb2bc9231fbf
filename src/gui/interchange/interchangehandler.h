// 文件 ▸ 导出… and 文件 ▸ 合并…: the choices asked of the user, then the export or the
// merge as a job with a progress window that can cancel it.
#pragma once

#include "core/interchange/catalogexport.h"
#include "gui/common/views.h"

#include <QDialog>
#include <QObject>

class QCheckBox;
class QComboBox;
class QRadioButton;

namespace vorlane {

class CatalogSession;
class Job;
class Commands;

// What to export and how: the scope (whole file, the selected category, the selected
// disc), the format and, for CSV, its byte-order mark and whether formulas stay as they are.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    // A scope whose id is 0 is offered disabled.
    ExportDialog(QWidget* parent, qint64 categoryId, qint64 discId);
    ExportOptions options() const;

private:
    QRadioButton* m_catalog;
    QRadioButton* m_category;
    QRadioButton* m_disc;
    QComboBox* m_format;
    QCheckBox* m_bom;
    QCheckBox* m_formulas;
    qint64 m_categoryId;
    qint64 m_discId;
};

class InterchangeHandler : public QObject {
    Q_OBJECT
public:
    InterchangeHandler(CatalogSession& session, Commands& commands, const Views& views);

    // The job running now, if any (tests wait for it).
    Job* runningJob() const { return m_job; }

    // Asks for a CSV file and writes these rows to it (the search window's results).
    void exportItems(std::vector<ExportItem> items, QWidget* parent);

public slots:
    void MExportClick();
    void MMergeClick();

signals:
    void exportFinished();
    void mergeFinished();

private:
    // Asks where to write, then runs the export with a progress window.
    void runExport(ExportOptions options, QWidget* parent);

    CatalogSession& m_session;
    Commands& m_commands;
    const Views m_views;
    Job* m_job = nullptr;
};

} // namespace vorlane
