// Media seen without the disc: thumbnails as large icons, the preview pane, the media
// columns of the details style and 属性, over facts and thumbnails planted in a catalog.
#include "contentsfixture.h"
#include "core/settings/settings.h"
#include "core/store/mediastore.h"
#include "gui/browser/previewpane.h"
#include "gui/browser/propertiesdialog.h"
#include "gui/browser/thumbnailcache.h"

#include <QBuffer>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QTreeView>

using namespace vorlane;

namespace {

// A JPEG of one colour, as a scan stores it.
QByteArray jpegOf(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

bool near(QColor a, QColor b) {
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 &&
           qAbs(a.blue() - b.blue()) < 40;
}

} // namespace

class TestMediaView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void largeIconsShowThumbnails();
    void previewFollowsTheSelection();
    void mediaColumnsComeFromTheHeaderMenu_data();
    void mediaColumnsComeFromTheHeaderMenu();
    void propertiesListEveryFact_data();
    void propertiesListEveryFact();

private:
    // In Music, beside song.mp3: a photo, a wide photo, a video and a file without facts.
    void plant();
    // On screen: the first activation opens a start-up catalog of its own.
    void showWindow() {
        m_f->w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_f->w.get()));
        m_f->db().open(m_f->file);
    }
    void showMusic() {
        m_f->show();
        m_f->selectFolder(m_f->music);
        m_f->w->contents()->completeFill();
    }

    std::unique_ptr<DiscFixture> m_f;
    qint64 m_photo = 0, m_wide = 0, m_video = 0, m_plain = 0;
};

void TestMediaView::init() {
    m_f = std::make_unique<DiscFixture>();
    plant();
    m_f->w->resize(1000, 700);
}

void TestMediaView::cleanup() {
    m_f.reset();
}

void TestMediaView::plant() {
    Database& d = m_f->db();
    const QString at = QStringLiteral("/Music");
    m_photo =
        testcat::addEntry(d, m_f->disc, m_f->music, QStringLiteral("photo.jpg"), false, 5000, at);
    m_wide =
        testcat::addEntry(d, m_f->disc, m_f->music, QStringLiteral("wide.jpg"), false, 6000, at);
    m_video =
        testcat::addEntry(d, m_f->disc, m_f->music, QStringLiteral("clip.mp4"), false, 7000, at);
    m_plain =
        testcat::addEntry(d, m_f->disc, m_f->music, QStringLiteral("notes.txt"), false, 8, at);
    mediastore::MediaWriter writer(d);
    MediaFacts photo;
    photo.kind = MediaKind::Image;
    photo.width = 4000;
    photo.height = 3000;
    photo.taken =
        QDateTime(QDate(2019, 6, 1), QTime(14, 30, 5), QTimeZone::utc()).toSecsSinceEpoch();
    photo.make = QStringLiteral("Canon");
    photo.model = QStringLiteral("Canon EOS 5D Mark IV");
    photo.orientation = 6;
    photo.lat = 48.858222;
    photo.lon = -2.2945;
    writer.storeFacts(m_photo, photo);
    writer.storeThumbnail(m_photo, jpegOf({256, 192}, Qt::red));
    MediaFacts wide;
    wide.kind = MediaKind::Image;
    wide.width = 800;
    wide.height = 600;
    wide.taken = QDateTime(QDate(2021, 1, 2), QTime(3, 4, 5), QTimeZone::utc()).toSecsSinceEpoch();
    wide.make = QStringLiteral("NIKON CORPORATION");
    wide.model = QStringLiteral("NIKON D750");
    writer.storeFacts(m_wide, wide);
    MediaFacts video;
    video.kind = MediaKind::Video;
    video.width = 1920;
    video.height = 1080;
    video.durationMs = 3723000;
    video.fps = 29.97;
    video.videoCodec = QStringLiteral("h264");
    video.audioCodec = QStringLiteral("aac");
    video.bitrate = 4500000;
    writer.storeFacts(m_video, video);
    writer.storeThumbnail(m_video, jpegOf({256, 144}, Qt::blue));
    MediaFacts song;
    song.kind = MediaKind::Audio;
    song.title = QStringLiteral("夜曲");
    song.artist = QStringLiteral("周");
    song.album = QStringLiteral("十一月");
    song.track = 3;
    song.year = 2005;
    song.genre = QStringLiteral("Pop");
    song.durationMs = 80400;
    song.bitrate = 320000;
    song.sampleRate = 44100;
    writer.storeFacts(m_f->song, song);
}

