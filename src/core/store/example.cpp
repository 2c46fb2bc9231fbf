#include "core/store/example.h"

#include "core/store/database.h"
#include "core/store/filecopy.h"
#include "core/store/foldersizes.h"
#include "core/store/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vorlane {

namespace {

struct Writer {
    Database& db;
    qint64 disc = 0;
    int order = 0;
    unsigned seed = 20261207;

    unsigned rnd() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xffffff;
    }

    qint64 category(const QString& name, qint64 father) {
        return Record(db, QStringLiteral("qClass"))
            .set(QStringLiteral("TreeName"), name)
            .set(QStringLiteral("FatherId"), father)
            .set(QStringLiteral("OrderId"), order++)
            .append();
    }

    qint64 newDisc(qint64 classId, const QString& name, const QString& label, const QString& source,
                   const QString& note) {
        Record r(db, QStringLiteral("qCD"));
        r.set(QStringLiteral("CDName"), name)
            .set(QStringLiteral("ClassId"), classId)
            .set(QStringLiteral("OrderId"), order++)
            .set(QStringLiteral("SourcePath"), source);
        if (!label.isEmpty())
            r.set(QStringLiteral("CDId"), label);
        if (!note.isEmpty())
            r.set(QStringLiteral("CDExp"), note);
        disc = r.append();
        return disc;
    }

    qint64 entry(qint64 father, const QString& dirPath, const QString& name, bool isDir,
                 qint64 size, const QString& note = {}) {
        Record r(db, QStringLiteral("qCDFiles"));
        r.set(QStringLiteral("CdID"), disc)
            .set(QStringLiteral("FatherId"), father)
            .set(QStringLiteral("TreeName"), name)
            .set(QStringLiteral("FPath"), dirPath)
            .set(QStringLiteral("FSize"), isDir ? 0 : size)
            .set(QStringLiteral("IsDir"), isDir ? 1 : 0);
        if (!note.isEmpty())
            r.set(QStringLiteral("TreeExp"), note);
        return r.append();
    }

    // A folder with `files` files named after `stem` with the given extensions.
    qint64 folder(qint64 father, const QString& parentPath, const QString& name,
                  const QString& stem, const QStringList& exts, int files, qint64 typical,
                  const QString& note = {}) {
        const QString path = parentPath + QLatin1Char('/') + name;
        const qint64 id = entry(father, path, name, true, 0, note);
        for (int i = 1; i <= files; ++i) {
            const QString ext = exts.at(int(rnd() % unsigned(exts.size())));
            const qint64 size = typical / 2 + qint64(rnd() % unsigned(qMax<qint64>(1, typical)));
            entry(id, path,
                  QStringLiteral("%1_%2%3").arg(stem).arg(i, 3, 10, QLatin1Char('0')).arg(ext),
                  false, size);
        }
        return id;
    }
};

} // namespace

