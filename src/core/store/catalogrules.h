// The rules a catalog's names and links keep, run over rows fed in one by one: the check
// of a catalog feeds its tables, a merge feeds its source before it writes anything, so
// the two refuse exactly the same things.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <memory>

namespace vorlane {

struct RowView;

// True for a name that can stand as one part of a path: not empty, not "." or "..", no
// "/" and no NUL.
bool isSoundName(QByteArrayView name);

class CatalogRules {
public:
    enum class Scope {
        Catalog, // a whole catalog: every category and disc needs its parent
        // A part of one (a merge's source): a category or disc whose parent is not in it
        // lies at its top level.
        Part,
    };

    explicit CatalogRules(Scope scope);
    ~CatalogRules();
    CatalogRules(const CatalogRules&) = delete;
    CatalogRules& operator=(const CatalogRules&) = delete;

    // Rows under the catalog's column names (qClass, qCD, qCDFiles), in any order. Only
    // the columns the rules read are kept: ids, parents, names, kinds and archive marks.
    void addCategory(const RowView& row);
    void addDisc(const RowView& row);
    void addEntry(const RowView& row);

    // Reports each fault, one line each (e.g. "entry 7: its parent folder 9 does not
    // exist"), rule by rule and each rule's rows in id order, until `onFault` returns
    // false. Returns the number reported. Of a part, a fault that a row shows by itself (a
    // name, an archive mark) is kept only for the first such row of each rule: what a
    // merge needs is the first fault, and a hostile source may hold millions.
    int run(const std::function<bool(const QString& fault)>& onFault);
    // The first fault run() would report; empty when there is none.
    QString firstFault();

    struct Data;

private:
    std::unique_ptr<Data> d;
};

} // namespace vorlane
