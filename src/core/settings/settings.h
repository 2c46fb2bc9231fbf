// The settings file qnote.ini: recent files, options, first-run marker, search history.
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace vorlane {

// How the file list was last left: its style, its sort and its column widths.
struct ListViewSettings {
    int style = -1;      // -1: none stored
    int sortColumn = -1; // -1: the stored order
    bool descending = false;
    QMap<int, QList<int>> widths; // per style, one width a column; 0: fitted, not sized
    QList<int> mediaColumns;      // the media facts' columns shown in the details style
};

class Settings {
public:
    // The file in the user's configuration folder.
    static QString filePath();

    QString lastOpenedFile() const;
    // OpenFile1..OpenFile4, newest first; empty texts where unset.
    QStringList recentFiles() const;
    // Reads the first-run marker and clears it in the file at once.
    bool takeFirstRun();
    bool backupOnOpen() const;
    bool openRecentOnStart() const;
    // Writes both options; false when the file cannot be written.
    bool saveOptions(bool backupOnOpen, bool openRecentOnStart);
    // Sizes in the list in KB as always (true), or in B to TB by their magnitude.
    bool sizesInKb() const;
    bool saveSizesInKb(bool on);
    // The legacy encoding (an iconv name) that a scan reads names in when they are not
    // UTF-8; GB18030 unless the user chose another.
    QString nameEncoding() const;
    bool saveNameEncoding(const QString& encoding);
    // Records `currentFile` as the last opened file and, when it is new to the list, at
    // the top of the recent files. Nothing for an empty path. Failures are silent.
    void saveOpenHistory(const QString& currentFile);

    ListViewSettings listView() const;
    void saveListView(const ListViewSettings& view);
    // The preview pane beside the file list; hidden at first.
    bool previewPane() const;
    void savePreviewPane(bool shown);

    // Patterns a new import leaves out unless the user changes them (names or paths, as the
    // scan takes them); none at first. Saving them also forgets the import's last ones,
    // so the next import starts from them.
    QStringList defaultExclusions() const;
    bool saveDefaultExclusions(const QStringList& patterns);
    // What the import dialog was last confirmed with, for the next import to start from.
    struct ImportChoices {
        QString folder; // the directory imported last; empty: none yet
        bool checksums = false;
        bool archives = false;
        bool media = false;
        bool thumbnails = false;
        QStringList exclude;
    };
    // `exclude` is the default list until an import remembers its own.
    ImportChoices importChoices() const;
    void saveImportChoices(const ImportChoices& choices);

    // Search keywords, most recent first (at most 20).
    QStringList findWords() const;
    void rememberKeyword(const QString& keyword);

    static constexpr int RecentCount = 4;
    static constexpr int FindWordCount = 20;
};

} // namespace vorlane
