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
// out when disabled.
enum class CaptionIcon { AddChild, AddAbove, AddBelow, Import, Delete };
QIcon captionIcon(CaptionIcon which);
// Drawn icons for the file list's four styles (large icons, small icons, list, details).
QIcon listStyleIcon(int style);
// The drawn arrow of the 向上 command, in the same ink as the list style icons.
QIcon upIcon();
// A theme icon with a fallback from the widget style, with clear disabled and checked
// states (see withClearStates).
QIcon themeIcon(const QString& name);
// `base` with a grey, faint picture when disabled and a tinted square behind it when
// checked, for tool buttons and switches.
QIcon withClearStates(const QIcon& base);

} // namespace vorlane
