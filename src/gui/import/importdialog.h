// The import dialog: the user picks a drive or a directory, names the disc, limits the
// import to some file types or to folders, and confirms. On confirmation it stores the
// disc, adds its node to the category tree and runs the scan.
#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QTreeWidgetItem;

namespace vorlane {

class CatalogSession;
class ScanOptionsBox;

class ImportDialog : public QDialog {
    Q_OBJECT

public:
    // `categoryId`: the stored category that receives the new disc. The session tells the
    // views of the disc added and of its entries written.
    ImportDialog(QWidget* parent, CatalogSession& session, qint64 categoryId);

    bool importDone() const { return m_importDone; }
    QString rootPath() const { return m_rootPath; }
    QString volumeLabel() const { return m_label; }
    QString categoryId() const { return m_categoryId; }
    QStringList types() const;

public slots:
    void cobCDDriverChange();
    void btnRefreshClick();
    void btnSelectPathClick();
    void btnLookClick();
    void btnCheckFileClick();
    void rdo1Click();
    void rdo2Click();
    void btnOkClick();

private:
    bool checkSource();
    void txtCDPathEdited(const QString& text);

    CatalogSession& m_session;
    QString m_categoryId;
    QString m_rootPath;
    QString m_label;
    QString m_autoName; // the name the typed path suggested, replaced as the path changes
    bool m_importDone = false;

    QLineEdit* m_txtCDName = nullptr;
    QRadioButton* m_rdo1 = nullptr;
    QRadioButton* m_rdo2 = nullptr;
    QComboBox* m_cobCDDriver = nullptr;
    QLineEdit* m_txtCDPath = nullptr;
    ScanOptionsBox* m_options = nullptr;
    QPushButton* m_btnOk = nullptr;
};

} // namespace vorlane
