// The preview pane beside the file list: the selected entry's thumbnail, larger, and its
// media facts as heading and text lines. It shows what it is given; the list's selection
// drives it (ListMedia).
#pragma once

#include "core/store/mediastore.h"

#include <QByteArray>
#include <QImage>
#include <QWidget>
#include <optional>

class QVBoxLayout;
class QLabel;

namespace vorlane {

class PreviewPane : public QWidget {
    Q_OBJECT

public:
    explicit PreviewPane(QWidget* parent = nullptr);

    // Nothing to show: no entry, or more than one, selected.
    void showNothing();
    // One entry: its name, its stored thumbnail (may be empty) and its facts (may be none).
    void showEntry(const QString& name, const QByteArray& jpeg,
                   const std::optional<MediaFacts>& facts);

    // The text beside a heading ("尺寸"); empty when not shown.
    QString value(const QString& heading) const;
    // The picture as shown, scaled; null when none.
    QPixmap picture() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void clearFacts();
    void placePicture();

    QLabel* m_name;
    QLabel* m_picture;
    QLabel* m_empty;
    QVBoxLayout* m_facts;
    QImage m_image; // as stored, turned upright
};

} // namespace vorlane
