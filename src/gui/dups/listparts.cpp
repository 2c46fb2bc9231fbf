#include "gui/dups/listparts.h"

#include <QComboBox>
#include <QDoubleValidator>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace vorlane::listparts {

QString bytesText(qint64 bytes) {
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    QLocale locale;
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

void MinSizeField::addTo(QHBoxLayout* layout, QWidget* parent, const QString& initial) {
    layout->addWidget(new QLabel(QStringLiteral("最小文件大小："), parent));
    edit = new QLineEdit(initial, parent);
    edit->setObjectName(QStringLiteral("edMinSize"));
    auto* validator = new QDoubleValidator(0, 1e15, 3, edit);
    validator->setLocale(QLocale::c());
    edit->setValidator(validator);
    edit->setMaximumWidth(100);
    layout->addWidget(edit);
    unit = new QComboBox(parent);
    unit->setObjectName(QStringLiteral("cobUnit"));
    unit->addItems(
        {QStringLiteral("字节"), QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB")});
    layout->addWidget(unit);
}

qint64 MinSizeField::bytes(qint64 fallback) const {
    bool ok = false;
    const double v = QLocale::c().toDouble(edit->text().trimmed(), &ok);
    if (!ok || v < 0 || !std::isfinite(v))
        return fallback;
    const double b = v * std::pow(1024.0, unit->currentIndex());
    // Far beyond any disc; keeps the value inside 64 bits.
    return qint64(std::llround(std::min(b, 9.0e18)));
}

} // namespace vorlane::listparts
