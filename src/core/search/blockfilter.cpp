#include "core/search/blockfilter.h"

#include "core/search/matcher.h"

namespace vorlane::blockfilter {

namespace {

inline unsigned bitOf(unsigned char a, unsigned char b) {
    const quint32 pair = quint32(foldLetter(a)) << 8 | foldLetter(b);
    return (pair * 0x9E3779B1u) >> 20; // 12 bits
}

} // namespace

void build(const char* bytes, const quint32* starts, size_t count,
           std::vector<quint32>& blockStarts, std::vector<quint64>& bits) {
    blockStarts.clear();
    bits.clear();
    size_t text = 0;
    while (text < count) {
        blockStarts.push_back(quint32(text));
        bits.resize(bits.size() + WordsPerBlock, 0);
        quint64* word = bits.data() + bits.size() - WordsPerBlock;
        const size_t from = starts[text];
        do
            ++text;
        while (text < count && starts[text] - from < BlockBytes);
        const auto* p = reinterpret_cast<const unsigned char*>(bytes);
        // The zero byte ending each text pairs with nothing a keyword holds; it is left in.
        for (size_t i = from + 1; i < starts[text]; ++i) {
            const unsigned bit = bitOf(p[i - 1], p[i]);
            word[bit / 64] |= quint64(1) << (bit % 64);
        }
    }
    blockStarts.push_back(quint32(count));
}

std::vector<std::pair<quint32, quint32>> candidates(const quint32* blockStarts, size_t blocks,
                                                    const quint64* bits, const char* needle,
                                                    size_t needleBytes) {
    std::vector<std::pair<quint32, quint32>> runs;
    if (blocks == 0)
        return runs;
    std::vector<unsigned> want;
    const auto* key = reinterpret_cast<const unsigned char*>(needle);
    for (size_t i = 1; i < needleBytes; ++i)
        want.push_back(bitOf(key[i - 1], key[i]));
    for (size_t b = 0; b < blocks; ++b) {
        const quint64* word = bits + b * WordsPerBlock;
        bool may = true;
        for (const unsigned bit : want)
            may &= (word[bit / 64] >> (bit % 64)) & 1;
        if (!may)
            continue;
        if (!runs.empty() && runs.back().second == blockStarts[b])
            runs.back().second = blockStarts[b + 1];
        else
            runs.emplace_back(blockStarts[b], blockStarts[b + 1]);
    }
    return runs;
}

} // namespace vorlane::blockfilter
