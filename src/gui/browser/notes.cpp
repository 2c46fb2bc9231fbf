#include "gui/browser/notes.h"
#include "gui/common/commands.h"

#include "core/settings/text.h"
#include "core/store/catalogsession.h"
#include "core/store/copiesjob.h"
#include "core/store/database.h"
#include "gui/browser/discfacts.h"
#include "gui/common/prompts.h"

#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QToolButton>
#include <utility>

namespace vorlane {

NotesPanel::NotesPanel(CatalogSession& session, const Views& views)
    : QObject(views.window), m_session(session), m_views(views) {
    setObjectName(QStringLiteral("NotesPanel"));
    connect(m_views.txtCDExp, &QPlainTextEdit::textChanged, this, &NotesPanel::txtCDExpChange);
    connect(m_views.btnExpSave, &QToolButton::clicked, this, &NotesPanel::btnExpSaveClick);
    connect(m_views.btnInExp, &QToolButton::clicked, this, &NotesPanel::btnInExpClick);
    // Read-only: the note can be read and scrolled, but nothing typed that could not be kept.
    const auto followAccess = [this] { m_views.txtCDExp->setReadOnly(!m_session.fullAccess()); };
    connect(&m_session, &CatalogSession::accessModeChanged, this, followAccess);
    followAccess();
    // Any change may make a file the last of its kind, or give it a copy.
    const auto forgetSole = [this] {
        m_soleKnown = false;
        m_sole.clear();
        if (m_soleJob)
            m_soleJob->cancel();
        else
            showFacts();
    };
    connect(&m_session, &CatalogSession::fileChanged, this, forgetSole);
    connect(&m_session, &CatalogSession::treeChanged, this, forgetSole);
    connect(&m_session, &CatalogSession::discAdded, this, forgetSole);
    connect(&m_session, &CatalogSession::entriesChanged, this, forgetSole);
    connect(&m_session, &CatalogSession::jobWrote, this, forgetSole);
}

NotesPanel::~NotesPanel() {
    if (m_soleJob) {
        m_soleJob->cancel();
        delete m_soleJob; // waits for the work to end
    }
}

void NotesPanel::setMemo(const QString& text) {
    m_loading = true;
    m_views.txtCDExp->setPlainText(text);
    m_loading = false;
}

void NotesPanel::showDisc(qint64 discId, const QString& caption) {
    m_open = false;
    m_row = DiscRow{};
    m_row.id = discId;
    if (std::optional<DiscRow> row = catalogstore::discRow(m_session.db(), discId)) {
        m_row = std::move(*row);
        m_open = true;
    }
    m_session.setShownDisc(m_open ? m_row.id : 0);
    setMemo(m_row.note);
    showFacts();
    m_views.lbCDName->setText(caption);
    m_views.btnExpSave->setEnabled(false);
}

void NotesPanel::discRenamed(qint64 discId, const QString& name) {
    if (m_open && discId == m_session.shownDisc())
        m_views.lbCDName->setText(name);
}

void NotesPanel::closeDisc() {
    m_open = false;
    m_row = DiscRow{};
    m_session.setShownDisc(0);
    setMemo({});
    showFacts();
    m_views.lbCDName->clear();
    m_views.btnExpSave->setEnabled(false);
    m_views.btnInExp->setEnabled(false);
}

void NotesPanel::showFacts() {
    QLabel* label = m_views.lbDiscFacts;
    if (!label)
        return;
    std::optional<DiscFacts> facts;
    if (m_open) {
        try {
            facts = catalogstore::discFacts(m_session.db(), m_row.id, false);
        } catch (const DbError&) {
        }
    }
    QString text = facts ? discFactsLine(*facts) : QString();
    if (facts && !m_soleKnown)
        countSoleCopies();
    if (facts && m_soleKnown) {
        const copiesstore::SoleCopies sole = m_sole.value(m_row.id);
        text += QStringLiteral(" · 仅在此光盘：%1 个文件，%2")
                    .arg(sole.files)
                    .arg(QLocale().formattedDataSize(sole.bytes, 1,
                                                     QLocale::DataSizeTraditionalFormat));
    }
    label->setText(text);
}

void NotesPanel::countSoleCopies() {
    if (m_soleJob || !m_session.db().isOpen())
        return;
    const QString path = m_session.db().path();
    if (path.isEmpty()) {
        // A catalog never saved has no file another connection could read; it is small.
        try {
            m_sole = copiesstore::soleCopies(m_session.db());
            m_soleKnown = true;
        } catch (const DbError&) {
        }
        return;
    }
    m_soleJob = new SoleCopiesJob(path, this);
    connect(m_soleJob, &Job::finished, this, [this] {
        SoleCopiesJob* job = std::exchange(m_soleJob, nullptr);
        job->deleteLater();
        if (job->failed())
            return;
        // A count cancelled by a change starts again for the catalog as it is now.
        if (!job->isCancelled()) {
            m_sole = job->counts();
            m_soleKnown = true;
        }
        showFacts();
    });
    m_soleJob->start();
}

bool NotesPanel::isNoteEdited() const {
    return m_open && m_views.txtCDExp->toPlainText() != m_row.note;
}

bool NotesPanel::settleNote() {
    // Without full access nothing could be stored, and saving stays off.
    if (!isNoteEdited() || !m_session.fullAccess())
        return true;
    const auto answer = prompts().message(
        m_views.window, QStringLiteral("保存对光盘注释的修改吗？"), QStringLiteral("提示"),
        QMessageBox::Question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
        QMessageBox::Yes);
    if (answer == QMessageBox::Yes) {
        btnExpSaveClick();
        return !isNoteEdited();
    }
    if (answer != QMessageBox::No)
        return false;
    setMemo(m_row.note);
    m_views.btnExpSave->setEnabled(false);
    return true;
}

void NotesPanel::txtCDExpChange() {
    if (m_loading)
        return;
    m_views.btnExpSave->setEnabled(m_open && m_session.fullAccess());
}

void NotesPanel::btnExpSaveClick() {
    if (!m_open || !m_session.fullAccess())
        return;
    const QString text = m_views.txtCDExp->toPlainText();
    try {
        if (!catalogstore::setDiscNote(m_session.db(), m_row.id, text))
            throw DbError(QStringLiteral("row gone"));
    } catch (const DbError&) {
        prompts().error(m_views.window, QStringLiteral("保存备注失败，数据太长或非法！"),
                        QStringLiteral("提示"));
        return;
    }
    m_row.note = text;
    m_views.btnExpSave->setEnabled(false);
    m_session.notifyNoteChanged(m_row.id, 0, text);
}

void NotesPanel::btnInExpClick() {
    if (!m_open)
        return;
    const QString file = prompts().openFile(m_views.window, QStringLiteral("打开"),
                                            QStringLiteral("文本文件 (*.txt);;所有文件 (*)"));
    if (file.isEmpty())
        return;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        prompts().error(m_views.window, QStringLiteral("不能读取文件：") + file,
                        QStringLiteral("提示"));
        return;
    }
    QString text = decodeTextFile(f.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Replaces the whole note; the change enables saving, nothing is stored yet.
    m_views.txtCDExp->setPlainText(text);
}

void NotesPanel::storeSourcePath(const QString& path) {
    if (!m_open)
        return;
    const bool edited = isNoteEdited();
    const QString note = m_views.txtCDExp->toPlainText();
    if (!catalogstore::setDiscSource(m_session.db(), m_row.id, path,
                                     edited ? std::optional<QString>(note) : std::nullopt))
        throw DbError(QStringLiteral("row gone"));
    m_row.sourcePath = path;
    if (edited) {
        m_row.note = note;
        m_views.btnExpSave->setEnabled(false);
        m_session.notifyNoteChanged(m_row.id, 0, note);
    } else {
        m_session.notifyWritten();
    }
}

} // namespace vorlane
