#include "gui/store/passworddialogs.h"

#include "core/store/passwords.h"
#include "gui/common/prompts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorlane {

namespace {

QLineEdit* passwordBox(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(MaxPasswordLength);
    return edit;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

void setupDialog(QDialog* d, const char* name, const QString& caption, bool closeBox) {
    d->setObjectName(QLatin1String(name));
    d->setWindowTitle(caption);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (closeBox)
        flags |= Qt::WindowCloseButtonHint;
    d->setWindowFlags(flags);
    d->setModal(true);
}

QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* b : buttons)
        row->addWidget(b);
    return row;
}

void wrongPassword(QWidget* parent) {
    prompts().error(parent, QStringLiteral("密码错误！"), QStringLiteral("提示"));
}

} // namespace

// --- Open password -----------------------------------------------------------------------

OpenPasswordDialog::OpenPasswordDialog(QWidget* parent, CatalogSession& session)
    : OpenPasswordDialog(parent, session.currentFile(), [&session](const QString& typed) {
          return typed == readPasswords(session.db()).read;
      }) {}

OpenPasswordDialog::OpenPasswordDialog(QWidget* parent, const QString& file,
                                       std::function<bool(const QString&)> matches)
    : QDialog(parent), m_matches(std::move(matches)) {
    setupDialog(this, "PwdReadLogoFrm", passwordCaption(file), false);
    auto* text = new QLabel(QStringLiteral("请键入开启权限密码。"), this);
    m_pwd = passwordBox(this, "txtPwd");
    QPushButton* ok = makeButton(this, "btnOk", QStringLiteral("确定"));
    ok->setDefault(true);
    QPushButton* cancel = makeButton(this, "btnCancel", QStringLiteral("取消"));
    connect(ok, &QPushButton::clicked, this, &OpenPasswordDialog::btnOkClick);
    connect(cancel, &QPushButton::clicked, this, &OpenPasswordDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_pwd);
    layout->addLayout(buttonRow({ok, cancel}));
}

void OpenPasswordDialog::btnOkClick() {
    m_mode = AccessMode::ReadOnly;
    if (!m_matches(m_pwd->text())) {
        wrongPassword(this);
        return;
    }
    accept();
}

QString OpenPasswordDialog::password() const {
    return m_pwd->text();
}

// Escape and "取消" both end here.
void OpenPasswordDialog::reject() {
    m_mode = AccessMode::Refused;
    QDialog::reject();
}

// --- Write password ----------------------------------------------------------------------

WritePasswordDialog::WritePasswordDialog(QWidget* parent, CatalogSession& session)
    : QDialog(parent), m_session(session) {
    setupDialog(this, "PwdWriteLogoFrm", passwordCaption(m_session.currentFile()), false);
    auto* text = new QLabel(QStringLiteral("请键入修改权限密码，否则以只读方式开启。"), this);
    m_pwd = passwordBox(this, "txtPwd");
    QPushButton* ok = makeButton(this, "btnOk", QStringLiteral("确定"));
    ok->setDefault(true);
    QPushButton* cancel = makeButton(this, "btnCancel", QStringLiteral("取消"));
    QPushButton* readOnly = makeButton(this, "btnReadOnly", QStringLiteral("只读"));
    connect(ok, &QPushButton::clicked, this, &WritePasswordDialog::btnOkClick);
    connect(cancel, &QPushButton::clicked, this, &WritePasswordDialog::reject);
    connect(readOnly, &QPushButton::clicked, this, &WritePasswordDialog::btnReadOnlyClick);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_pwd);
    layout->addLayout(buttonRow({ok, cancel, readOnly}));
}

void WritePasswordDialog::btnOkClick() {
    m_mode = AccessMode::Full;
    if (m_pwd->text() != readPasswords(m_session.db()).write) {
        wrongPassword(this);
        return;
    }
    accept();
}

void WritePasswordDialog::btnReadOnlyClick() {
    m_mode = AccessMode::ReadOnly;
    QDialog::accept();
}

