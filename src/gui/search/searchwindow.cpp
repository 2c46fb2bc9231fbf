#include "gui/search/searchwindow.h"

#include "core/search/indexkeeper.h"
#include "core/search/searchjob.h"
#include "core/settings/settings.h"
#include "core/store/database.h"
#include "core/store/searchstore.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrylook.h"
#include "gui/common/guards.h"
#include "gui/common/prompts.h"
#include "gui/interchange/interchangehandler.h"
#include "gui/search/searchresults.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
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

SearchWindow::SearchWindow(QWidget* parent, CatalogSession& session, IndexKeeper* index)
    : QDialog(parent), m_session(session), m_index(index) {
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
    m_ckGlob = makeCheck(optGroup, "ckGlob", QStringLiteral("通配符"), false);
    m_ckRegex = makeCheck(optGroup, "ckRegex", QStringLiteral("正则表达式"), false);
    // One way of reading the keyword at a time.
    connect(m_ckGlob, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_ckRegex->setChecked(false);
    });
    connect(m_ckRegex, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_ckGlob->setChecked(false);
    });
    auto* optLayout = new QHBoxLayout(optGroup);
    for (QCheckBox* box : {m_ckExp, m_ckDir, m_ckFile, m_ckDaXiao, m_ckGlob, m_ckRegex})
        optLayout->addWidget(box);
    optLayout->addStretch(1);

    m_more = new QGroupBox(QStringLiteral("更多条件"), this);
    m_more->setObjectName(QStringLiteral("gbMore"));
    m_more->setCheckable(true);
    m_more->setChecked(false);
    auto* moreBody = new QWidget(m_more);
    m_edMinSize = new QLineEdit(moreBody);
    m_edMinSize->setObjectName(QStringLiteral("edMinSize"));
    m_edMaxSize = new QLineEdit(moreBody);
    m_edMaxSize->setObjectName(QStringLiteral("edMaxSize"));
    for (QLineEdit* e : {m_edMinSize, m_edMaxSize}) {
        auto* valid = new QDoubleValidator(0, 1e15, 3, e);
        valid->setNotation(QDoubleValidator::StandardNotation);
        valid->setLocale(QLocale::c());
        e->setValidator(valid);
        e->setPlaceholderText(QStringLiteral("不限"));
    }
    m_cobSizeUnit = new QComboBox(moreBody);
    m_cobSizeUnit->setObjectName(QStringLiteral("cobSizeUnit"));
    m_cobSizeUnit->addItems({QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB")});
    m_ckAfter = makeCheck(moreBody, "ckAfter", QStringLiteral("修改日期从"), false);
    m_ckBefore = makeCheck(moreBody, "ckBefore", QStringLiteral("到"), false);
    m_deAfter = new QDateEdit(QDate::currentDate().addYears(-1), moreBody);
    m_deAfter->setObjectName(QStringLiteral("deAfter"));
    m_deBefore = new QDateEdit(QDate::currentDate(), moreBody);
    m_deBefore->setObjectName(QStringLiteral("deBefore"));
    for (QDateEdit* d : {m_deAfter, m_deBefore}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        d->setEnabled(false);
    }
    connect(m_ckAfter, &QCheckBox::toggled, m_deAfter, &QWidget::setEnabled);
    connect(m_ckBefore, &QCheckBox::toggled, m_deBefore, &QWidget::setEnabled);
    m_edExt = new QLineEdit(moreBody);
    m_edExt->setObjectName(QStringLiteral("edExt"));
    m_edExt->setPlaceholderText(QStringLiteral(".jpg,.png"));
    auto* moreGrid = new QGridLayout(moreBody);
    moreGrid->setContentsMargins(0, 0, 0, 0);
    moreGrid->addWidget(new QLabel(QStringLiteral("大小从"), moreBody), 0, 0);
    moreGrid->addWidget(m_edMinSize, 0, 1);
    moreGrid->addWidget(new QLabel(QStringLiteral("到"), moreBody), 0, 2);
    moreGrid->addWidget(m_edMaxSize, 0, 3);
    moreGrid->addWidget(m_cobSizeUnit, 0, 4);
    moreGrid->addWidget(m_ckAfter, 1, 0);
    moreGrid->addWidget(m_deAfter, 1, 1);
    moreGrid->addWidget(m_ckBefore, 1, 2);
    moreGrid->addWidget(m_deBefore, 1, 3);
    auto* extLabel = new QLabel(QStringLiteral("扩展名："), moreBody);
    extLabel->setBuddy(m_edExt);
    moreGrid->addWidget(extLabel, 2, 0);
    moreGrid->addWidget(m_edExt, 2, 1, 1, 4);
    auto* moreLayout = new QVBoxLayout(m_more);
    moreLayout->addWidget(moreBody);
    // Folded away until asked for; while folded the conditions do not count.
    moreBody->setVisible(false);
    connect(m_more, &QGroupBox::toggled, moreBody, &QWidget::setVisible);

    m_btnBeginFind = makeButton(this, "btnBeginFind", QStringLiteral("开始查找"), true);
    m_btnStopFind = makeButton(this, "btnStopFind", QStringLiteral("停    止"), false);
    m_btnLook = makeButton(this, "btnLook", QStringLiteral("查看"), false);
    m_btnExport = makeButton(this, "btnExport", QStringLiteral("导出结果…"), false);
    m_btnExit = makeButton(this, "btnExit", QStringLiteral("退    出"), true);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {m_btnBeginFind, m_btnStopFind, m_btnLook, m_btnExport, m_btnExit})
        buttons->addWidget(b);
    buttons->addStretch(1);

    m_progressBar1 = new QProgressBar(this);
    m_progressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar1->setRange(0, 100);
    m_progressBar1->setValue(0);
    m_progressBar1->hide();

    m_lblCount = new QLabel(this);
    m_lblCount->setObjectName(QStringLiteral("lblCount"));

    m_model = new SearchResultModel(this);
    m_model->setLocator([this](const SearchHit& h) {
        // Hits of a catalog closed since are left without a place.
        Database& db = m_session.db();
        if (!db.isOpen())
            return QString();
        try {
            const qint64 entry = h.kind() == SearchHit::Kind::File     ? h.fileId
                                 : h.kind() == SearchHit::Kind::Folder ? h.folderId
                                                                       : 0;
            return searchstore::location(db, h.discId, entry);
        } catch (const DbError&) {
            return QString();
        }
    });
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
    QHeaderView* header = m_listView1->horizontalHeader();
    // Size, time and place follow the name on screen; the place takes the room left.
    int after = SearchResultModel::Name;
    for (int c : {SearchResultModel::Size, SearchResultModel::Time, SearchResultModel::Path}) {
        header->moveSection(header->visualIndex(c), header->visualIndex(after) + 1);
        after = c;
    }
    header->setStretchLastSection(true);
    m_listView1->setColumnWidth(SearchResultModel::Number, 50);
    m_listView1->setColumnWidth(SearchResultModel::DiscName, 140);
    m_listView1->setColumnWidth(SearchResultModel::Name, 240);
    m_listView1->setColumnWidth(SearchResultModel::Size, 90);
    m_listView1->setColumnWidth(SearchResultModel::Time, 125);
    // A click on a heading sorts by it; nothing is sorted until then.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    m_listView1->setSortingEnabled(true);
    // Enter on a hit jumps, as a double click does.
    m_listView1->installEventFilter(this);
    // The ids are for the jump only.
    for (int c :
         {SearchResultModel::DiscId, SearchResultModel::FolderId, SearchResultModel::FileId})
        m_listView1->setColumnHidden(c, true);
    entrylook::attach(m_listView1, QStringLiteral("ListView1"), m_session, [this] {
        QList<EntryTarget> targets;
        for (const QModelIndex& row : m_listView1->selectionModel()->selectedRows())
            if (const std::optional<SearchHit> h = m_model->hit(row.row()))
                targets.append(entrylook::targetOf(h->discId, h->folderId, h->fileId));
        return targets;
    });
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
    top->addWidget(m_more, 2, 0);
    top->addLayout(buttons, 0, 1, 3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_progressBar1);
    layout->addWidget(m_lblCount);
    layout->addWidget(m_listView1, 1);
    resize(900, 520);

    connect(m_btnBeginFind, &QPushButton::clicked, this, &SearchWindow::btnBeginFindClick);
    connect(m_btnStopFind, &QPushButton::clicked, this, &SearchWindow::btnStopFindClick);
    connect(m_btnLook, &QPushButton::clicked, this, &SearchWindow::btnLookClick);
    connect(m_btnExport, &QPushButton::clicked, this, &SearchWindow::btnExportClick);
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
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &SearchWindow::updateCount);
    connect(m_model, &QAbstractItemModel::modelReset, this, &SearchWindow::updateCount);

    m_livePoll = new QTimer(this);
    m_livePoll->setInterval(25);
    connect(m_livePoll, &QTimer::timeout, this, &SearchWindow::pollLive);
    connect(m_cobFind, &QComboBox::editTextChanged, this, &SearchWindow::edited);
    for (QCheckBox* box :
         {m_ckExp, m_ckDir, m_ckFile, m_ckDaXiao, m_ckGlob, m_ckRegex, m_ckAfter, m_ckBefore})
        connect(box, &QCheckBox::toggled, this, &SearchWindow::edited);
    connect(m_more, &QGroupBox::toggled, this, &SearchWindow::edited);
    for (QLineEdit* e : {m_edMinSize, m_edMaxSize, m_edExt})
        connect(e, &QLineEdit::textChanged, this, &SearchWindow::edited);
    connect(m_cobSizeUnit, &QComboBox::currentIndexChanged, this, &SearchWindow::edited);
    for (QDateEdit* d : {m_deAfter, m_deBefore})
        connect(d, &QDateEdit::dateChanged, this, &SearchWindow::edited);
    if (m_index) {
        // An index finished while the user waits shows its results without another key.
        connect(m_index, &IndexKeeper::ready, this, [this] {
            if (!m_job && searchable(trimKeyword(m_cobFind->currentText())) &&
                m_livePoll->isActive())
                m_livePause.expire();
        });
    }

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
    m_btnExport->setEnabled(!on && m_model->hitCount() > 0);
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
    // Conditions alone list what passes them; with none a keyword is needed.
    if (!searchable(keyword)) {
        prompts().message(this, QStringLiteral("请输入查询关键字！"), QStringLiteral("提示"),
                          QMessageBox::Information);
        m_cobFind->setFocus();
        return;
    }
    if (const auto error =
            keyword.isEmpty() ? std::nullopt : keywordError(keyword, options(keyword).mode)) {
        prompts().message(this,
                          QStringLiteral("正则表达式有误（第 %1 个字符处）：%2")
                              .arg(error->offset + 1)
                              .arg(error->message),
                          QStringLiteral("提示"), QMessageBox::Warning);
        m_cobFind->setFocus();
        return;
    }

    setSearching(true);
    if (!keyword.isEmpty()) {
        Settings settings;
        const bool known = settings.findWords().contains(keyword);
        settings.rememberKeyword(keyword);
        // The list shown in this run is not reordered; a new keyword joins at its end.
        if (!known && m_cobFind->findText(keyword, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            m_cobFind->addItem(keyword);
        m_cobFind->setEditText(keyword);
    }

    // This search answers for the keyword as it stands; no live search follows it.
    m_livePoll->stop();
    m_model->clear();
    const SearchOptions o = options(keyword);
    // With no catalog open there is nothing to search.
    if (!m_session.db().isOpen() || m_session.db().path().isEmpty()) {
        setSearching(false);
        return;
    }
    if (const std::shared_ptr<const SearchIndex> index = m_index ? m_index->current() : nullptr) {
        std::vector<IndexHit> hits;
        index->search(o, hits);
        m_model->setIndexHits(index, std::move(hits));
        setSearching(false);
        emit searchFinished();
        return;
    }
    startJob(m_session.db().path(), o);
}

bool SearchWindow::searchable(const QString& keyword) const {
    return !keyword.isEmpty() || options(keyword).hasConditions();
}

SearchOptions SearchWindow::options(const QString& keyword) const {
    SearchOptions o;
    o.keyword = keyword;
    o.notes = m_ckExp->isChecked();
    o.folders = m_ckDir->isChecked();
    o.files = m_ckFile->isChecked();
    o.caseSensitive = m_ckDaXiao->isChecked();
    o.mode = m_ckGlob->isChecked()    ? KeywordMode::Glob
             : m_ckRegex->isChecked() ? KeywordMode::Regex
                                      : KeywordMode::Substring;
    if (!m_more->isChecked())
        return o;
    const double unit = std::pow(1024.0, m_cobSizeUnit->currentIndex() + 1);
    auto size = [&](const QLineEdit* e) -> std::optional<qint64> {
        bool ok = false;
        const double v = QLocale::c().toDouble(e->text().trimmed(), &ok);
        if (!ok || v < 0 || !std::isfinite(v))
            return std::nullopt;
        // Far beyond any disc; keeps the product inside 64 bits.
        return qint64(std::llround(std::min(v * unit, 9.0e18)));
    };
    o.minSize = size(m_edMinSize);
    o.maxSize = size(m_edMaxSize);
    // Whole days, as the calendar shows them here: from the first day's start up to the
    // end of the last.
    if (m_ckAfter->isChecked())
        o.after = m_deAfter->date().startOfDay().toSecsSinceEpoch();
    if (m_ckBefore->isChecked())
        o.before = m_deBefore->date().addDays(1).startOfDay().toSecsSinceEpoch();
    for (QString t : m_edExt->text().split(QRegularExpression(QStringLiteral("[,;\\s]+")),
                                           Qt::SkipEmptyParts)) {
        if (!t.startsWith(QLatin1Char('.')))
            t.prepend(QLatin1Char('.'));
        if (t.size() > 1 && !o.extensions.contains(t, Qt::CaseInsensitive))
            o.extensions << t;
    }
    return o;
}

void SearchWindow::edited() {
    if (!m_index)
        return;
    m_livePause.restart();
    m_livePoll->start();
}

void SearchWindow::pollLive() {
    if (m_job || !m_livePause.due())
        return;
    // Without a current index the keyword waits for 查找 (a build has been asked for;
    // its readiness brings the results).
    if (liveSearch())
        m_livePoll->stop();
    else if (!m_index->isBuilding())
        m_livePoll->stop();
}

bool SearchWindow::liveSearch() {
    const std::shared_ptr<const SearchIndex> index = m_index->current();
    if (!index)
        return false;
    const QString keyword = trimKeyword(m_cobFind->currentText());
    const SearchOptions o = options(keyword);
    // A regex half typed is no error yet: the list stays empty until it compiles, and 查找
    // names what is wrong.
    const bool ok = searchable(keyword) && (keyword.isEmpty() || !keywordError(keyword, o.mode));
    std::vector<IndexHit> hits;
    if (ok)
        index->search(o, hits);
    m_model->setIndexHits(ok ? index : nullptr, std::move(hits));
    return true;
}

void SearchWindow::updateCount() {
    m_lblCount->setText(QStringLiteral("找到 %1 项").arg(m_model->hitCount()));
    m_btnExport->setEnabled(!m_btnStopFind->isEnabled() && m_model->hitCount() > 0);
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
        m_job, &Job::progressed, this,
        [this](const JobProgress& p) {
            m_progressBar1->setValue(progressPosition(p.itemsDone, p.itemsTotal));
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
    // The hits came in the order found; the order the user chose applies to all of them.
    {
        WaitCursor wait;
        m_model->resort();
    }
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
    const std::optional<SearchHit> h =
        rows.isEmpty() ? std::nullopt : m_model->hit(rows.first().row());
    if (h)
        emit showEntryRequested(h->discId, h->folderId, h->fileId);
}

void SearchWindow::btnExportClick() {
    if (m_job || m_model->hitCount() == 0)
        return;
    std::vector<ExportItem> items;
    {
        WaitCursor wait;
        items = m_model->exportItems();
    }
    emit exportRequested(std::move(items), this);
}

bool SearchWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_listView1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            btnLookClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
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