void TestMediaView::largeIconsShowThumbnails() {
    showWindow();
    showMusic();
    TRIGGER(testui::action(m_f->w, "MIcon"));
    QListView* icons = m_f->list()->iconView();
    // A level with pictures gets icons big enough to see them.
    QVERIFY(icons->iconSize().width() >= 64);
    auto* cache = m_f->w->findChild<ThumbnailCache*>();
    QVERIFY(cache);
    const auto iconColour = [&](qint64 id) {
        const QModelIndex i = m_f->model()->index(m_f->rowOf(id), EntryModel::Name);
        icons->scrollTo(i);
        const QRect item = icons->visualRect(i);
        const QImage shot = icons->viewport()->grab().toImage();
        // The icon sits at the top of its item, centred.
        return QColor(shot.pixel(item.center().x(), item.top() + icons->iconSize().height() / 2));
    };
    QTRY_VERIFY_WITH_TIMEOUT(near(iconColour(m_photo), Qt::red), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(near(iconColour(m_video), Qt::blue), 5000);
    // A picture without a thumbnail keeps its type icon.
    QVERIFY(!cache->pixmap(m_wide));
    QVERIFY(!near(iconColour(m_wide), Qt::red) && !near(iconColour(m_wide), Qt::blue));

    // A level without thumbnails has the small icons again.
    m_f->selectFolder(m_f->docs);
    m_f->w->contents()->completeFill();
    QCOMPARE(icons->iconSize(), QSize(32, 32));
}

void TestMediaView::previewFollowsTheSelection() {
    showWindow();
    showMusic();
    auto* pane = m_f->w->findChild<PreviewPane*>(QStringLiteral("previewPane"));
    QVERIFY(pane);
    QVERIFY(!pane->isVisible());
    m_f->selectRows({m_photo});
    TRIGGER(testui::action(m_f->w, "MPreview"));
    QVERIFY(pane->isVisible());
    QVERIFY(Settings().previewPane());
    // Switched on, it shows what is selected already.
    QCOMPARE(pane->value(QStringLiteral("尺寸")), QStringLiteral("4000×3000"));
    QCOMPARE(pane->value(QStringLiteral("相机")), QStringLiteral("Canon EOS 5D Mark IV"));
    QVERIFY(!pane->picture().isNull());
    const QSize shown = pane->picture().deviceIndependentSize().toSize();
    QVERIFY2(shown.width() > 96, "larger than an icon");
    QCOMPARE(shown.width() * 3 / 4, shown.height()); // 256×192 keeps its shape

    m_f->selectRows({m_f->song});
    QCOMPARE(pane->value(QStringLiteral("艺术家")), QStringLiteral("周"));
    QCOMPARE(pane->value(QStringLiteral("时长")), QStringLiteral("1:20"));
    QCOMPARE(pane->value(QStringLiteral("尺寸")), QString());
    QVERIFY(pane->picture().isNull());
    auto* empty = pane->findChild<QLabel*>(QStringLiteral("lbPreviewEmpty"));
    QVERIFY(empty);
    QVERIFY(!empty->isVisible());

    m_f->selectRows({m_plain});
    QCOMPARE(pane->value(QStringLiteral("艺术家")), QString());
    QVERIFY(empty->isVisible());
    QVERIFY(pane->picture().isNull());

    // Switched off, and so it starts next time.
    TRIGGER(testui::action(m_f->w, "MPreview"));
    QVERIFY(!pane->isVisible());
    QVERIFY(!Settings().previewPane());
}

void TestMediaView::mediaColumnsComeFromTheHeaderMenu_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("texts");     // of photo, wide, clip, song, notes
    QTest::addColumn<QStringList>("ascending"); // files only, folders have none
    // Text order would put 4000 before 800, 1:02:03 before 1:20, and 2019 after 2021 only
    // by luck; entries without the fact come together at the end.
    QTest::newRow("尺寸") << "MColDimensions" << int(EntryModel::Dimensions)
                          << QStringList{"4000×3000", "800×600", "1920×1080", "", ""}
                          << QStringList{"wide.jpg", "clip.mp4", "photo.jpg", "song.mp3",
                                         "notes.txt"};
    QTest::newRow("时长") << "MColDuration" << int(EntryModel::Duration)
                          << QStringList{"", "", "1:02:03", "1:20", ""}
                          << QStringList{"song.mp3", "clip.mp4", "photo.jpg", "wide.jpg",
                                         "notes.txt"};
    QTest::newRow("拍摄时间") << "MColTaken" << int(EntryModel::Taken)
                              << QStringList{"2019-06-01 14:30:05", "2021-01-02 03:04:05", "", "",
                                             ""}
                              << QStringList{"photo.jpg", "wide.jpg", "song.mp3", "clip.mp4",
                                             "notes.txt"};
    QTest::newRow("相机") << "MColCamera" << int(EntryModel::Camera)
                          << QStringList{"Canon EOS 5D Mark IV", "NIKON D750", "", "", ""}
                          << QStringList{"photo.jpg", "wide.jpg", "song.mp3", "clip.mp4",
                                         "notes.txt"};
    QTest::newRow("艺术家") << "MColArtist" << int(EntryModel::Artist)
                            << QStringList{"", "", "", "周", ""}
                            << QStringList{"song.mp3", "photo.jpg", "wide.jpg", "clip.mp4",
                                           "notes.txt"};
}

