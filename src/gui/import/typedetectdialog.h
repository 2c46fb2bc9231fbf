// TFileBakCheckFrm: waits for file-type detection below the import's root.
#pragma once

#include "gui/import/scanprogress.h"

#include <QStringList>

namespace vorlane {

class TypeDetectJob;

class TypeDetectDialog : public WorkDialog {
    Q_OBJECT

public:
    // `known`: the extensions already listed, which are not reported again.
    TypeDetectDialog(const QString& root, const QStringList& known, QWidget* parent);
    // The new extensions found (also after a cancel), in the order met.
    QStringList found() const { return m_found; }

protected:
    void workDone() override;

private:
    TypeDetectJob* m_detect = nullptr;
    QStringList m_found;
};

} // namespace vorlane