void WritePasswordDialog::reject() {
    m_mode = AccessMode::Refused;
    QDialog::reject();
}

// --- Settings ------------------------------------------------------------------------------

PasswordSettingsDialog::PasswordSettingsDialog(QWidget* parent, CatalogSession& session)
    : QDialog(parent), m_session(session) {
    setupDialog(this, "PwdSetFrm", passwordCaption(m_session.currentFile()), true);
    auto* group = new QGroupBox(QStringLiteral("密码设置"), this);
    m_read = passwordBox(group, "txtReadPwd");
    m_write = passwordBox(group, "txtWritePwd");
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("开启权限密码："), m_read);
    form->addRow(QStringLiteral("修改权限密码："), m_write);
    QPushButton* ok = makeButton(this, "btnOk", QStringLiteral("确认"));
    ok->setDefault(true);
    QPushButton* cancel = makeButton(this, "btnCancel", QStringLiteral("取消"));
    connect(ok, &QPushButton::clicked, this, &PasswordSettingsDialog::btnOkClick);
    connect(cancel, &QPushButton::clicked, this, &PasswordSettingsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttonRow({ok, cancel}));

    const CatalogPasswords current = readPasswords(m_session.db());
    m_read->setText(current.read);
    m_write->setText(current.write);
    // Only typing marks a box changed, not filling it.
    connect(m_read, &QLineEdit::textEdited, this, [this] { m_readChanged = true; });
    connect(m_write, &QLineEdit::textEdited, this, [this] { m_writeChanged = true; });
}

bool PasswordSettingsDialog::confirm(const QString& password, const QString& title) {
    PasswordConfirmDialog second(this, windowTitle(), title, password);
    prompts().exec(&second);
    return second.confirmed();
}

void PasswordSettingsDialog::btnOkClick() {
    if (!m_read->text().isEmpty() && m_readChanged &&
        !confirm(m_read->text(), QStringLiteral("请再键入一次开启权限密码：")))
        return;
    if (!m_write->text().isEmpty() && m_writeChanged &&
        !confirm(m_write->text(), QStringLiteral("请再键入一次修改权限密码：")))
        return;
    try {
        writePasswords(m_session.db(), m_read->text(), m_write->text());
    } catch (const DbError&) {
        prompts().error(this, QStringLiteral("保存密码错误！"), QStringLiteral("提示"));
        return;
    }
    accept();
}

// --- Confirmation --------------------------------------------------------------------------

PasswordConfirmDialog::PasswordConfirmDialog(QWidget* parent, const QString& caption,
                                             const QString& title, const QString& pending)
    : QDialog(parent), m_pending(pending) {
    setupDialog(this, "PwdSetSecondFrm", caption, true);
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(QStringLiteral("lbTitle"));
    m_pwd = passwordBox(this, "txtPwd");
    auto* note =
        new QLabel(QStringLiteral("请记住：密码不要遗忘哦，否则......。建议您在安全的地方保留一份"
                                  "密码和其对应文件名称的清单。(密码区分大小写)。"),
                   this);
    note->setObjectName(QStringLiteral("lbNote"));
    note->setWordWrap(true);
    QPushButton* ok = makeButton(this, "btnOk", QStringLiteral("确认"));
    ok->setDefault(true);
    QPushButton* cancel = makeButton(this, "btnCancel", QStringLiteral("取消"));
    connect(ok, &QPushButton::clicked, this, &PasswordConfirmDialog::btnOkClick);
    connect(cancel, &QPushButton::clicked, this, &PasswordConfirmDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleLabel);
    layout->addWidget(m_pwd);
    layout->addWidget(note);
    layout->addLayout(buttonRow({ok, cancel}));
}

void PasswordConfirmDialog::btnOkClick() {
    if (m_pwd->text() != m_pending) {
        prompts().error(this, QStringLiteral("确认密码不符！"), QStringLiteral("提示"));
        return;
    }
    m_confirmed = true;
    accept();
}

} // namespace vorlane
