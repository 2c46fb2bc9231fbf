#!/bin/sh
# Checks the files that tell the desktop about Vorlane with the desktop's own tools, each
# one where it is installed: the software-centre description, the catalog file type (it
# must compile into a MIME database, by name and by content), and the desktop entry.
# Usage: checkdesktopfiles.sh <data folder>
set -eu
data=$1
checked=0

if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$data"/*.metainfo.xml
    checked=$((checked + 1))
fi
if command -v xmllint >/dev/null; then
    xmllint --noout "$data/vorlane.xml" "$data"/*.metainfo.xml
    checked=$((checked + 1))
fi
if command -v update-mime-database >/dev/null; then
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    mkdir -p "$tmp/mime/packages"
    cp "$data/vorlane.xml" "$tmp/mime/packages/"
    XDG_DATA_HOME=$tmp XDG_DATA_DIRS=$tmp update-mime-database "$tmp/mime"
    grep -qx 'application/x-vorlane-catalog' "$tmp/mime/types"
    grep -q '^50:application/x-vorlane-catalog:\*\.vlr$' "$tmp/mime/globs2"
    grep -qa 'SQLite format 3' "$tmp/mime/magic"
    grep -qa 'application/x-vorlane-catalog' "$tmp/mime/magic"
    grep -qx 'application/x-vorlane-catalog:application-x-vorlane-catalog' "$tmp/mime/icons"
    checked=$((checked + 1))
fi
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$data/vorlane.desktop"
    checked=$((checked + 1))
fi
# The desktop entry opens the type defined here.
grep -q '^MimeType=application/x-vorlane-catalog;$' "$data/vorlane.desktop"
echo "checked with $checked tools"
