#include "engine/chunk_chain.h"

#include <gtest/gtest.h>

namespace orvanta::engine {
namespace {

ChunkPtr MakeChunk(ChunkChain& chain, size_t size, bool sync, uint64_t generation = 0) {
    auto chunk = std::make_shared<Chunk>();
    chunk->bytes.assign(size, 'x');
    chunk->seq = chain.NextSeq();
    chunk->syncPoint = sync;
    chunk->generation = generation;
    return chunk;
}

TEST(ChunkChainTest, KeepsABoundedTailAndDropsTheOldestFirst) {
    ChunkChain chain(10000);
    for (int i = 0; i < 10; ++i) {
        chain.Append(MakeChunk(chain, 3000, true));
    }
    EXPECT_EQ(chain.Count(), 3u);
    EXPECT_EQ(chain.Tail(), 8u);
    EXPECT_EQ(chain.Head(), 11u);
    EXPECT_EQ(chain.At(7), nullptr) << "dropped";
    ASSERT_NE(chain.At(8), nullptr);
    EXPECT_EQ(chain.At(8)->seq, 8u);
    EXPECT_EQ(chain.At(11), nullptr) << "not there yet";

    ChunkChain tiny(10);
    tiny.Append(MakeChunk(tiny, 50, true));
    EXPECT_EQ(tiny.Count(), 1u) << "the newest chunk stays whatever its size";
}

TEST(ChunkChainTest, BurstStartsAtTheOldestSyncPointWithinReach) {
    ChunkChain chain(1 << 20);
    chain.Append(MakeChunk(chain, 1000, true));   // 1
    chain.Append(MakeChunk(chain, 1000, false));  // 2
    chain.Append(MakeChunk(chain, 1000, true));   // 3
    chain.Append(MakeChunk(chain, 1000, false));  // 4
    EXPECT_EQ(chain.BurstStart(2500, 0), 3u);
    EXPECT_EQ(chain.BurstStart(100000, 0), 1u);
    EXPECT_EQ(chain.BurstStart(500, 0), 3u) << "none close enough: the newest sync point";
    EXPECT_EQ(chain.BurstStart(0, 0), 3u) << "no burst still starts on a sync point";

    // A new logical stream: nothing before its first sync point is a start.
    chain.Append(MakeChunk(chain, 1000, false, 1));  // 5: header pages
    EXPECT_EQ(chain.BurstStart(100000, 1), chain.Head()) << "wait for its first audio";
    chain.Append(MakeChunk(chain, 1000, true, 1));  // 6
    EXPECT_EQ(chain.BurstStart(100000, 1), 6u);
}

}  // namespace
}  // namespace orvanta::engine
