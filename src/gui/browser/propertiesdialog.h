// 属性: everything the catalog holds of one entry (or of a disc), in a read-only form whose
// texts can be selected and copied. It shows what was stored when it opened.
#pragma once

#include <QDialog>

class QFormLayout;

namespace vorlane {

struct DiscFacts;
struct DiscRow;
struct EntryFacts;

class PropertiesDialog : public QDialog {
    Q_OBJECT

public:
    PropertiesDialog(QWidget* parent, const EntryFacts& facts);
    PropertiesDialog(QWidget* parent, const DiscRow& disc, const DiscFacts& facts);

    // The text shown beside a heading ("名称"); empty when the dialog has no such row.
    QString value(const QString& heading) const;

    // What an entry is, in words ("文件夹", "压缩包中的文件", "符号链接"...).
    static QString kindText(const EntryFacts& facts);

private:
    void begin(const QString& title);
    void addRow(const QString& heading, const QString& text);
    void finish();

    QFormLayout* m_form = nullptr;
};

} // namespace vorlane
