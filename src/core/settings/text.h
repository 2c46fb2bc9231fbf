// Text rules shared by the store, the scan and the search.
#pragma once

#include <QByteArray>
#include <QCollator>
#include <QString>

namespace vorlane {

// Bytes of the text in GB18030, the measure that name limits are given in.
int gbkLength(const QString& text);
// The longest leading part of `text` whose GB18030 encoding fits in `maxBytes`; never
// cuts a character (or a surrogate pair) in half.
QString truncateGbk(const QString& text, int maxBytes);
// GB18030 to text and back (through iconv).
QString fromGb18030(const QByteArray& bytes);
QByteArray toGb18030(const QString& text);
// A text file's contents: UTF-8 when it is valid UTF-8, else GB18030.
QString decodeTextFile(const QByteArray& bytes);

// The order names are listed in, by the list and by a fresh scan alike: the user's locale,
// digits taken as numbers ("file2" before "file10"), letter case deciding only between
// names that are otherwise equal.
QCollator nameCollator();

// Upper-cases only a-z; every other character stays.
QString asciiUpper(const QString& text);
// Substring test on characters, folding only a-z when not case-sensitive.
bool containsKeyword(const QString& text, const QString& keyword, bool caseSensitive);

} // namespace vorlane