void TestMediaView::mediaColumnsComeFromTheHeaderMenu() {
    QFETCH(QString, action);
    QFETCH(int, column);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, ascending);
    showMusic();
    QTreeView* report = m_f->list()->reportView();
    QHeaderView* header = report->header();
    QVERIFY(header->isSectionHidden(column));
    auto* menu = m_f->list()->findChild<QMenu*>(QStringLiteral("HeaderMenu"));
    QVERIFY(menu);
    QCOMPARE(header->contextMenuPolicy(), Qt::CustomContextMenu);
    QAction* a = nullptr;
    for (QAction* each : menu->actions())
        if (each->objectName() == action)
            a = each;
    QVERIFY(a);
    TRIGGER(a);
    QVERIFY(!header->isSectionHidden(column));
    QCOMPARE(m_f->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString::fromUtf8(QTest::currentDataTag()));
    const QList<qint64> ids{m_photo, m_wide, m_video, m_f->song, m_plain};
    for (int i = 0; i < ids.size(); ++i)
        QCOMPARE(m_f->model()->index(m_f->rowOf(ids[i]), column).data().toString(), texts[i]);

    // Sorted by a header click, as the other columns; a second click turns it round,
    // the entries without the fact staying together at the end.
    m_f->w->contents()->lvMainColumnClick(column);
    const auto files = [&] {
        QStringList out;
        for (const Entry& e : m_f->model()->entries())
            if (!e.isDir)
                out << e.name;
        return out;
    };
    QCOMPARE(files(), ascending);
    m_f->w->contents()->lvMainColumnClick(column);
    const QStringList names{"photo.jpg", "wide.jpg", "clip.mp4", "song.mp3", "notes.txt"};
    QStringList withFact, without;
    for (const QString& name : ascending)
        (texts[names.indexOf(name)].isEmpty() ? without : withFact) << name;
    std::reverse(withFact.begin(), withFact.end());
    QCOMPARE(files(), withFact + without);

    // Remembered: the next window shows the column, sorted the same way.
    const QString file = m_f->file;
    m_f->w.reset();
    m_f->w = std::make_unique<MainWindow>();
    m_f->w->session().db().open(file);
    showMusic();
    QVERIFY(!m_f->list()->reportView()->header()->isSectionHidden(column));
    for (QAction* each : m_f->list()->headerMenu()->actions())
        if (each->objectName() == action)
            QVERIFY(each->isChecked());
    QCOMPARE(files(), withFact + without);
}

void TestMediaView::propertiesListEveryFact_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("facts"); // heading, text, heading, text...
    QTest::newRow("photo") << "photo.jpg" << QStringList{"媒体类型", "图片",
                                                         "尺寸",     "4000×3000",
                                                         "拍摄时间", "2019-06-01 14:30:05",
                                                         "相机",     "Canon EOS 5D Mark IV",
                                                         "方向",     "顺时针旋转 90°（6）",
                                                         "拍摄地点", "48.858222°N 2.294500°W"};
    QTest::newRow("video") << "clip.mp4"
                           << QStringList{"媒体类型", "视频", "尺寸",      "1920×1080",   "时长",
                                          "1:02:03",  "帧率", "29.97 fps", "视频编码",    "h264",
                                          "音频编码", "aac",  "比特率",    "4,500 kbit/s"};
    QTest::newRow("song") << "song.mp3"
                          << QStringList{"标题",       "夜曲",   "艺术家",   "周",   "专辑",
                                         "十一月",     "音轨",   "3",        "年份", "2005",
                                         "流派",       "Pop",    "时长",     "1:20", "比特率",
                                         "320 kbit/s", "采样率", "44,100 Hz"};
    QTest::newRow("no facts") << "notes.txt" << QStringList{"媒体类型", "", "尺寸", ""};
}

void TestMediaView::propertiesListEveryFact() {
    QFETCH(QString, name);
    QFETCH(QStringList, facts);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    showMusic();
    int row = -1;
    for (int r = 0; r < m_f->model()->rowCount(); ++r)
        if (m_f->model()->entry(r).name == name)
            row = r;
    QVERIFY(row >= 0);
    m_f->list()->selectRow(row);
    TRIGGER(testui::action(m_f->w, "mitProperties"));
    auto* dialog = m_f->w->findChild<PropertiesDialog*>(QStringLiteral("PropertiesDialog"));
    QVERIFY(dialog);
    QCOMPARE(dialog->value(QStringLiteral("名称")), name);
    for (int i = 0; i + 1 < facts.size(); i += 2)
        QCOMPARE(dialog->value(facts[i]), facts[i + 1]);
    dialog->close();
    QLocale::setDefault(QLocale::c());
}

QTEST_MAIN(TestMediaView)
#include "tst_mediaview.moc"
