#include "gui/search/searchwindow.h"

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
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <vector>

namespace vorlane {

// What the worker thread shares with the window while a search runs.
struct SearchWindow::Job {
    std::atomic<bool> stop{false};
    std::atomic<qint64> examined{0};
    std::atomic<qint64> total{0};
    QMutex mutex; // guards `pending` and `error`
    std::vector<SearchHit> pending;
    QString error;
};

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
    : QDialog(window), w(window), m_session(session) {
    setObjectName(QStringLiteral("FindFrm"));
    setWindowTitle(QStringLiteral("查找.........."));

    auto* keyGroup = new QGroupBox(QStringLiteral("请输入查找关键字"), this);
    cobFind = new QComboBox(keyGroup);
    cobFind->setObjectName(QStringLiteral("cobFind"));
    cobFind->setEditable(true);
    cobFind->setCompleter(nullptr);
    cobFind->setInsertPolicy(QComboBox::NoInsert);
    cobFind->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* keyLabel = new QLabel(QStringLiteral("查找关键字："), keyGroup);
    keyLabel->setBuddy(cobFind);
    auto* keyLayout = new QHBoxLayout(keyGroup);
    keyLayout->addWidget(keyLabel);
    keyLayout->addWidget(cobFind, 1);

    auto* optGroup = new QGroupBox(QStringLiteral("查找选项"), this);
    ckExp = makeCheck(optGroup, "ckExp", QStringLiteral("查找注释"), true);
    ckDir = makeCheck(optGroup, "ckDir", QStringLiteral("查找目录"), true);
    ckFile = makeCheck(optGroup, "ckFile", QStringLiteral("查找文件"), true);
    ckDaXiao = makeCheck(optGroup, "ckDaXiao", QStringLiteral("区别大小写"), false);
    auto* optLayout = new QHBoxLayout(optGroup);
    for (QCheckBox* box : {ckExp, ckDir, ckFile, ckDaXiao})
        optLayout->addWidget(box);
    optLayout->addStretch(1);

    btnBeginFind = makeButton(this, "btnBeginFind", QStringLiteral("开始查找"), true);
    btnStopFind = makeButton(this, "btnStopFind", QStringLiteral("停    止"), false);
    btnLook = makeButton(this, "btnLook", QStringLiteral("查看"), false);
    btnExit = makeButton(this, "btnExit", QStringLiteral("退    出"), true);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {btnBeginFind, btnStopFind, btnLook, btnExit})
        buttons->addWidget(b);
    buttons->addStretch(1);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->hide();

    m_model = new SearchResultModel(this);
    ListView1 = new QTableView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setModel(m_model);
    ListView1->setShowGrid(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setWordWrap(false);
    ListView1->verticalHeader()->hide();
    // Uniform rows keep long result lists cheap to lay out.
    ListView1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + 6);
    ListView1->horizontalHeader()->setHighlightSections(false);
    ListView1->setColumnWidth(SearchResultModel::Number, 60);
    ListView1->setColumnWidth(SearchResultModel::DiscName, 200);
    ListView1->horizontalHeader()->setStretchLastSection(false);
    ListView1->setColumnWidth(SearchResultModel::Name, 320);
    // The name takes the room the hidden id columns leave.
    ListView1->horizontalHeader()->setSectionResizeMode(SearchResultModel::Name,
                                                        QHeaderView::Stretch);
    // The ids are for the jump only.
    for (int c :
         {SearchResultModel::DiscId, SearchResultModel::FolderId, SearchResultModel::FileId})
        ListView1->setColumnHidden(c, true);
    // The selection stays visible when the list loses the focus.
    QPalette pal = ListView1->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    ListView1->setPalette(pal);

    auto* top = new QGridLayout;
    top->addWidget(keyGroup, 0, 0);
    top->addWidget(optGroup, 1, 0);
    top->addLayout(buttons, 0, 1, 2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ProgressBar1);
    layout->addWidget(ListView1, 1);
    resize(720, 480);

    connect(btnBeginFind, &QPushButton::clicked, this, &SearchWindow::btnBeginFindClick);
    connect(btnStopFind, &QPushButton::clicked, this, &SearchWindow::btnStopFindClick);
    connect(btnLook, &QPushButton::clicked, this, &SearchWindow::btnLookClick);
    connect(btnExit, &QPushButton::clicked, this, &SearchWindow::btnExitClick);
    connect(cobFind->lineEdit(), &QLineEdit::returnPressed, this, &SearchWindow::btnBeginFindClick);
    connect(ListView1, &QAbstractItemView::doubleClicked, this, &SearchWindow::btnLookClick);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &SearchWindow::ListView1Change);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        if (m_model->rowCount() > 0)
            ListView1Change();
    });
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &SearchWindow::ListView1Change);

    FormCreate();
}

