// The keyword history in the settings file: most recent first, twenty kept, no duplicates.
#include "common/catalogs.h"
#include "core/settings/settings.h"

#include <QSettings>
#include <QTest>

using vorlane::Settings;

class TestKeywordHistory : public QObject {
    Q_OBJECT

private slots:
    void init() {
        testcat::isolateSettings();
        // QSettings caches the file per process; clear through it, not behind its back.
        QSettings(Settings::filePath(), QSettings::IniFormat).clear();
    }

    void sequences_data() {
        QTest::addColumn<QStringList>("searched");
        QTest::addColumn<QStringList>("expected");

        QStringList twentyOne;
        QStringList lastTwenty;
        for (int i = 1; i <= 21; ++i)
            twentyOne << QStringLiteral("kw%1").arg(i);
        for (int i = 21; i >= 2; --i)
            lastTwenty << QStringLiteral("kw%1").arg(i);

        QTest::newRow("fresh") << QStringList{} << QStringList{};
        QTest::newRow("newest first") << QStringList{"a", "b", "c"} << QStringList{"c", "b", "a"};
        QTest::newRow("same keyword twice") << QStringList{"a", "a"} << QStringList{"a"};
        QTest::newRow("repeated moves to the top")
            << QStringList{"a", "b", "c", "b"} << QStringList{"b", "c", "a"};
        QTest::newRow("the oldest moves to the top")
            << QStringList{"a", "b", "c", "a"} << QStringList{"a", "c", "b"};
        QTest::newRow("letter case counts")
            << QStringList{"abc", "ABC"} << QStringList{"ABC", "abc"};
        QTest::newRow("21 distinct keep the last 20") << twentyOne << lastTwenty;
        QStringList again = twentyOne;
        again << QStringLiteral("kw2"); // dropped before, so it comes back as new
        QStringList againExpected = lastTwenty;
        againExpected.prepend(QStringLiteral("kw2"));
        againExpected.removeLast();
        QTest::newRow("a dropped keyword comes back") << again << againExpected;
        QStringList full = twentyOne;
        full << QStringLiteral("kw12");
        QStringList fullExpected = lastTwenty;
        fullExpected.removeAll(QStringLiteral("kw12"));
        fullExpected.prepend(QStringLiteral("kw12"));
        QTest::newRow("repeat in a full list") << full << fullExpected;
        // An empty keyword would end the list at Word1.
        QTest::newRow("empty keyword ignored")
            << QStringList{"a", "", "b"} << QStringList{"b", "a"};
    }

    void sequences() {
        QFETCH(QStringList, searched);
        QFETCH(QStringList, expected);
        Settings s;
        for (const QString& k : searched)
            s.rememberKeyword(k);
        QCOMPARE(s.findWords(), expected);
        // The file itself: section FindWords, Word1 the most recent.
        QSettings ini(Settings::filePath(), QSettings::IniFormat);
        for (int n = 1; n <= expected.size(); ++n)
            QCOMPARE(ini.value(QStringLiteral("FindWords/Word%1").arg(n)).toString(),
                     expected.at(n - 1));
    }

    void oddKeywords_data() {
        QTest::addColumn<QString>("keyword");
        QTest::newRow("comma") << QStringLiteral("a,b");
        QTest::newRow("quotes") << QStringLiteral("\"quoted\" 'x'");
        QTest::newRow("semicolon and hash") << QStringLiteral("semi;colon #hash");
        QTest::newRow("backslash") << QStringLiteral("C:\\dir\\");
        QTest::newRow("equals and brackets") << QStringLiteral("[x]=y");
        QTest::newRow("at sign") << QStringLiteral("@Variant(abc)");
        QTest::newRow("Chinese") << QStringLiteral("中文资料");
        QTest::newRow("number") << QStringLiteral("007");
        QTest::newRow("inner blanks") << QStringLiteral("a  b");
    }

    // Whatever the user searched for comes back as it was, as one keyword.
    void oddKeywords() {
        QFETCH(QString, keyword);
        Settings s;
        s.rememberKeyword(QStringLiteral("first"));
        s.rememberKeyword(keyword);
        QCOMPARE(s.findWords(), (QStringList{keyword, QStringLiteral("first")}));
        s.rememberKeyword(keyword);
        QCOMPARE(s.findWords(), (QStringList{keyword, QStringLiteral("first")}));
    }

    // A hand-edited file with a gap: reading stops at the first empty value.
    void gapEndsTheList() {
        {
            QSettings ini(Settings::filePath(), QSettings::IniFormat);
            ini.setValue(QStringLiteral("FindWords/Word1"), QStringLiteral("a"));
            ini.setValue(QStringLiteral("FindWords/Word3"), QStringLiteral("c"));
        }
        Settings s;
        QCOMPARE(s.findWords(), QStringList{QStringLiteral("a")});
        s.rememberKeyword(QStringLiteral("z"));
        QCOMPARE(s.findWords(), (QStringList{QStringLiteral("z"), QStringLiteral("a")}));
    }
};

QTEST_GUILESS_MAIN(TestKeywordHistory)
#include "tst_keywordhistory.moc"
