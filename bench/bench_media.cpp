// Reading media facts and making thumbnails during an import, whole processes, against the
// usual tools on the same tree made in this run:
//
//   media facts  `vorlane-cli import --media` of the whole tree against
//                `exiftool -json -r -fast` over it
//   thumbnails   `vorlane-cli import --thumbnails` of the pictures against `vipsthumbnail`
//                making 256 px thumbnails of the same pictures
//   growth       what the catalog grows by per picture with thumbnails, and the thumbnails'
//                average size
//
// The tree: 2,000 JPEGs of 4000×3000 with EXIF (a few pictures made with ImageMagick and
// exiftool, linked under many names: making 2,000 distinct ones would take far longer than
// the runs), 300 tagged audio files (MP3, FLAC, Ogg) and 20 short videos. VORLANE_BENCH_SCALE
// (e.g. 0.1) scales the counts down for a quick run.
#include "benchutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

using Args = std::vector<std::string>;

// Runs `argv` with its output thrown away; exits when it fails.
double run(const Args& argv) {
    const double start = bench::nowMs();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::_Exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double ms = bench::nowMs() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed (%d): %s\n", status, argv.front().c_str());
        for (const std::string& a : argv)
            std::fprintf(stderr, " %s", a.c_str());
        std::fprintf(stderr, "\n");
        std::exit(1);
    }
    return ms;
}

void mkdirs(const std::string& path) {
    QDir().mkpath(QString::fromStdString(path));
}

// `count` names in `dir` for the files `sources`, taken in turn: hard links where the file
// system allows, copies otherwise.
void spread(const std::vector<std::string>& sources, const std::string& dir, int count,
            const char* ext) {
    mkdirs(dir);
    for (int i = 0; i < count; ++i) {
        const std::string& from = sources[size_t(i) % sources.size()];
        char name[64];
        std::snprintf(name, sizeof name, "/%03d/m%05d.%s", i / 200, i, ext);
        const std::string to = dir + name;
        mkdirs(to.substr(0, to.rfind('/')));
        if (::link(from.c_str(), to.c_str()) != 0 &&
            !QFile::copy(QString::fromStdString(from), QString::fromStdString(to))) {
            std::fprintf(stderr, "cannot make %s\n", to.c_str());
            std::exit(1);
        }
    }
}

qint64 fileSize(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).size();
}

