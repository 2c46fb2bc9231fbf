#include "gui/app/aboutdialog.h"

#include "core/store/database.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace vorlane {

QString AboutDialog::aboutText() {
    return QStringLiteral("<h3>Vorlane 光盘管理 %1</h3>"
                          "<p>光盘与目录的编目、注释与查找。</p>"
                          "<p>使用的程序库：<br>Qt %2<br>SQLite %3</p>")
        .arg(QStringLiteral(VORLANE_VERSION), QString::fromLatin1(qVersion()), engineVersion());
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("关于 Vorlane"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/images/vorlane.png")));
    auto* text = new QLabel(aboutText(), this);
    text->setObjectName(QStringLiteral("lbAbout"));
    text->setTextFormat(Qt::RichText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

} // namespace vorlane
