#include "engine/chunk_chain.h"

namespace orvanta::engine {

void ChunkChain::Append(ChunkPtr chunk) {
    m_bytes += chunk->bytes.size();
    m_nextSeq = chunk->seq + 1;
    m_chunks.push_back(std::move(chunk));
    while (m_chunks.size() > 1 && m_bytes > m_maxBytes) {
        m_bytes -= m_chunks.front()->bytes.size();
        m_chunks.pop_front();
    }
}

void ChunkChain::Clear() {
    m_chunks.clear();
    m_bytes = 0;
}

ChunkPtr ChunkChain::At(uint64_t seq) const {
    if (m_chunks.empty() || seq < m_chunks.front()->seq || seq >= m_nextSeq) {
        return nullptr;
    }
    const uint64_t index = seq - m_chunks.front()->seq;
    return index < m_chunks.size() ? m_chunks[static_cast<size_t>(index)] : nullptr;
}

uint64_t ChunkChain::BurstStart(size_t burstBytes, uint64_t generation) const {
    uint64_t newestSync = 0;
    uint64_t oldestWithin = 0;
    size_t behind = 0;
    for (auto it = m_chunks.rbegin(); it != m_chunks.rend(); ++it) {
        const Chunk& chunk = **it;
        behind += chunk.bytes.size();
        if (!chunk.syncPoint || chunk.generation != generation) {
            if (chunk.generation != generation) {
                break;  // older chunks belong to another logical stream
            }
            continue;
        }
        if (newestSync == 0) {
            newestSync = chunk.seq;
        }
        if (behind <= burstBytes || burstBytes == 0) {
            oldestWithin = chunk.seq;
        }
        if (behind > burstBytes) {
            break;
        }
    }
    if (burstBytes == 0) {
        return newestSync != 0 ? newestSync : m_nextSeq;
    }
    if (oldestWithin != 0) {
        return oldestWithin;
    }
    return newestSync != 0 ? newestSync : m_nextSeq;
}

}  // namespace orvanta::engine
