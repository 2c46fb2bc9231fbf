// How media facts read in the window: the list's columns, the preview pane and 属性 share
// one wording.
#pragma once

#include "core/store/mediastore.h"

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace vorlane::mediatext {

// "4000×3000"; empty unless both are known.
QString dimensions(const MediaFacts& f);
// "1:02:03" from an hour on, else "2:03"; empty when unknown.
QString duration(const std::optional<qint64>& ms);
// The camera's wall-clock time as it read, "2019-06-01 14:30:05"; empty when unknown.
QString taken(const std::optional<qint64>& seconds);
// Make and model, the make left out where the model already names it ("Canon EOS 5D").
QString camera(const QString& make, const QString& model);
// "图片", "音频", "视频"; empty for none.
QString kind(MediaKind kind);

// Every known fact as heading and text, in reading order.
QList<QPair<QString, QString>> lines(const MediaFacts& f);

} // namespace vorlane::mediatext
