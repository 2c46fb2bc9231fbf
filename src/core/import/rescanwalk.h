// The walk of a rescan, kept step by step and handed to the comparison on another thread.
#pragma once

#include "core/import/fsnames.h"
#include "core/import/scanner.h"
#include "core/import/treewalk.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vorlane::rescanwalk {

// One step of the walk, kept for the comparison: an entry (its strings in the chunk's text),
// or a folder that could not be read.
struct Step {
    enum Kind : quint8 { Enter, File, Unreadable };
    enum Flag : quint8 { IsDir = 1, IsLink = 2, Accepted = 4, HasTime = 8 };
    qint64 size = 0;
    qint64 mtime = 0;
    qint64 arg = 0; // Enter: the parent's tag; File: the folder's tag; Unreadable: errno
    quint32 text = 0;
    quint32 nameLen = 0;
    quint32 rawLen = 0;
    quint32 linkLen = 0;
    Kind kind = Enter;
    quint8 flags = 0;
    quint8 special = 0; // SpecialKind
};

struct Chunk {
    std::vector<Step> steps;
    std::string text;
};

constexpr size_t kChunkSteps = 4096;
constexpr size_t kChunkText = 1 << 20;
// Enough for a large tree to be walked whole while the catalog is read; beyond that the walk
// waits for the comparison rather than hold everything in memory.
constexpr size_t kQueuedChunks = 64;

// Hands the walk's steps from the walking thread to the comparing one.
class StepQueue {
public:
    // Waits while the queue is full. False once the reader has stopped.
    bool push(std::unique_ptr<Chunk> chunk) {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_chunks.size() < kQueuedChunks || m_stopped; });
        if (m_stopped)
            return false;
        m_chunks.push_back(std::move(chunk));
        lock.unlock();
        m_notEmpty.notify_one();
        return true;
    }

    // Nothing more comes.
    void close() {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_notEmpty.notify_all();
    }

    // The reader takes no more.
    void stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_notFull.notify_all();
    }

    // Null once the queue is closed and empty.
    std::unique_ptr<Chunk> pop() {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [&] { return !m_chunks.empty() || m_closed; });
        if (m_chunks.empty())
            return nullptr;
        std::unique_ptr<Chunk> chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        lock.unlock();
        m_notFull.notify_one();
        return chunk;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
    std::deque<std::unique_ptr<Chunk>> m_chunks;
    bool m_closed = false;
    bool m_stopped = false;
};

// The walk of a rescan, kept step by step. It needs nothing of the catalog, so it runs while
// the stored rows are read on another thread, which then compares the steps with them. The
// hooks are called here, on the calling thread.
class Recorder : TreeWalker {
public:
    Recorder(const ScanParams& params, const ScanHooks& hooks, StepQueue& queue)
        : TreeWalker(false, params.nameEncoding), m_params(params), m_hooks(hooks), m_queue(queue),
          m_reporter(hooks.progress, hooks.progressIntervalMs), m_prefix(rootPrefix(params.root)),
          m_chunk(std::make_unique<Chunk>()) {
        m_chunk->steps.reserve(kChunkSteps);
        readAhead(params.depthLimit); // classify() reads only its entry and m_choice
        exclude(params.exclude);
    }

    // Walks the whole tree, then closes the queue.
    void record() {
        walk(m_prefix);
        flush();
        m_queue.close();
    }

    bool cancelled() const { return m_cancelled; }

private:
    // The same choice of files as the scan's.
    bool classify(WalkEntry& e) override {
        e.accepted = m_choice.accepts(e.name);
        return !e.isDir && e.accepted;
    }

    bool proceed() override {
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed))
            m_cancelled = true;
        return !m_cancelled && !m_stopped;
    }

    bool enter(const WalkEntry& e, qint64 parentTag, int depth, qint64& tag) override {
        m_reporter.report(m_prefix,
                          std::string_view(path()).substr(0, path().size() - e.name.size() - 1),
                          e.name);
        if (!proceed())
            return false;
        if (m_params.depthLimit != 0 && m_params.depthLimit < depth)
            return false;
        add(Step::Enter, e, parentTag);
        if (m_hooks.counts)
            m_hooks.counts->folders.fetch_add(1, std::memory_order_relaxed);
        tag = ++m_lastTag;
        return true;
    }

    void file(const WalkEntry& e, qint64 folderTag) override {
        m_reporter.report(m_prefix, path(), e.name);
        if (!m_params.foldersOnly && e.accepted) {
            add(Step::File, e, folderTag);
            if (m_hooks.counts)
                m_hooks.counts->files.fetch_add(1, std::memory_order_relaxed);
        }
    }

    void unreadable(int error) override {
        Step s;
        s.kind = Step::Unreadable;
        s.arg = error;
        m_chunk->steps.push_back(s);
    }

    void add(Step::Kind kind, const WalkEntry& e, qint64 arg) {
        Step s;
        s.kind = kind;
        s.arg = arg;
        s.size = e.size;
        s.mtime = e.mtime.value_or(0);
        s.flags = quint8((e.isDir ? Step::IsDir : 0) | (e.isLink ? Step::IsLink : 0) |
                         (e.accepted ? Step::Accepted : 0) | (e.mtime ? Step::HasTime : 0));
        s.special = quint8(e.special);
        std::string& text = m_chunk->text;
        s.text = quint32(text.size());
        s.nameLen = quint32(e.name.size());
        s.rawLen = quint32(e.raw.size());
        s.linkLen = quint32(e.link.size());
        text += e.name;
        text += e.raw;
        text += e.link;
        m_chunk->steps.push_back(s);
        if (m_chunk->steps.size() >= kChunkSteps || text.size() >= kChunkText)
            flush();
    }

    void flush() {
        if (m_chunk->steps.empty())
            return;
        if (!m_queue.push(std::move(m_chunk)))
            m_stopped = true; // the comparison has ended early
        m_chunk = std::make_unique<Chunk>();
        m_chunk->steps.reserve(kChunkSteps);
    }

    const ScanParams& m_params;
    const ScanHooks& m_hooks;
    StepQueue& m_queue;
    fsnames::PathReporter m_reporter;
    QString m_prefix;
    const FileChoice m_choice{m_params};
    std::unique_ptr<Chunk> m_chunk;
    qint64 m_lastTag = 0; // the root's is 0
    bool m_cancelled = false;
    bool m_stopped = false;
};

} // namespace vorlane::rescanwalk
