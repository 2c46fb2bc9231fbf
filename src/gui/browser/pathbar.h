// The row above the file list that says where it is: the disc's categories, the disc, then
// each folder (an archive and the folders inside it as well), every one a button that goes
// there.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QHBoxLayout;
class QTreeWidget;

namespace vorlane {

class Database;

class PathBar : public QWidget {
    Q_OBJECT

public:
    enum class Kind { Category, Disc, Level };
    struct Segment {
        Kind kind = Kind::Level;
        qint64 id = 0; // a category's or the disc's id; a folder's or an archive's entry id
        QString text;
    };

    explicit PathBar(QWidget* parent = nullptr);

    // The place of level `levelId` (0: the disc's top level) of disc `discId`, with the
    // categories as the category tree `tvMain` holds them. Disc 0 empties the bar.
    void showLevel(Database& db, QTreeWidget* tvMain, qint64 discId, qint64 levelId);
    void clear();

    const QList<Segment>& segments() const { return m_segments; }
    QStringList texts() const;
    // Clicks segment `index`, as the user would.
    void choose(int index);

signals:
    void categoryChosen(qint64 categoryId);
    // Level `levelId` (0: the disc's top level) is wanted, with `fromId`, the entry of that
    // level on the way to where the list was, selected (0: none).
    void levelChosen(qint64 levelId, qint64 fromId);

private:
    void rebuild();

    QHBoxLayout* m_row;
    QList<Segment> m_segments;
};

} // namespace vorlane
