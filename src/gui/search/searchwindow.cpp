#include "gui/search/searchwindow.h"

#include "core/search/searchjob.h"
#include "core/settings/settings.h"
#include "core/store/database.h"
#include "gui/app/mainwindow.h"
#include "gui/app/prompts.h"
#include "gui/browser/contentscontroller.h"
#include "gui/search/searchresults.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace vorlane {

namespace {

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& text, bool on) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(on);
    return box;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, bool enabled) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    // Enter belongs to the keyword box; no button may take it as the dialog's default.
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setEnabled(enabled);
    return b;
}

} // namespace

SearchWindow::SearchWindow(MainWindow* window, CatalogSession& session)
    : QDialog(window), m_w(window), m_session(session) {
    setObjectName(QStringLiteral("FindFrm"));
    setWindowTitle(QStringLiteral("查找.........."));

    auto* keyGroup = new QGroupBox(QStringLiteral("请输入查找关键字"), this);
    m_cobFind = new QComboBox(keyGroup);
    m_cobFind->setObjectName(QStringLiteral("cobFind"));
    m_cobFind->setEditable(true);
    m_cobFind->setCompleter(nullptr);
    m_cobFind->setInsertPolicy(QComboBox::NoInsert);
    m_cobFind->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* keyLabel = new QLabel(QStringLiteral("查找关键字："), keyGroup);
    keyLabel->setBuddy(m_cobFind);
    auto* keyLayout = new QHBoxLayout(keyGroup);
    keyLayout->addWidget(keyLabel);
    keyLayout->addWidget(m_cobFind, 1);

    auto* optGroup = new QGroupBox(QStringLiteral("查找选项"), this);
    m_ckExp = makeCheck(optGroup, "ckExp", QStringLiteral("查找注释"), true);
    m_ckDir = makeCheck(optGroup, "ckDir", QStringLiteral("查找目录"), true);
    m_ckFile = makeCheck(optGroup, "ckFile", QStringLiteral("查找文件"), true);
    m_ckDaXiao = makeCheck(optGroup, "ckDaXiao", QStringLiteral("区别大小写"), false);
    auto* optLayout = new QHBoxLayout(optGroup);
    for (QCheckBox* box : {m_ckExp, m_ckDir, m_ckFile, m_ckDaXiao})
        optLayout->addWidget(box);
    optLayout->addStretch(1);

    m_btnBeginFind = makeButton(this, "btnBeginFind", QStringLiteral("开始查找"), true);
    m_btnStopFind = makeButton(this, "btnStopFind", QStringLiteral("停    止"), false);
    m_btnLook = makeButton(this, "btnLook", QStringLiteral("查看"), false);
    m_btnExit = makeButton(this, "btnExit", QStringLiteral("退    出"), true);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {m_btnBeginFind, m_btnStopFind, m_btnLook, m_btnExit})
        buttons->addWidget(b);
    buttons->addStretch(1);

    m_progressBar1 = new QProgressBar(this);
    m_progressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar1->setRange(0, 100);
    m_progressBar1->setValue(0);
    m_progressBar1->hide();

    m_model = new SearchResultModel(this);
    m_listView1 = new QTableView(this);
    m_listView1->setObjectName(QStringLiteral("ListView1"));
    m_listView1->setModel(m_model);
    m_listView1->setShowGrid(true);
    m_listView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView1->setWordWrap(false);
    m_listView1->verticalHeader()->hide();
    // Uniform rows keep long result lists cheap to lay out.
    m_listView1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_listView1->verticalHeader()->setDefaultSectionSize(m_listView1->fontMetrics().height() + 6);
    m_listView1->horizontalHeader()->setHighlightSections(false);
    m_listView1->setColumnWidth(SearchResultModel::Number, 60);
    m_listView1->setColumnWidth(SearchResultModel::DiscName, 200);
    m_listView1->horizontalHeader()->setStretchLastSection(false);
    m_listView1->setColumnWidth(SearchResultModel::Name, 320);
    // The name takes the room the hidden id columns leave.
    m_listView1->horizontalHeader()->setSectionResizeMode(SearchResultModel::Name,
                                                          QHeaderView::Stretch);
    // The ids are for the jump only.
    for (int c :
         {SearchResultModel::DiscId, SearchResultModel::FolderId, SearchResultModel::FileId})
        m_listView1->setColumnHidden(c, true);
    // The selection stays visible when the list loses the focus.
    QPalette pal = m_listView1->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    m_listView1->setPalette(pal);

    auto* top = new QGridLayout;
    top->addWidget(keyGroup, 0, 0);
    top->addWidget(optGroup, 1, 0);
    top->addLayout(buttons, 0, 1, 2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_progressBar1);
    layout->addWidget(m_listView1, 1);
    resize(720, 480);

    connect(m_btnBeginFind, &QPushButton::clicked, this, &SearchWindow::btnBeginFindClick);
    connect(m_btnStopFind, &QPushButton::clicked, this, &SearchWindow::btnStopFindClick);
    connect(m_btnLook, &QPushButton::clicked, this, &SearchWindow::btnLookClick);
    connect(m_btnExit, &QPushButton::clicked, this, &SearchWindow::btnExitClick);
    connect(m_cobFind->lineEdit(), &QLineEdit::returnPressed, this,
            &SearchWindow::btnBeginFindClick);
    connect(m_listView1, &QAbstractItemView::doubleClicked, this, &SearchWindow::btnLookClick);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &SearchWindow::ListView1Change);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        if (m_model->rowCount() > 0)
            ListView1Change();
    });
    connect(m_listView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &SearchWindow::ListView1Change);

    FormCreate();
}

