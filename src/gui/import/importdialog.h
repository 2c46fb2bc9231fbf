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
class CategoryTree;
class ScanOptionsBox;

class ImportDialog : public QDialog {
    Q_OBJECT

public:
    // `category`: the category node that receives the new disc.
    // Adds the disc below `category`, a node of `tree`.
    ImportDialog(QWidget* parent, CatalogSession& session, CategoryTree* tree,
                 QTreeWidgetItem* category);

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

    CatalogSession& m_session;
    CategoryTree* m_tree;
    QTreeWidgetItem* m_category;
    QString m_categoryId;
    QString m_rootPath;
    QString m_label;
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
