// TFileBakCheckFrm: runs file-type detection below the import's root on a worker thread.
#pragma once

#include "gui/import/scanprogress.h"

#include <QStringList>

namespace vorlane {

class TypeDetectDialog : public WorkDialog {
    Q_OBJECT

public:
    // `known`: the extensions already listed, which are not reported again.
    TypeDetectDialog(const QString& root, const QStringList& known, QWidget* parent);
    // The new extensions found (also after a cancel), in the order met.
    QStringList found() const { return m_found; }

protected:
    void work() override;
    void workDone() override {}

private:
    QString m_root;
    QStringList m_known;
    QStringList m_found;
};

} // namespace vorlane
