// The options a scan reads a disc with: the file types to keep, folders only, checksums,
// archives, media facts, thumbnails, the depth and the patterns left out. The import dialog and the
// rescan's options share them.
#pragma once

#include "core/import/scanner.h"

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace vorlane {

class ScanOptionsBox : public QWidget {
    Q_OBJECT

public:
    explicit ScanOptionsBox(QWidget* parent = nullptr);

    // The types listed; empty: every type.
    QStringList types() const;
    void setTypes(const QStringList& types);

    // Shows the depth, folders only, types, checksums, archives, media facts, thumbnails and
    // exclusions of `options`.
    void setOptions(const ScanParams& options);
    // Sets them on `options`, leaving the rest.
    void takeOptions(ScanParams& options) const;

private:
    QListWidget* m_listBox1 = nullptr;
    QCheckBox* m_ckOnlyFloder = nullptr;
    QCheckBox* m_cbChecksums = nullptr;
    QCheckBox* m_cbArchives = nullptr;
    QCheckBox* m_cbMedia = nullptr;
    QCheckBox* m_cbThumbnails = nullptr;
    QSpinBox* m_spSearchDeeper = nullptr;
    QLineEdit* m_txtExclude = nullptr;
};

} // namespace vorlane
