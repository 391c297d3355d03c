// The platform queue's order: first in, first out, flagged items first.  A
// full queue holding its sender is shown by the pipelined link tests.
#include <gtest/gtest.h>

#include <vector>

#include "pal.h"

namespace {

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

}  // namespace
