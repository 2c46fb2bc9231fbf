#include "gui/browser/filenotes.h"

#include "core/store/catalogsession.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/common/prompts.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorlane {

FileNotesEditor::FileNotesEditor(QWidget* parent, CatalogSession& session, FileListView* list)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_session(session), m_list(list) {
    setObjectName(QStringLiteral("CDFileExpFrm"));
    setWindowTitle(QStringLiteral("光盘文件注释"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto* group = new QGroupBox(QStringLiteral("文件夹/文件名称："), this);
    auto* groupLayout = new QVBoxLayout(group);
    m_name = new QLabel(group);
    m_name->setObjectName(QStringLiteral("lbFileName"));
    m_name->setStyleSheet(QStringLiteral("color: blue"));
    m_name->setTextFormat(Qt::PlainText);
    groupLayout->addWidget(m_name);
    m_text = new QPlainTextEdit(group);
    m_text->setObjectName(QStringLiteral("txtExp"));
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    groupLayout->addWidget(m_text);

    auto makeButton = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    m_pre = makeButton("btnPre", QStringLiteral("上一条(&P)"));
    m_next = makeButton("btnNext", QStringLiteral("下一条(N)"));
    m_save = makeButton("btnSave", QStringLiteral("保存(&S)"));
    m_exit = makeButton("btnExit", QStringLiteral("退出(&X)"));
    m_save->setEnabled(false);
    m_pre->setToolTip(QStringLiteral("-1"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pre);
    buttons->addWidget(m_next);
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    setFixedSize(366, 218);

    connect(m_text, &QPlainTextEdit::textChanged, this, &FileNotesEditor::txtExpChange);
    connect(m_save, &QPushButton::clicked, this, &FileNotesEditor::btnSaveClick);
    connect(m_pre, &QPushButton::clicked, this, &FileNotesEditor::btnPreClick);
    connect(m_next, &QPushButton::clicked, this, &FileNotesEditor::btnNextClick);
    connect(m_exit, &QPushButton::clicked, this, &FileNotesEditor::btnExitClick);
    connect(&m_session, &CatalogSession::accessModeChanged, this, &FileNotesEditor::followAccess);
    m_text->setReadOnly(!m_session.fullAccess());

    // Centred on the main window.
    move(parent->geometry().center() - rect().center());
}

qint64 FileNotesEditor::entryId() const {
    return m_name->toolTip().toLongLong();
}

int FileNotesEditor::shownRow() const {
    bool ok = false;
    const int row = m_pre->toolTip().toInt(&ok);
    return ok ? row : -1;
}

bool FileNotesEditor::showEntry(int row) {
    const EntryModel* model = m_list->model();
    if (row < 0 || row >= model->rowCount())
        return true;
    if (model->entry(row).id != entryId() && !settle())
        return false;
    const Entry& e = model->entry(row);
    if (e.id == entryId() && m_save->isEnabled()) {
        // The same entry at another place (a re-sort): the typed text stays.
        m_pre->setEnabled(row > 0);
        m_next->setEnabled(row < model->rowCount() - 1);
        m_pre->setToolTip(QString::number(row));
        return true;
    }
    m_name->setText(e.name);
    m_name->setToolTip(QString::number(e.id));
    m_loading = true;
    m_text->setPlainText(e.note);
    m_loading = false;
    m_pre->setEnabled(row > 0);
    m_next->setEnabled(row < model->rowCount() - 1);
    m_pre->setToolTip(QString::number(row));
    m_save->setEnabled(false);
    return true;
}

void FileNotesEditor::txtExpChange() {
    if (!m_loading)
        m_save->setEnabled(m_session.fullAccess() && entryId() > 0);
}

void FileNotesEditor::followAccess() {
    const bool full = m_session.fullAccess();
    m_text->setReadOnly(!full);
    if (!full)
        m_save->setEnabled(false);
}

bool FileNotesEditor::settle(bool canCancel) {
    if (!m_save->isEnabled())
        return true;
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (canCancel)
        buttons |= QMessageBox::Cancel;
    const auto answer =
        prompts().message(this, QStringLiteral("保存对文件注释的修改吗？"), QStringLiteral("提示"),
                          QMessageBox::Question, buttons, QMessageBox::Yes);
    if (answer == QMessageBox::Yes && save())
        return true;
    // A failed save keeps the text when the caller can stay; otherwise it is dropped.
    if (answer == QMessageBox::Cancel || (answer == QMessageBox::Yes && canCancel))
        return false;
    m_save->setEnabled(false);
    return true;
}

bool FileNotesEditor::save() {
    const qint64 id = entryId();
    if (id <= 0 || !m_session.fullAccess())
        return false;
    const QString text = m_text->toPlainText();
    bool exists = false;
    try {
        exists = contentstore::setNote(m_session.db(), id, text);
    } catch (const DbError& e) {
        prompts().error(this, e.text(), QStringLiteral("提示"));
        return false;
    }
    m_save->setEnabled(false);
    if (exists)
        m_session.notifyNoteChanged(m_session.shownDisc(), id, text);
    return true;
}

void FileNotesEditor::btnSaveClick() {
    save();
}

void FileNotesEditor::step(int delta) {
    // Keep the typed note: a failed save stays on this entry.
    if (m_save->isEnabled() && !save())
        return;
    const int target = shownRow() + delta;
    FileListView* list = m_list;
    if (target < 0 || target >= list->model()->rowCount())
        return;
    list->clearSelection();
    list->selectRow(target);
    m_text->setFocus();
}

void FileNotesEditor::btnPreClick() {
    step(-1);
}
void FileNotesEditor::btnNextClick() {
    step(+1);
}
void FileNotesEditor::btnExitClick() {
    close();
}

void FileNotesEditor::closeEvent(QCloseEvent* event) {
    if (!m_closed && !settle()) {
        event->ignore();
        return;
    }
    event->accept();
    if (!m_closed) {
        m_closed = true;
        emit closed();
    }
}

void FileNotesEditor::done(int result) {
    if (!m_closed && !settle())
        return;
    if (!m_closed) {
        m_closed = true;
        emit closed();
    }
    QDialog::done(result);
}

} // namespace vorlane