void writeExampleCatalog(const QString& path) {
    writeTemplate(path);
    Database db;
    db.open(path);
    Transaction tx(db);
    Writer w{db};

    const qint64 media = w.category(QStringLiteral("影音娱乐"), 0);
    const qint64 movies = w.category(QStringLiteral("电影"), media);
    const qint64 music = w.category(QStringLiteral("音乐"), media);
    const qint64 work = w.category(QStringLiteral("工作资料"), 0);
    const qint64 software = w.category(QStringLiteral("软件"), 0);
    const qint64 photos = w.category(QStringLiteral("照片备份"), 0);
    const qint64 trips = w.category(QStringLiteral("旅行"), photos);

    // Films
    w.newDisc(movies, QStringLiteral("经典电影合集 (一)"), QStringLiteral("CLASSIC_01"),
              QStringLiteral("/media/cdrom"), QStringLiteral("黑白经典，含中文字幕。"));
    for (const QString& film : {QStringLiteral("城南旧事"), QStringLiteral("Roman Holiday"),
                                QStringLiteral("Casablanca")}) {
        const qint64 f = w.entry(0, QStringLiteral("/") + film, film, true, 0);
        const QString p = QStringLiteral("/") + film;
        w.entry(f, p, film + QStringLiteral(".mkv"), false, 1400LL * 1024 * 1024 + w.rnd());
        w.entry(f, p, film + QStringLiteral(".srt"), false, 60 * 1024 + w.rnd() % 40000);
        w.entry(f, p, QStringLiteral("poster.jpg"), false, 300 * 1024 + w.rnd() % 90000);
    }
    w.entry(0, {}, QStringLiteral("目录.txt"), false, 2048, QStringLiteral("片单与简介"));

    w.newDisc(movies, QStringLiteral("纪录片 DVD"), QStringLiteral("DOCU_DVD"),
              QStringLiteral("/media/cdrom"), {});
    {
        const qint64 v = w.entry(0, QStringLiteral("/VIDEO_TS"), QStringLiteral("VIDEO_TS"), true,
                                 0, QStringLiteral("DVD 标准目录"));
        for (int i = 0; i < 6; ++i)
            w.entry(v, QStringLiteral("/VIDEO_TS"), QStringLiteral("VTS_01_%1.VOB").arg(i), false,
                    1073709056LL);
        w.entry(v, QStringLiteral("/VIDEO_TS"), QStringLiteral("VIDEO_TS.IFO"), false, 18432);
        w.entry(0, QStringLiteral("/AUDIO_TS"), QStringLiteral("AUDIO_TS"), true, 0);
    }

    // Music
    w.newDisc(music, QStringLiteral("古典音乐精选"), QStringLiteral("CLASSICS"),
              QStringLiteral("/media/cdrom"), QStringLiteral("巴赫、莫扎特、贝多芬。FLAC 无损。"));
    for (const QString& composer :
         {QStringLiteral("Bach"), QStringLiteral("Mozart"), QStringLiteral("Beethoven")})
        w.folder(0, {}, composer, composer.toLower(), {QStringLiteral(".flac")}, 8,
                 30 * 1024 * 1024);
    w.newDisc(music, QStringLiteral("流行金曲 2019"), QStringLiteral("POP2019"),
              QStringLiteral("/media/cdrom"), {});
    w.folder(0, {}, QStringLiteral("华语"), QStringLiteral("track"), {QStringLiteral(".mp3")}, 14,
             5 * 1024 * 1024, QStringLiteral("车上常听"));
    w.folder(0, {}, QStringLiteral("English"), QStringLiteral("song"), {QStringLiteral(".mp3")}, 12,
             5 * 1024 * 1024);

    // Work
    w.newDisc(work, QStringLiteral("项目文档 2024"), QStringLiteral("PROJ2024"),
              QStringLiteral("/media/cdrom"), QStringLiteral("年度项目归档，含合同扫描件。"));
    {
        const qint64 docs =
            w.folder(0, {}, QStringLiteral("文档"), QStringLiteral("report"),
                     {QStringLiteral(".docx"), QStringLiteral(".pdf"), QStringLiteral(".xlsx")}, 20,
                     400 * 1024);
        w.folder(docs, QStringLiteral("/文档"), QStringLiteral("合同"), QStringLiteral("contract"),
                 {QStringLiteral(".pdf")}, 9, 2 * 1024 * 1024,
                 QStringLiteral("扫描件，原件在档案柜"));
        w.folder(0, {}, QStringLiteral("source"), QStringLiteral("module"),
                 {QStringLiteral(".cpp"), QStringLiteral(".h"), QStringLiteral(".txt")}, 25,
                 12 * 1024);
        w.entry(0, {}, QStringLiteral("README.md"), false, 4321, QStringLiteral("先读这个"));
    }
    w.newDisc(work, QStringLiteral("报表备份"), {}, QStringLiteral("/home/user/报表"), {});
    w.folder(0, {}, QStringLiteral("2023"), QStringLiteral("月报"), {QStringLiteral(".xlsx")}, 12,
             150 * 1024);
    w.folder(0, {}, QStringLiteral("2024"), QStringLiteral("月报"), {QStringLiteral(".xlsx")}, 12,
             160 * 1024);

    // Software
    w.newDisc(software, QStringLiteral("Debian 12 安装盘"), QStringLiteral("Debian 12.5.0 amd64 1"),
              QStringLiteral("/media/cdrom"), QStringLiteral("网络安装以外的完整安装介质。"));
    {
        const qint64 pool = w.entry(0, QStringLiteral("/pool"), QStringLiteral("pool"), true, 0);
        const qint64 main =
            w.folder(pool, QStringLiteral("/pool"), QStringLiteral("main"),
                     QStringLiteral("package"), {QStringLiteral(".deb")}, 30, 800 * 1024);
        Q_UNUSED(main);
        w.folder(0, {}, QStringLiteral("dists"), QStringLiteral("Release"),
                 {QStringLiteral(".gpg")}, 3, 4096);
        w.entry(0, {}, QStringLiteral("md5sum.txt"), false, 120000);
        w.entry(0, {}, QStringLiteral("README.html"), false, 9876);
    }
    w.newDisc(software, QStringLiteral("常用工具"), QStringLiteral("TOOLS"),
              QStringLiteral("/media/cdrom"), {});
    w.folder(0, {}, QStringLiteral("办公"), QStringLiteral("setup"),
             {QStringLiteral(".exe"), QStringLiteral(".zip")}, 8, 40 * 1024 * 1024);
    w.folder(0, {}, QStringLiteral("图像"), QStringLiteral("viewer"),
             {QStringLiteral(".tar.gz"), QStringLiteral(".zip")}, 6, 10 * 1024 * 1024,
             QStringLiteral("看图与修图"));
    w.newDisc(software, QStringLiteral("驱动程序"), QStringLiteral("DRIVERS"),
              QStringLiteral("/media/cdrom"), {});
    w.folder(0, {}, QStringLiteral("printer"), QStringLiteral("driver"), {QStringLiteral(".zip")},
             5, 20 * 1024 * 1024);

    // Photos
    w.newDisc(photos, QStringLiteral("家庭相册 2022"), QStringLiteral("PHOTO2022"),
              QStringLiteral("/media/cdrom"), QStringLiteral("全家福与生日照片。"));
    for (const QString& month :
         {QStringLiteral("01月"), QStringLiteral("05月"), QStringLiteral("10月")})
        w.folder(0, {}, month, QStringLiteral("IMG"),
                 {QStringLiteral(".jpg"), QStringLiteral(".JPG")}, 15, 3 * 1024 * 1024);
    w.newDisc(trips, QStringLiteral("云南之行"), QStringLiteral("YUNNAN"),
              QStringLiteral("/media/cdrom"), QStringLiteral("大理、丽江、香格里拉。"));
    w.folder(0, {}, QStringLiteral("大理"), QStringLiteral("DSC"), {QStringLiteral(".jpg")}, 18,
             4 * 1024 * 1024, QStringLiteral("洱海日出"));
    w.folder(0, {}, QStringLiteral("丽江"), QStringLiteral("DSC"),
             {QStringLiteral(".jpg"), QStringLiteral(".mp4")}, 14, 6 * 1024 * 1024);
    w.newDisc(trips, QStringLiteral("北京 2023"), QStringLiteral("BEIJING23"),
              QStringLiteral("/media/cdrom"), {});
    w.folder(0, {}, QStringLiteral("故宫"), QStringLiteral("photo"), {QStringLiteral(".jpg")}, 16,
             4 * 1024 * 1024);
    w.folder(0, {}, QStringLiteral("长城"), QStringLiteral("photo"), {QStringLiteral(".jpg")}, 12,
             4 * 1024 * 1024);

    foldersizes::storeTotals(db, std::nullopt);
    tx.commit();
    db.close();
}

QString userExampleCatalog(const QString& installed, const QString& dataDir) {
    if (dataDir.isEmpty())
        return installed;
    const QString copy = QDir(dataDir).filePath(QFileInfo(installed).fileName());
    if (QFileInfo::exists(copy))
        return copy;
    if (!QFileInfo(installed).isFile() || !QDir().mkpath(dataDir) ||
        !copyFileReplacing(installed, copy))
        return installed;
    // The copy is the user's to change, whatever the installed file's mode.
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ReadOwner |
                                    QFileDevice::WriteOwner);
    return copy;
}

} // namespace vorlane
