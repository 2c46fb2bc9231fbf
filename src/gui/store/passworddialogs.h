// The password prompts shown after a catalog opens, and the password settings dialog with
// its confirmation. Each is modal over the main window and made for one use.
#pragma once

#include "gui/app/mainwindow.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace vorlane {

// Asks for the open password. `mode()` is ReadOnly after the right password (the write
// password is asked next), Refused when cancelled.
class PwdReadLogoFrm : public QDialog {
    Q_OBJECT
public:
    explicit PwdReadLogoFrm(MainWindow* window);
    AccessMode mode() const { return m_mode; }
public slots:
    void btnOkClick();
    void reject() override;

private:
    MainWindow* w;
    QLineEdit* m_pwd;
    AccessMode m_mode = AccessMode::Refused;
};

// Asks for the write password: Full after the right one, ReadOnly on "只读", Refused when
// cancelled.
class PwdWriteLogoFrm : public QDialog {
    Q_OBJECT
public:
    explicit PwdWriteLogoFrm(MainWindow* window);
    AccessMode mode() const { return m_mode; }
public slots:
    void btnOkClick();
    void btnReadOnlyClick();
    void reject() override;

private:
    MainWindow* w;
    QLineEdit* m_pwd;
    AccessMode m_mode = AccessMode::Refused;
};

// Sets and clears both passwords; they are written to the catalog at once.
class PwdSetFrm : public QDialog {
    Q_OBJECT
public:
    explicit PwdSetFrm(MainWindow* window);
public slots:
    void btnOkClick();

private:
    bool confirm(const QString& password, const QString& title);

    MainWindow* w;
    QLineEdit* m_read;
    QLineEdit* m_write;
    bool m_readChanged = false;
    bool m_writeChanged = false;
};

// Types a new password a second time. Closing it any other way than by a matching
// "确认" counts as cancel.
class PwdSetSecondFrm : public QDialog {
    Q_OBJECT
public:
    PwdSetSecondFrm(QWidget* parent, const QString& caption, const QString& title,
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
