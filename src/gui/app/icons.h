// Icons for the catalogue's nodes and for file names (by extension, cached).
#pragma once

#include <QIcon>
#include <QString>

namespace vorlane {

enum class NodeIcon { Category, Disc, FolderClosed, FolderOpen };
QIcon nodeIcon(NodeIcon which);
// The desktop's icon for a file of this name; looks only at the name, never the disk.
QIcon fileIcon(const QString& fileName);
QIcon folderIcon();
// `base` marked as a symbolic link (cached per icon).
QIcon linkIcon(const QIcon& base);
// Drawn icons for the caption bars of the left panes: clear on the grey bar, and greyed
// out by Qt when disabled.
enum class CaptionIcon { AddChild, AddAbove, AddBelow, Import, Delete };
QIcon captionIcon(CaptionIcon which);
// Drawn icons for the file list's four styles (large icons, small icons, list, details).
QIcon listStyleIcon(int style);
// A theme icon with a fallback from the widget style.
QIcon themeIcon(const QString& name);

} // namespace vorlane
