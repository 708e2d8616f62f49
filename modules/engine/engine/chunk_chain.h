// The audio of the station, stored once. The source appends immutable chunks; every listener
// is a cursor (a sequence number) into the chain and shares the chunks it is sending. The
// chain keeps a bounded number of bytes: a listener whose cursor falls off the old end has
// fallen too far behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace orvanta::engine {

struct Chunk {
    std::string bytes;
    uint64_t seq = 0;
    // A listener may start here (an MP3 frame, an Ogg page of the current stream after its
    // headers).
    bool syncPoint = false;
    // Ogg: which logical stream's headers this chunk needs; the headers themselves.
    uint64_t generation = 0;
    std::shared_ptr<const std::string> headers;
};
using ChunkPtr = std::shared_ptr<const Chunk>;

class ChunkChain {
public:
    explicit ChunkChain(size_t maxBytes) : m_maxBytes(maxBytes) {}

    // Appends a chunk and drops the oldest ones beyond the byte limit (always keeping one).
    void Append(ChunkPtr chunk);
    // A fresh chain (a new source with another format): sequence numbers keep counting.
    void Clear();

    // The next sequence number to be appended.
    uint64_t Head() const { return m_nextSeq; }
    // The oldest sequence number still held (Head() when empty).
    uint64_t Tail() const { return m_chunks.empty() ? m_nextSeq : m_chunks.front()->seq; }
    // The chunk with that number, or null when it is gone or not there yet.
    ChunkPtr At(uint64_t seq) const;
    uint64_t NextSeq() const { return m_nextSeq; }
    void SetNextSeq(uint64_t seq) { m_nextSeq = seq; }

    // Where a new listener starts: the oldest sync point of `generation` that is at most
    // `burstBytes` behind the head; the newest such sync point when none is that close; the
    // head when there is none (the listener waits for the next sync point).
    uint64_t BurstStart(size_t burstBytes, uint64_t generation) const;

    size_t Bytes() const { return m_bytes; }
    size_t Count() const { return m_chunks.size(); }

private:
    std::deque<ChunkPtr> m_chunks;
    uint64_t m_nextSeq = 1;
    size_t m_bytes = 0;
    size_t m_maxBytes;
};

}  // namespace orvanta::engine
