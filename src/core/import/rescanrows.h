// The stored rows of a disc as a rescan holds them while it compares: fixed-size records in
// blocks, their names in a text arena and a table of indexes that finds a row by its parent
// and name, about 50 bytes a row plus its name. Notes stay in the catalog; only whether a row
// has one is kept.
#pragma once

#include "core/store/rescanstore.h"

#include <QtGlobal>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace vorlane {

class StoredRows {
public:
    static constexpr quint32 kNone = ~quint32(0);
    static constexpr quint32 kTop = kNone - 1; // the parent of the top level's rows

    // How a row fares in the comparison, and then whether it stays.
    enum class Seen : quint8 { No, Same, Changed };
    enum class Fate : quint8 { Unknown, Resolving, Keep, Remove };

    struct Row {
        qint64 id = 0;
        qint64 size = 0;
        qint64 mtime = 0;
        // While rows are added: the FatherId. After index(): the parent row's index (kTop,
        // or kNone for a parent that is not there) and the key's hash in the high half.
        quint64 link = 0;
        quint64 text = 0; // where the name (then shown name and link target) is: block, offset
        quint32 nameLen = 0;
        quint8 flags = 0;
        quint8 archive = 0;
        quint8 special = 0;
        Seen seen = Seen::No;

        enum Flag : quint8 { IsDir = 1, HasTime = 2, HasNote = 4, HasExtra = 8, Incomplete = 16 };
        bool isDir() const { return flags & IsDir; }
        bool hasNote() const { return flags & HasNote; }
        std::optional<qint64> time() const {
            return flags & HasTime ? std::optional<qint64>(mtime) : std::nullopt;
        }
        quint32 parent() const { return quint32(link); }
    };

    StoredRows();
    ~StoredRows();
    StoredRows(const StoredRows&) = delete;
    StoredRows& operator=(const StoredRows&) = delete;

    void add(const rescanstore::StoredRow& r);
    // Links each row to its parent and makes the table find() uses; after the last add().
    void index();

    quint32 size() const { return m_count; }
    Row& operator[](quint32 i) { return m_blocks[i >> kBlockBits][i & kBlockMask]; }
    const Row& operator[](quint32 i) const { return m_blocks[i >> kBlockBits][i & kBlockMask]; }

    std::string_view name(const Row& r) const { return {textAt(r.text), r.nameLen}; }
    // TreeName where it differs from the name's bytes; empty otherwise.
    std::string_view shown(const Row& r) const { return extra(r, 0); }
    std::string_view link(const Row& r) const { return extra(r, 1); }
    // The parent's index, or -1 for the top level and for a parent that is not there.
    int parentOf(quint32 i) const {
        const quint32 p = (*this)[i].parent();
        return p >= kTop ? -1 : int(p);
    }

    // The row named `name` whose parent is row `parent` (kTop: the top level); kNone when
    // there is none. Of two rows with one parent and name (a damaged catalog), the older.
    quint32 find(quint32 parent, std::string_view name) const;

private:
    static constexpr int kBlockBits = 16;
    static constexpr quint32 kBlockMask = (1u << kBlockBits) - 1;
    static constexpr size_t kTextBlock = size_t(1) << 20;

    const char* textAt(quint64 text) const {
        return m_text[size_t(text >> 32)].get() + quint32(text);
    }
    std::string_view extra(const Row& r, int which) const;
    quint64 store(size_t bytes, char*& out);
    static quint32 hashOf(quint32 parent, std::string_view name);

    std::vector<std::unique_ptr<Row[]>> m_blocks;
    quint32 m_count = 0;
    std::vector<std::unique_ptr<char[]>> m_text;
    size_t m_textUsed = kTextBlock; // in the last block
    std::vector<quint32> m_slots;   // row indexes by hash, open addressing; kNone: empty
};

} // namespace vorlane
