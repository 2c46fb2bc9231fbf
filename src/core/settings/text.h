// Text rules shared by the store, the scan and the search.
#pragma once

#include <QByteArray>
#include <QCollator>
#include <QString>
#include <QStringList>
#include <vector>

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
// The positions of `names` in name order (stable): each name's sort key is made once, not
// at every comparison, so long levels stay cheap.
std::vector<int> nameOrder(const QStringList& names);

// A size for people to read. In KB: bytes / 1024 with one decimal and grouped thousands
// ("1,246.6 KB"). Otherwise in the largest of B, KB, MB, GB and TB that keeps the number
// below 1024, with one decimal ("1.2 MB"; bytes as a whole number, "512 B").
QString sizeText(qint64 bytes, bool inKb = true);

// Upper-cases only a-z; every other character stays.
QString asciiUpper(const QString& text);
// Substring test on characters, folding only a-z when not case-sensitive.
bool containsKeyword(const QString& text, const QString& keyword, bool caseSensitive);

} // namespace vorlane
