#include "core/import/rescanrows.h"

#include <cstring>
#include <functional>

namespace vorlane {

namespace {

// The smallest power of two that holds `n` at a load of at most 0.8, and at least 16.
size_t tableSize(size_t n) {
    size_t size = 16;
    while (size - size / 5 < n)
        size *= 2;
    return size;
}

quint32 mixId(qint64 id) {
    return quint32((quint64(id) * 0x9E3779B97F4A7C15ull) >> 32);
}

} // namespace

StoredRows::StoredRows() = default;
StoredRows::~StoredRows() = default;

quint32 StoredRows::hashOf(quint32 parent, std::string_view name) {
    return quint32(std::hash<std::string_view>()(name)) ^ mixId(parent);
}

// Room for `bytes` in the arena: a block of its own for a text longer than a block.
quint64 StoredRows::store(size_t bytes, char*& out) {
    if (bytes > kTextBlock) {
        m_text.push_back(std::make_unique_for_overwrite<char[]>(bytes));
        out = m_text.back().get();
        m_textUsed = kTextBlock; // the next text starts a new block
        return quint64(m_text.size() - 1) << 32;
    }
    if (kTextBlock - m_textUsed < bytes) {
        m_text.push_back(std::make_unique_for_overwrite<char[]>(kTextBlock));
        m_textUsed = 0;
    }
    out = m_text.back().get() + m_textUsed;
    const quint64 at = (quint64(m_text.size() - 1) << 32) | m_textUsed;
    m_textUsed += bytes;
    return at;
}

void StoredRows::add(const rescanstore::StoredRow& r) {
    if ((m_count & kBlockMask) == 0)
        m_blocks.push_back(std::make_unique<Row[]>(size_t(1) << kBlockBits));
    Row& row = (*this)[m_count++];
    row.id = r.id;
    row.size = r.size;
    row.mtime = r.mtime.value_or(0);
    row.link = quint64(r.fatherId);
    row.nameLen = quint32(r.name.size());
    row.flags = quint8((r.isDir ? Row::IsDir : 0) | (r.mtime ? Row::HasTime : 0) |
                       (r.hasNote ? Row::HasNote : 0));
    row.archive = quint8(r.archive);
    row.special = quint8(r.special);
    // The shown name and the link target, rare, follow the name with their lengths.
    const bool extra = !r.shown.empty() || !r.link.empty();
    size_t bytes = r.name.size();
    if (extra) {
        row.flags |= Row::HasExtra;
        bytes += 2 * sizeof(quint32) + r.shown.size() + r.link.size();
    }
    char* out = nullptr;
    row.text = store(bytes, out);
    std::memcpy(out, r.name.data(), r.name.size());
    if (!extra)
        return;
    out += r.name.size();
    const quint32 lengths[2] = {quint32(r.shown.size()), quint32(r.link.size())};
    std::memcpy(out, lengths, sizeof lengths);
    out += sizeof lengths;
    std::memcpy(out, r.shown.data(), r.shown.size());
    std::memcpy(out + r.shown.size(), r.link.data(), r.link.size());
}

std::string_view StoredRows::extra(const Row& r, int which) const {
    if (!(r.flags & Row::HasExtra))
        return {};
    const char* at = textAt(r.text) + r.nameLen;
    quint32 lengths[2];
    std::memcpy(lengths, at, sizeof lengths);
    at += sizeof lengths;
    return which == 0 ? std::string_view(at, lengths[0])
                      : std::string_view(at + lengths[0], lengths[1]);
}

void StoredRows::index() {
    const size_t size = tableSize(m_count);
    const size_t mask = size - 1;
    // First by AutoId, to turn each FatherId into its row's index.
    m_slots.assign(size, kNone);
    for (quint32 i = 0; i < m_count; ++i) {
        size_t s = mixId((*this)[i].id) & mask;
        while (m_slots[s] != kNone)
            s = (s + 1) & mask;
        m_slots[s] = i;
    }
    for (quint32 i = 0; i < m_count; ++i) {
        Row& row = (*this)[i];
        const auto father = qint64(row.link);
        quint32 parent = kNone; // below nothing that is there: never found by its path
        if (father == 0) {
            parent = kTop;
        } else if (father > 0) {
            for (size_t s = mixId(father) & mask; m_slots[s] != kNone; s = (s + 1) & mask) {
                if ((*this)[m_slots[s]].id == father) {
                    parent = m_slots[s];
                    break;
                }
            }
        }
        // The slots still find rows by AutoId: the links are all resolved before the keys
        // replace them.
        row.link = parent;
    }
    // Then by parent and name.
    m_slots.assign(size, kNone);
    for (quint32 i = 0; i < m_count; ++i) {
        Row& row = (*this)[i];
        const quint32 parent = row.parent();
        if (parent == kNone)
            continue;
        const std::string_view key = name(row);
        const quint32 hash = hashOf(parent, key);
        row.link = quint64(parent) | (quint64(hash) << 32);
        size_t s = hash & mask;
        for (; m_slots[s] != kNone; s = (s + 1) & mask) {
            const Row& other = (*this)[m_slots[s]];
            if (quint32(other.link >> 32) == hash && other.parent() == parent && name(other) == key)
                break;
        }
        if (m_slots[s] == kNone || (*this)[m_slots[s]].id > row.id)
            m_slots[s] = i;
    }
}

quint32 StoredRows::find(quint32 parent, std::string_view name) const {
    if (m_slots.empty())
        return kNone;
    const size_t mask = m_slots.size() - 1;
    const quint32 hash = hashOf(parent, name);
    for (size_t s = hash & mask; m_slots[s] != kNone; s = (s + 1) & mask) {
        const Row& row = (*this)[m_slots[s]];
        if (quint32(row.link >> 32) == hash && row.parent() == parent && this->name(row) == name)
            return m_slots[s];
    }
    return kNone;
}

} // namespace vorlane