double averageThumbnail(const std::string& catalog) {
    sqlite3* db = nullptr;
    double avg = 0;
    if (sqlite3_open_v2(catalog.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "select avg(length(Jpeg)) from qThumb", -1, &st, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            avg = sqlite3_column_double(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return avg;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    double scale = 1;
    if (const char* s = std::getenv("VORLANE_BENCH_SCALE"); s && std::atof(s) > 0)
        scale = std::min(1.0, std::atof(s));
    const int images = std::max(10, int(2000 * scale));
    const int songs = std::max(3, int(300 * scale));
    const int videos = std::max(2, int(20 * scale));
    const std::string cli =
        QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/vorlane-cli"))
            .toStdString();
    if (!QFileInfo::exists(QString::fromStdString(cli))) {
        std::fprintf(stderr, "no %s; build the vorlane-cli target\n", cli.c_str());
        return 1;
    }

    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/vorlane-bench-media-XXXXXX"));
    const std::string base = tmp.path().toStdString();
    const std::string src = base + "/src";
    const std::string tree = base + "/tree";
    mkdirs(src);
    std::printf("making %d pictures, %d songs, %d videos in %s\n", images, songs, videos,
                tree.c_str());
    std::fflush(stdout);

    // A few photograph-like pictures: smooth colour fields with grain, as a camera gives.
    std::vector<std::string> pictures;
    const char* fields[] = {"plasma:fractal", "plasma:green-blue", "plasma:orange-purple",
                            "plasma:grey-navy"};
    const char* cameras[][2] = {{"Canon", "Canon EOS 80D"},
                                {"NIKON CORPORATION", "NIKON D750"},
                                {"SONY", "ILCE-7M3"},
                                {"FUJIFILM", "X-T3"}};
    for (int i = 0; i < 4; ++i) {
        const std::string out = src + "/p" + std::to_string(i) + ".jpg";
        run({"convert", "-seed", std::to_string(i + 1), "-size", "500x375", fields[i], "-resize",
             "4000x3000!", "-attenuate", "0.4", "+noise", "Gaussian", "-quality", "90", out});
        run({"exiftool", "-q", "-overwrite_original",
             "-DateTimeOriginal=2019:0" + std::to_string(i + 1) + ":15 10:20:30",
             std::string("-Make=") + cameras[i][0], std::string("-Model=") + cameras[i][1],
             "-Orientation#=" + std::to_string(i == 3 ? 6 : 1), "-GPSLatitude=48.85",
             "-GPSLatitudeRef=N", "-GPSLongitude=2.35", "-GPSLongitudeRef=E", out});
        pictures.push_back(out);
    }
    const Args tags = {"-metadata", "title=Tune",   "-metadata", "artist=Band",
                       "-metadata", "album=Record", "-metadata", "track=7",
                       "-metadata", "date=2015",    "-metadata", "genre=Rock"};
    std::vector<std::string> mp3, flac, ogg;
    for (const auto& [list, ext, codec] :
         {std::tuple{&mp3, "mp3", "libmp3lame"}, std::tuple{&flac, "flac", "flac"},
          std::tuple{&ogg, "ogg", "libvorbis"}}) {
        const std::string out = src + "/song." + ext;
        Args a = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=duration=20"};
        a.insert(a.end(), tags.begin(), tags.end());
        a.insert(a.end(), {"-c:a", codec, out});
        run(a);
        list->push_back(out);
    }
    const std::string clip = src + "/clip.mp4";
    run({"ffmpeg", "-v",      "error",     "-y",
         "-f",     "lavfi",   "-i",        "testsrc=duration=5:size=640x480:rate=25",
         "-f",     "lavfi",   "-i",        "sine=duration=5",
         "-c:v",   "libx264", "-pix_fmt",  "yuv420p",
         "-c:a",   "aac",     "-shortest", clip});
    spread(pictures, tree + "/photos", images, "jpg");
    spread(mp3, tree + "/music/mp3", songs / 3, "mp3");
    spread(flac, tree + "/music/flac", songs / 3, "flac");
    spread(ogg, tree + "/music/ogg", songs - 2 * (songs / 3), "ogg");
    spread({clip}, tree + "/video", videos, "mp4");

    std::vector<std::string> pictureFiles;
    for (int i = 0; i < images; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/%03d/m%05d.jpg", i / 200, i);
        pictureFiles.push_back(tree + "/photos" + name);
    }

    const std::string catalog = base + "/bench.vlr";
    const auto freshCatalog = [&] {
        QFile::remove(QString::fromStdString(catalog));
        run({cli, "new", catalog});
        run({cli, "mkcat", catalog, "Bench"});
    };
    // Warm the page cache, so that neither side pays for the first reading.
    run({"exiftool", "-json", "-r", "-fast", tree});

    std::vector<double> oursFacts, exiftool, oursThumbs, vips;
    const std::string thumbs = base + "/vips";
    for (int round = 0; round < 3; ++round) {
        exiftool.push_back(run({"exiftool", "-json", "-r", "-fast", tree}));
        freshCatalog();
        oursFacts.push_back(run({cli, "import", catalog, tree, "--category", "1", "--media"}));

        QDir(QString::fromStdString(thumbs)).removeRecursively();
        mkdirs(thumbs);
        Args v = {"vipsthumbnail", "--size", "256", "-o", thumbs + "/%s.jpg"};
        v.insert(v.end(), pictureFiles.begin(), pictureFiles.end());
        vips.push_back(run(v));
        freshCatalog();
        oursThumbs.push_back(
            run({cli, "import", catalog, tree + "/photos", "--category", "1", "--thumbnails"}));
    }
    const double avgThumb = averageThumbnail(catalog);
    const qint64 withThumbs = fileSize(catalog);
    freshCatalog();
    run({cli, "import", catalog, tree + "/photos", "--category", "1"});
    const qint64 without = fileSize(catalog);

    std::printf("%d pictures of 4000x3000, %d songs, %d videos\n", images, songs, videos);
    std::printf("catalog growth per picture with thumbnails: %.1f KB (thumbnails average %.1f "
                "KB)\n",
                double(withThumbs - without) / images / 1024.0, avgThumb / 1024.0);
    // Baselines: exiftool for the facts, vipsthumbnail for the thumbnails.
    bench::report("media facts", oursFacts, exiftool, false);
    bench::report("thumbnails", oursThumbs, vips, false);
    return 0;
}
