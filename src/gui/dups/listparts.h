// What the duplicates and copies windows share: the minimum-size field with its unit, their
// buttons, and the way they show sizes.
#pragma once

#include <QString>
#include <QtGlobal>

class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vorlane::listparts {

// As the file list shows sizes, in larger units where files are large.
QString bytesText(qint64 bytes);

// A button that leaves Enter to the fields and the list.
QPushButton* makeButton(QWidget* parent, const char* name, const QString& text);

// "最小文件大小：" with a number field (`edMinSize`) and its unit (`cobUnit`).
struct MinSizeField {
    QLineEdit* edit = nullptr;
    QComboBox* unit = nullptr;

    void addTo(QHBoxLayout* layout, QWidget* parent, const QString& initial);
    // The size in bytes; `fallback` when the field holds no valid number.
    qint64 bytes(qint64 fallback) const;
};

} // namespace vorlane::listparts
