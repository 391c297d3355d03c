// The platform queue as the request loop uses it: one producer, one consumer.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "pal.h"

namespace {

using namespace std::chrono_literals;

class Queue {
public:
    explicit Queue(uint32_t depth) { PalQueueCreate(&m_queue, "TestQueue", sizeof(int), depth, m_storage); }
    ~Queue() { PalQueueDelete(&m_queue); }
    void Send(int value, uint32_t flag = 0) { PalQueueSend(&m_queue, &value, -1, flag); }
    int Receive() {
        int value = 0;
        PalQueueReceive(&m_queue, &value, -1);
        return value;
    }
    std::vector<int> Drain(size_t n) {
        std::vector<int> out;
        while (out.size() < n) out.push_back(Receive());
        return out;
    }

private:
    PalQueue m_queue{};
    int m_storage[8] = {};
};

TEST(PalQueue, FirstInFirstOutUnlessFlagged) {
    Queue q(4);
    q.Send(1);
    q.Send(2);
    q.Send(9, 1);
    EXPECT_EQ(q.Drain(3), (std::vector<int>{9, 1, 2}));
    // Again across the end of the storage, with the queue full.
    for (int v : {3, 4, 5}) q.Send(v);
    EXPECT_EQ(q.Receive(), 3);
    q.Send(6);
    q.Send(7, 1);
    EXPECT_EQ(q.Drain(4), (std::vector<int>{7, 4, 5, 6}));
}

TEST(PalQueue, ReceiverWaitsForAnItem) {
    Queue q(2);
    auto received = std::async(std::launch::async, [&] { return q.Receive(); });
    EXPECT_EQ(received.wait_for(50ms), std::future_status::timeout);
    q.Send(42);
    ASSERT_EQ(received.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(received.get(), 42);
}

TEST(PalQueue, FullQueueHoldsTheSenderUntilAnItemIsTaken) {
    Queue q(2);
    q.Send(1);
    q.Send(2);
    std::promise<void> sending;
    auto sent = std::async(std::launch::async, [&] {
        sending.set_value();
        q.Send(3);
    });
    sending.get_future().wait();
    EXPECT_EQ(sent.wait_for(50ms), std::future_status::timeout);
    EXPECT_EQ(q.Receive(), 1);
    ASSERT_EQ(sent.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(q.Drain(2), (std::vector<int>{2, 3}));
}

}  // namespace
