#include "core/store/catalogrules.h"

#include "core/store/interchangestore.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace vorlane {

bool isSoundName(QByteArrayView name) {
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

namespace {

// A reference to another row as the catalog would store it: none, an id, or a value that
// can name no row (text, a fraction, bytes).
struct Ref {
    enum class Kind : quint8 { Null, Id, Other };
    qint64 value = 0;
    Kind kind = Kind::Null;

    bool is(qint64 id) const { return kind == Kind::Id && value == id; }
    QString detail() const {
        return kind == Kind::Id      ? QString::number(value)
               : kind == Kind::Other ? QStringLiteral("?")
                                     : QString();
    }
};

Ref refAt(const RowView& row, int column) {
    if (column < 0 || row.cells[column].type == Cell::Type::Null)
        return {};
    if (const std::optional<qint64> v = storedInteger(row.cells[column]))
        return {*v, Ref::Kind::Id};
    return {0, Ref::Kind::Other};
}

enum class Type : quint8 { File, Folder, Unknown };        // IsDir 0, not 0, null
enum class Mark : quint8 { None, Archive, Member, Other }; // Archive null, 1, 2, else

struct Category {
    qint64 id;
    Ref father;
};

struct Disc {
    qint64 id;
    Ref category;
};

struct Entry {
    qint64 id;
    Ref disc;
    Ref father;
    Type type;
    Mark mark;
};

enum Rule {
    CategoryId,
    DiscId,
    EntryId,
    CategoryTwice,
    DiscTwice,
    EntryTwice,
    DiscCategory,
    CategoryParent,
    EntryDisc,
    EntryParent,
    EntryOtherDisc,
    CategoryName,
    DiscName,
    EntryName,
    EntryRawName,
    ParentIsFile,
    UnknownMark,
    FolderArchive,
    MemberOutside,
    MemberInPlainFolder,
    NotMemberInside,
    CategoryCycle,
    EntryCycle,
    RuleCount
};

// %1 = the row's id, %2 = a detail; a row without a usable id has only the detail.
const char* const messages[RuleCount] = {
    "a category has no usable id (%1)",
    "a disc has no usable id (%1)",
    "an entry has no usable id (%1)",
    "category %1: its id is used twice",
    "disc %1: its id is used twice",
    "entry %1: its id is used twice",
    "disc %1: its category %2 does not exist",
    "category %1: its parent category %2 does not exist",
    "entry %1: its disc %2 does not exist",
    "entry %1: its parent folder %2 does not exist",
    "entry %1: its parent folder %2 belongs to another disc",
    "category %1: %2",
    "disc %1: %2",
    "entry %1: %2",
    "entry %1: %2",
    "entry %1: its parent %2 is a file, not a folder",
    "entry %1: unknown archive mark %2",
    "entry %1: a folder marked as an archive",
    "entry %1: an archive member outside any archive",
    "entry %1: an archive member in the folder %2, which is not inside an archive",
    "entry %1: not an archive member, yet inside the archive %2",
    "category %1: its parents lead back to itself",
    "entry %1: its parent folders lead back to itself",
};

// What is wrong with a name, worded for the fault line; empty when nothing is. `what` is
// "name" or "raw name". An entry's name is a part of a path and may hold no "/". A
// category's or a disc's name is a label that never becomes one, and "/" is common there:
// a disc read from "/" is named so, volume labels are taken as they are, and people file
// under "CD/DVD".
QString nameProblem(const Cell* cell, bool required, bool pathPart, const char* what) {
    const QString w = QLatin1String(what);
    if (!cell || cell->type == Cell::Type::Null)
        return required ? QStringLiteral("it has no %1").arg(w) : QString();
    if (cell->type != Cell::Type::Text && cell->type != Cell::Type::Blob)
        return {}; // a number stands as its digits
    const QByteArrayView name = cell->bytes;
    if (name.isEmpty())
        return required ? QStringLiteral("its %1 is empty").arg(w) : QString();
    if (name == "." || name == "..")
        return QStringLiteral("its %1 is \"%2\"").arg(w, QLatin1String(name));
    if (pathPart && name.contains('/'))
        return QStringLiteral("its %1 holds a \"/\"").arg(w);
    if (name.contains('\0'))
        return QStringLiteral("its %1 holds a NUL character").arg(w);
    return {};
}

// Where each column the rules read is in rows of one layout; looked up again only when
// the layout changes.
template <size_t N> class Columns {
public:
    explicit Columns(std::array<const char*, N> wanted) : m_wanted(wanted) {}
    const std::array<int, N>& in(const RowView& row) {
        if (m_names.size() != size_t(row.count) ||
            !std::equal(m_names.begin(), m_names.end(), row.names->begin())) {
            m_names.assign(row.names->begin(), row.names->begin() + row.count);
            for (size_t i = 0; i < N; ++i)
                m_at[i] = row.indexOf(m_wanted[i]);
        }
        return m_at;
    }

private:
    std::array<const char*, N> m_wanted;
    std::vector<QByteArray> m_names;
    std::array<int, N> m_at{};
};

template <typename Row> const Row* findRow(const std::vector<Row>& rows, const Ref& ref) {
    if (ref.kind != Ref::Kind::Id)
        return nullptr;
    const auto it = std::lower_bound(rows.begin(), rows.end(), ref.value,
                                     [](const Row& r, qint64 id) { return r.id < id; });
    return it != rows.end() && it->id == ref.value ? &*it : nullptr;
}

// Ids of the rows whose chain of parents runs in a circle, ascending. `rows` are in id
// order.
template <typename Row> std::vector<qint64> cycles(const std::vector<Row>& rows) {
    std::vector<int> parent(rows.size(), -1);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (const Row* p = findRow(rows, rows[i].father))
            parent[i] = int(p - rows.data());
    }
    std::vector<qint64> out;
    std::vector<quint8> state(rows.size(), 0); // 1 on the current path, 2 settled
    std::vector<int> path;
    for (size_t start = 0; start < rows.size(); ++start) {
        path.clear();
        int at = int(start);
        while (at >= 0 && state[size_t(at)] == 0) {
            state[size_t(at)] = 1;
            path.push_back(at);
            at = parent[size_t(at)];
        }
        if (at >= 0 && state[size_t(at)] == 1) {
            // `at` is on the current path: everything from it on is the circle.
            const auto from = std::find(path.begin(), path.end(), at);
            for (auto it = from; it != path.end(); ++it)
                out.push_back(rows[size_t(*it)].id);
        }
        for (int p : path)
            state[size_t(p)] = 2;
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

struct CatalogRules::Data {
    Scope scope;
    std::vector<Category> categories;
    std::vector<Disc> discs;
    std::vector<Entry> entries;
    // Faults a row shows by itself, found as it is added.
    std::array<std::vector<std::pair<qint64, QString>>, RuleCount> own;
    Columns<3> categoryColumns{{"AutoId", "FatherId", "TreeName"}};
    Columns<3> discColumns{{"AutoId", "ClassId", "CDName"}};
    Columns<7> entryColumns{
        {"AutoId", "CdID", "FatherId", "IsDir", "Archive", "TreeName", "FName"}};

    void note(Rule rule, qint64 id, const QString& detail) {
        auto& list = own[size_t(rule)];
        // Of a part only the first fault is wanted, and a hostile one may hold millions.
        if (scope == Scope::Part && !list.empty()) {
            if (id < list.front().first)
                list.front() = {id, detail};
            return;
        }
        list.emplace_back(id, detail);
    }
    // The row's id; a row without a usable one is noted and left out.
    std::optional<qint64> idOf(const RowView& row, int column, Rule rule) {
        const Ref id = refAt(row, column);
        if (id.kind == Ref::Kind::Id && id.value > 0)
            return id.value;
        note(rule, 0, id.kind == Ref::Kind::Null ? QStringLiteral("none") : id.detail());
        return std::nullopt;
    }
    void name(Rule rule, qint64 id, const QString& problem) {
        if (!problem.isEmpty())
            note(rule, id, problem);
    }
};

CatalogRules::CatalogRules(Scope scope) : d(std::make_unique<Data>()) {
    d->scope = scope;
}

CatalogRules::~CatalogRules() = default;

namespace {
const Cell* cellAt(const RowView& row, int column) {
    return column >= 0 ? &row.cells[column] : nullptr;
}
} // namespace

void CatalogRules::addCategory(const RowView& row) {
    const auto& at = d->categoryColumns.in(row);
    const std::optional<qint64> id = d->idOf(row, at[0], CategoryId);
    if (!id)
        return;
    d->categories.push_back({*id, refAt(row, at[1])});
    // A category's name is always stored: an empty label is saved as "新分类".
    d->name(CategoryName, *id, nameProblem(cellAt(row, at[2]), true, false, "name"));
}

void CatalogRules::addDisc(const RowView& row) {
    const auto& at = d->discColumns.in(row);
    const std::optional<qint64> id = d->idOf(row, at[0], DiscId);
    if (!id)
        return;
    d->discs.push_back({*id, refAt(row, at[1])});
    // A disc may have no name at all: the tree shows it as "未命名".
    d->name(DiscName, *id, nameProblem(cellAt(row, at[2]), false, false, "name"));
}

void CatalogRules::addEntry(const RowView& row) {
    const auto& at = d->entryColumns.in(row);
    const std::optional<qint64> id = d->idOf(row, at[0], EntryId);
    if (!id)
        return;
    Entry e{*id, refAt(row, at[1]), refAt(row, at[2]), Type::Unknown, Mark::None};
    if (const Cell* isDir = cellAt(row, at[3]); isDir && isDir->type != Cell::Type::Null) {
        const std::optional<qint64> v = storedInteger(*isDir);
        e.type = v && *v == 0 ? Type::File : Type::Folder;
    }
    const Ref mark = refAt(row, at[4]);
    if (mark.kind != Ref::Kind::Null) {
        e.mark = mark.is(1) ? Mark::Archive : mark.is(2) ? Mark::Member : Mark::Other;
        if (e.mark == Mark::Other)
            d->note(UnknownMark, *id, mark.detail());
    }
    if (e.mark == Mark::Archive && e.type == Type::Folder)
        d->note(FolderArchive, *id, QString());
    if (e.mark == Mark::Member && e.father.is(0))
        d->note(MemberOutside, *id, QString());
    d->entries.push_back(e);
    d->name(EntryName, *id, nameProblem(cellAt(row, at[5]), true, true, "name"));
    // No raw name (null or empty) means the shown name is the name on the disc.
    d->name(EntryRawName, *id, nameProblem(cellAt(row, at[6]), false, true, "raw name"));
}

int CatalogRules::run(const std::function<bool(const QString&)>& onFault) {
    Data& s = *d;
    int reported = 0;
    bool stopped = false;
    const auto report = [&](Rule rule, qint64 id, const QString& detail) {
        if (stopped)
            return;
        ++reported;
        const QString message = QString::fromLatin1(messages[rule]);
        stopped = !onFault(rule <= EntryId                         ? message.arg(detail)
                           : message.contains(QLatin1String("%2")) ? message.arg(id).arg(detail)
                                                                   : message.arg(id));
    };
    const auto byId = [](const auto& a, const auto& b) { return a.id < b.id; };
    std::stable_sort(s.categories.begin(), s.categories.end(), byId);
    std::stable_sort(s.discs.begin(), s.discs.end(), byId);
    std::stable_sort(s.entries.begin(), s.entries.end(), byId);
    for (auto& list : s.own)
        std::stable_sort(list.begin(), list.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto reportOwn = [&](Rule rule) {
        for (const auto& [id, detail] : s.own[rule])
            report(rule, id, detail);
    };
    const auto twice = [&](const auto& rows, Rule rule) {
        for (size_t i = 1; i < rows.size(); ++i) {
            if (rows[i].id == rows[i - 1].id && (i == 1 || rows[i - 2].id != rows[i].id))
                report(rule, rows[i].id, QString());
        }
    };

    reportOwn(CategoryId);
    reportOwn(DiscId);
    reportOwn(EntryId);
    twice(s.categories, CategoryTwice);
    twice(s.discs, DiscTwice);
    twice(s.entries, EntryTwice);
    if (s.scope == Scope::Catalog) {
        for (const Disc& disc : s.discs) {
            if (!findRow(s.categories, disc.category))
                report(DiscCategory, disc.id, disc.category.detail());
        }
        for (const Category& c : s.categories) {
            if (c.father.kind != Ref::Kind::Null && !c.father.is(0) &&
                !findRow(s.categories, c.father))
                report(CategoryParent, c.id, c.father.detail());
        }
    }
    for (const Entry& e : s.entries) {
        if (!findRow(s.discs, e.disc))
            report(EntryDisc, e.id, e.disc.detail());
    }
    // Each entry's parent, when it names one.
    const auto parentOf = [&](const Entry& e) -> const Entry* {
        return e.father.kind == Ref::Kind::Null || e.father.is(0) ? nullptr
                                                                  : findRow(s.entries, e.father);
    };
    const auto hasParent = [](const Entry& e) {
        return e.father.kind != Ref::Kind::Null && !e.father.is(0);
    };
    for (const Entry& e : s.entries) {
        if (hasParent(e) && !parentOf(e))
            report(EntryParent, e.id, e.father.detail());
    }
    for (const Entry& e : s.entries) {
        const Entry* p = parentOf(e);
        if (p && e.disc.kind != Ref::Kind::Null && p->disc.kind != Ref::Kind::Null &&
            !(e.disc.kind == Ref::Kind::Id && p->disc.is(e.disc.value)))
            report(EntryOtherDisc, e.id, e.father.detail());
    }
    reportOwn(CategoryName);
    reportOwn(DiscName);
    reportOwn(EntryName);
    reportOwn(EntryRawName);
    // A file holds entries only when it is an archive whose members are listed. Catalogs
    // from before archive marks have none, and then no file holds anything.
    for (const Entry& e : s.entries) {
        const Entry* p = parentOf(e);
        if (p && p->type == Type::File && p->mark != Mark::Archive)
            report(ParentIsFile, e.id, e.father.detail());
    }
    reportOwn(UnknownMark);
    reportOwn(FolderArchive);
    reportOwn(MemberOutside);
    for (const Entry& e : s.entries) {
        const Entry* p = parentOf(e);
        if (p && e.mark == Mark::Member && p->type == Type::Folder && p->mark != Mark::Member)
            report(MemberInPlainFolder, e.id, e.father.detail());
    }
    for (const Entry& e : s.entries) {
        const Entry* p = parentOf(e);
        if (p && e.mark != Mark::Member && (p->mark == Mark::Archive || p->mark == Mark::Member))
            report(NotMemberInside, e.id, e.father.detail());
    }
    for (qint64 id : cycles(s.categories))
        report(CategoryCycle, id, QString());
    for (qint64 id : cycles(s.entries))
        report(EntryCycle, id, QString());
    return reported;
}

QString CatalogRules::firstFault() {
    QString first;
    run([&](const QString& fault) {
        first = fault;
        return false;
    });
    return first;
}

} // namespace vorlane