SearchWindow::~SearchWindow() {
    // A running worker reads only through its own connection; ask it to end.
    if (m_job)
        m_job->stop = true;
}

void SearchWindow::FormCreate() {
    cobFind->clear();
    cobFind->addItems(Settings().findWords());
    cobFind->setCurrentIndex(-1);
    cobFind->clearEditText();
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
    btnBeginFind->setEnabled(!on);
    btnExit->setEnabled(!on);
    btnStopFind->setEnabled(on);
    ProgressBar1->setVisible(on);
    if (on) {
        ProgressBar1->setValue(0);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void SearchWindow::btnBeginFindClick() {
    if (m_job)
        return; // Enter pressed again while a search runs
    const QString keyword = trimKeyword(cobFind->currentText());
    cobFind->setEditText(keyword);
    if (keyword.isEmpty()) {
        prompts().message(this, QStringLiteral("请输入查询关键字！"), QStringLiteral("提示"),
                          QMessageBox::Information);
        cobFind->setFocus();
        return;
    }

    setSearching(true);
    Settings settings;
    const bool known = settings.findWords().contains(keyword);
    settings.rememberKeyword(keyword);
    // The list shown in this run is not reordered; a new keyword joins at its end.
    if (!known && cobFind->findText(keyword, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        cobFind->addItem(keyword);
    cobFind->setEditText(keyword);

    m_model->clear();
    SearchOptions options;
    options.keyword = keyword;
    options.notes = ckExp->isChecked();
    options.folders = ckDir->isChecked();
    options.files = ckFile->isChecked();
    options.caseSensitive = ckDaXiao->isChecked();
    // With no catalog open there is nothing to search.
    if (m_session.db().isOpen() && !m_session.db().path().isEmpty())
        runJob(m_session.db().path(), options);
    setSearching(false);
}

void SearchWindow::runJob(const QString& catalogPath, const SearchOptions& options) {
    auto job = std::make_shared<Job>();
    m_job = job;
    std::unique_ptr<QThread> worker(QThread::create([job, catalogPath, options] {
        try {
            Database db;
            db.open(catalogPath, Database::Mode::ReadOnly);
            SearchCallbacks callbacks;
            callbacks.stop = &job->stop;
            callbacks.onHit = [&job](const SearchHit& h) {
                QMutexLocker lock(&job->mutex);
                job->pending.push_back(h);
            };
            callbacks.onProgress = [&job](qint64 examined, qint64 total) {
                job->total = total;
                job->examined = examined;
            };
            runSearch(db, options, callbacks);
        } catch (const DbError& e) {
            QMutexLocker lock(&job->mutex);
            job->error = e.text();
        }
    }));

    // The click handler waits here, serving the window (and the stop button), until the
    // worker has ended; hits and progress are picked up every 30 ms.
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(30);
    connect(&tick, &QTimer::timeout, this, [this, &job] { collect(*job); });
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    tick.start();
    loop.exec();
    tick.stop();
    worker->wait();
    collect(*job);
    m_job.reset();

    QString error;
    {
        QMutexLocker lock(&job->mutex);
        error = job->error;
    }
    if (!error.isEmpty())
        prompts().message(this, QStringLiteral("查找时出错：") + error, QStringLiteral("提示"),
                          QMessageBox::Critical);
}

void SearchWindow::collect(Job& job) {
    std::vector<SearchHit> hits;
    {
        QMutexLocker lock(&job.mutex);
        hits.swap(job.pending);
    }
    m_model->append(std::move(hits));
    ProgressBar1->setValue(progressPosition(job.examined, job.total));
}

void SearchWindow::btnStopFindClick() {
    if (m_job)
        m_job->stop = true;
}

void SearchWindow::ListView1Change() {
    btnLook->setEnabled(true);
}

void SearchWindow::btnLookClick() {
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    const SearchHit* h = rows.isEmpty() ? nullptr : m_model->hit(rows.first().row());
    if (h)
        w->contents()->showEntry(h->discId, h->folderId, h->fileId);
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
