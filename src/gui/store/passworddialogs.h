// The password prompts shown after a catalog opens, and the password settings dialog with
// its confirmation. Each is modal over the main window and made for one use.
#pragma once

#include "core/store/catalogsession.h"

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace vorlane {

// Asks for a catalog's open password before anything of it is shown. `mode()` is ReadOnly
// after the right password (the write password is asked next), Refused when cancelled.
class OpenPasswordDialog : public QDialog {
    Q_OBJECT
public:
    OpenPasswordDialog(QWidget* parent, CatalogSession& session);
    // The same prompt for another catalog file (a merge's source): `matches` tells whether
    // a typed password is that file's open password.
    OpenPasswordDialog(QWidget* parent, const QString& file,
                       std::function<bool(const QString&)> matches);
    AccessMode mode() const { return m_mode; }
    // The password typed, once accepted.
    QString password() const;
public slots:
    void btnOkClick();
    void reject() override;

private:
    std::function<bool(const QString&)> m_matches;
    QLineEdit* m_pwd;
    AccessMode m_mode = AccessMode::Refused;
};

// Asks for a catalog's write password, which allows changes: `mode()` is Full after the
// right one, ReadOnly on "只读", Refused when cancelled.
class WritePasswordDialog : public QDialog {
    Q_OBJECT
public:
    WritePasswordDialog(QWidget* parent, CatalogSession& session);
    AccessMode mode() const { return m_mode; }
public slots:
    void btnOkClick();
    void btnReadOnlyClick();
    void reject() override;

private:
    CatalogSession& m_session;
    QLineEdit* m_pwd;
    AccessMode m_mode = AccessMode::Refused;
};

// The password settings: sets and clears the open and the write password, each confirmed
// by typing it again; both are written to the catalog at once.
class PasswordSettingsDialog : public QDialog {
    Q_OBJECT
public:
    PasswordSettingsDialog(QWidget* parent, CatalogSession& session);
public slots:
    void btnOkClick();

private:
    bool confirm(const QString& password, const QString& title);

    CatalogSession& m_session;
    QLineEdit* m_read;
    QLineEdit* m_write;
    bool m_readChanged = false;
    bool m_writeChanged = false;
};

// Has a new password typed a second time and checks that both match. Closing it any other
// way than by a matching "确认" counts as cancel.
class PasswordConfirmDialog : public QDialog {
    Q_OBJECT
public:
    PasswordConfirmDialog(QWidget* parent, const QString& caption, const QString& title,
                          const QString& pending);
    bool confirmed() const { return m_confirmed; }
public slots:
    void btnOkClick();

private:
    QLineEdit* m_pwd;
    QString m_pending;
    bool m_confirmed = false;
};

} // namespace vorlane