SearchWindow::~SearchWindow() {
    // The job reads only through its own connection; it ends at the next row.
    if (m_job)
        m_job->cancel();
}

void SearchWindow::FormCreate() {
    m_cobFind->clear();
    m_cobFind->addItems(Settings().findWords());
    m_cobFind->setCurrentIndex(-1);
    m_cobFind->clearEditText();
}

void SearchWindow::tbFindClick() {
    prompts().exec(this);
}

int SearchWindow::progressPosition(qint64 examined, qint64 total) {
    if (total <= 0)
        return examined > 0 ? 100 : 0;
    return int(std::clamp<qint64>(examined * 100 / total, 0, 100));
}

void SearchWindow::setSearching(bool on) {
    m_btnBeginFind->setEnabled(!on);
    m_btnExit->setEnabled(!on);
    m_btnStopFind->setEnabled(on);
    m_progressBar1->setVisible(on);
    if (on) {
        m_progressBar1->setValue(0);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void SearchWindow::btnBeginFindClick() {
    if (m_job)
        return; // Enter pressed again while a search runs
    const QString keyword = trimKeyword(m_cobFind->currentText());
    m_cobFind->setEditText(keyword);
    if (keyword.isEmpty()) {
        prompts().message(this, QStringLiteral("请输入查询关键字！"), QStringLiteral("提示"),
                          QMessageBox::Information);
        m_cobFind->setFocus();
        return;
    }

    setSearching(true);
    Settings settings;
    const bool known = settings.findWords().contains(keyword);
    settings.rememberKeyword(keyword);
    // The list shown in this run is not reordered; a new keyword joins at its end.
    if (!known && m_cobFind->findText(keyword, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        m_cobFind->addItem(keyword);
    m_cobFind->setEditText(keyword);

    m_model->clear();
    SearchOptions options;
    options.keyword = keyword;
    options.notes = m_ckExp->isChecked();
    options.folders = m_ckDir->isChecked();
    options.files = m_ckFile->isChecked();
    options.caseSensitive = m_ckDaXiao->isChecked();
    // With no catalog open there is nothing to search.
    if (m_session.db().isOpen() && !m_session.db().path().isEmpty())
        startJob(m_session.db().path(), options);
    else
        setSearching(false);
}

void SearchWindow::startJob(const QString& catalogPath, const SearchOptions& options) {
    m_job = new SearchJob(catalogPath, options, this);
    connect(
        m_job, &SearchJob::hitsFound, this,
        [this](const QList<SearchHit>& hits) {
            m_model->append(std::vector<SearchHit>(hits.cbegin(), hits.cend()));
        },
        Qt::QueuedConnection);
    connect(
        m_job, &SearchJob::progress, this,
        [this](qint64 examined, qint64 total) {
            m_progressBar1->setValue(progressPosition(examined, total));
        },
        Qt::QueuedConnection);
    connect(m_job, &Job::finished, this, &SearchWindow::jobFinished, Qt::QueuedConnection);
    m_job->start();
}

void SearchWindow::jobFinished() {
    SearchJob* job = std::exchange(m_job, nullptr);
    const QString error = job->error();
    job->deleteLater();
    if (!error.isEmpty())
        prompts().message(this, QStringLiteral("查找时出错：") + error, QStringLiteral("提示"),
                          QMessageBox::Critical);
    setSearching(false);
    emit searchFinished();
}

void SearchWindow::btnStopFindClick() {
    if (m_job)
        m_job->cancel();
}

void SearchWindow::ListView1Change() {
    m_btnLook->setEnabled(true);
}

void SearchWindow::btnLookClick() {
    const QModelIndexList rows = m_listView1->selectionModel()->selectedRows();
    const SearchHit* h = rows.isEmpty() ? nullptr : m_model->hit(rows.first().row());
    if (h)
        m_w->contents()->showEntry(h->discId, h->folderId, h->fileId);
}

void SearchWindow::btnExitClick() {
    reject();
}

void SearchWindow::reject() {
    // The window stays while a search runs; 停止 ends it first.
    if (m_job)
        return;
    QDialog::reject();
}

void SearchWindow::closeEvent(QCloseEvent* event) {
    if (m_job) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace vorlane
