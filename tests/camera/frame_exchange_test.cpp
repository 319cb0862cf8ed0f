// The frame hand-over and handle registry both camera libraries share:
// reference counting of pooled buffers, per-handle queues and wake-ups.
#include <gtest/gtest.h>

#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "common_result_codes.h"
#include "frame_exchange.h"
#include "handle_registry.h"

using namespace zebcommon;

namespace {

// Publishes one frame whose first byte and frame number are tag.
FrameBuffer* publish(FrameExchange& exchange, uint8_t tag, size_t bytes = 16) {
    FrameBuffer* buffer = exchange.claim(bytes, bytes);
    if (!buffer) return nullptr;
    buffer->data[0] = tag;
    FrameFacts facts;
    facts.descriptor.curFN = tag;
    exchange.publish(buffer, facts);
    return buffer;
}

// Attaches a handle and starts it taking frames, as opening and starting a
// camera does; detaches it at the end of the scope, as closing does.
class Streaming {
public:
    Streaming(FrameExchange& exchange, HandleQueue* handle) : exchange_(exchange), handle_(handle) {
        exchange_.attach(handle_);
        exchange_.begin(handle_);
    }
    ~Streaming() { exchange_.detach(handle_); }

private:
    FrameExchange& exchange_;
    HandleQueue* handle_;
};

uint8_t take(FrameExchange& exchange, HandleQueue* handle) {
    void* data = nullptr;
    EXPECT_EQ(exchange.acquire(handle, &data), kOk);
    return data ? *static_cast<uint8_t*>(data) : 0;
}

TEST(FrameExchange, QueuesKeepTheNewestFourAndOnlyForAcquiringHandles) {
    FrameExchange exchange;
    HandleQueue idle, active;
    exchange.attach(&idle);
    exchange.attach(&active);
    EXPECT_EQ(exchange.claim(16, 16), nullptr);  // nobody would see it
    ASSERT_TRUE(exchange.begin(&active));
    EXPECT_FALSE(exchange.begin(&active));
    for (uint8_t tag = 1; tag <= 6; ++tag) ASSERT_NE(publish(exchange, tag), nullptr);
    EXPECT_FALSE(exchange.field_ready(&idle));
    for (uint8_t expected = 3; expected <= 6; ++expected) EXPECT_EQ(take(exchange, &active), expected);
    void* data = nullptr;
    EXPECT_EQ(exchange.acquire(&active, &data), kNoData);
    exchange.detach(&active);
    exchange.detach(&idle);
}

TEST(FrameExchange, HeldAndCurrentFramesAreNeverRecycledAndEndReleasesThem) {
    FrameExchange exchange;
    HandleQueue handle;
    Streaming streaming(exchange, &handle);
    FrameBuffer* first = publish(exchange, 1);
    void* held = nullptr;
    ASSERT_EQ(exchange.acquire(&handle, &held), kOk);
    EXPECT_EQ(exchange.update(&handle, &held), kBadArgument);  // not a frame pointer
    ASSERT_EQ(exchange.update(&handle, held), kOk);
    for (uint8_t tag = 2; tag <= 12; ++tag) EXPECT_NE(publish(exchange, tag), first);
    CQGETFRAMEEX frame{};
    ASSERT_TRUE(exchange.current(&handle, &frame));
    EXPECT_EQ(frame.bp, held);
    EXPECT_EQ(frame.curFN, 1u);
    EXPECT_EQ(static_cast<uint8_t*>(frame.bp)[0], 1);

    FrameBuffer* pinned = exchange.pin_current(&handle);
    EXPECT_TRUE(exchange.end(&handle));
    EXPECT_FALSE(exchange.end(&handle));
    EXPECT_FALSE(exchange.current(&handle, &frame));
    exchange.begin(&handle);
    EXPECT_NE(publish(exchange, 13), pinned);  // the pin still keeps it
    exchange.unpin(pinned);
    exchange.end(&handle);
    exchange.begin(&handle);
    EXPECT_EQ(publish(exchange, 14), first);  // everything free again: the pool's first buffer
}

TEST(FrameExchange, LargerFramesGetNewBuffersAndSmallerOnesReuseThem) {
    FrameExchange exchange;
    HandleQueue handle;
    Streaming streaming(exchange, &handle);
    FrameBuffer* small = exchange.claim(16, 16);
    exchange.discard(small);
    FrameBuffer* large = exchange.claim(64, 16);
    EXPECT_NE(large, small);
    EXPECT_GE(large->capacity, 64u);
    exchange.discard(large);
    EXPECT_EQ(exchange.claim(32, 16), large);
}

TEST(FrameExchange, InjectedFailureLosesTheFieldAndIsAskedOnlyWhenOneIsReady) {
    FrameExchange exchange;
    HandleQueue handle;
    Streaming streaming(exchange, &handle);
    int asked = 0;
    auto fail_once = [&]() -> std::optional<int> { return ++asked == 1 ? std::optional<int>(kFailed) : std::nullopt; };
    void* data = nullptr;
    EXPECT_EQ(exchange.acquire(&handle, &data, fail_once), kNoData);
    EXPECT_EQ(asked, 0);
    publish(exchange, 1);
    publish(exchange, 2);
    EXPECT_EQ(exchange.acquire(&handle, &data, fail_once), kFailed);
    ASSERT_EQ(exchange.acquire(&handle, &data, fail_once), kOk);
    EXPECT_EQ(*static_cast<uint8_t*>(data), 2);
}

TEST(FrameExchange, WaitersWakeForFramesAndForClosing) {
    FrameExchange exchange;
    HandleQueue handle;
    exchange.attach(&handle);
    EXPECT_EQ(exchange.wait(&handle, 0), WaitOutcome::handle_idle);
    exchange.begin(&handle);
    EXPECT_EQ(exchange.wait(&handle, 0), WaitOutcome::timed_out);
    std::thread producer([&] { publish(exchange, 1); });
    EXPECT_EQ(exchange.wait(&handle, 60000), WaitOutcome::field_ready);
    producer.join();
    take(exchange, &handle);
    std::thread closer([&] { exchange.detach(&handle); });
    EXPECT_EQ(exchange.wait(&handle, 60000), WaitOutcome::handle_idle);
    closer.join();
}

TEST(FrameExchange, AClosedHandlesFramesAreFreedAndTheLastCloseLeavesNone) {
    FrameExchange exchange;
    HandleQueue closing, staying;
    exchange.attach(&closing);
    exchange.attach(&staying);
    exchange.begin(&closing);
    publish(exchange, 1);  // closing's alone
    exchange.begin(&staying);
    publish(exchange, 2);  // both handles'
    void* own = nullptr;
    ASSERT_EQ(exchange.acquire(&closing, &own), kOk);
    ASSERT_EQ(exchange.update(&closing, own), kOk);
    const size_t before = exchange.buffer_count();
    exchange.detach(&closing);
    EXPECT_EQ(exchange.buffer_count(), before - 1) << "frame 2 still waits for the other handle";
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_TRUE(__asan_address_is_poisoned(own)) << "a reader of the closed handle's frame is caught";
#endif
    // The producer is busy as the last handle closes, and keeps its newest
    // complete frame: each buffer goes when the producer lets go of it.
    FrameBuffer* writing = exchange.claim(16, 16);
    ASSERT_NE(writing, nullptr);
    FrameBuffer* kept = publish(exchange, 3);
    exchange.retain(kept);
    exchange.detach(&staying);
    EXPECT_EQ(exchange.buffer_count(), 2u);
    exchange.discard(writing);
    EXPECT_EQ(exchange.buffer_count(), 1u);
    exchange.unpin(kept);
    EXPECT_EQ(exchange.buffer_count(), 0u);
}

TEST(FrameExchange, IncompleteFramesAreReportedAsSuch) {
    FrameExchange exchange;
    HandleQueue handle;
    Streaming streaming(exchange, &handle);
    EXPECT_FALSE(exchange.current_complete(&handle));
    for (bool complete : {true, false}) {
        FrameBuffer* buffer = exchange.claim(16, 16);
        FrameFacts facts;
        facts.complete = complete;
        exchange.publish(buffer, facts);
        void* data = nullptr;
        ASSERT_EQ(exchange.acquire(&handle, &data), kOk);
        ASSERT_EQ(exchange.update(&handle, data), kOk);
        EXPECT_EQ(exchange.current_complete(&handle), complete);
    }
}

TEST(HandleRegistry, KeysAreNeverReusedAndForeignKeysAreNotFound) {
    HandleRegistry<int> registry(0x1000);
    void* first = registry.add(std::make_shared<int>(1));
    ASSERT_NE(registry.find(first), nullptr);
    EXPECT_EQ(*registry.find(first), 1);
    EXPECT_EQ(registry.find(reinterpret_cast<void*>(-1)), nullptr);
    EXPECT_EQ(registry.find(nullptr), nullptr);
    auto removed = registry.remove(first);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(registry.remove(first), nullptr);
    void* second = registry.add(std::make_shared<int>(2));
    EXPECT_NE(second, first);
    EXPECT_EQ(registry.find(first), nullptr);
    EXPECT_EQ(registry.size(), 1);
    EXPECT_EQ(*removed, 1);  // a handle removed while in use stays alive
}

}  // namespace
