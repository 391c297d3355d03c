#include "pal.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstring>

#include "process_exit.h"

namespace {

// Absolute CLOCK_REALTIME deadline for pthread_cond_timedwait.
timespec DeadlineAfter(int32_t ms) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    ts.tv_sec += ms / 1000;
    ts.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

// Waits on cond until ready() holds; false when the time-out ran out first.
template <typename Ready>
bool WaitUntil(pthread_cond_t* cond, pthread_mutex_t* lock, int32_t timeoutMs, Ready ready) {
    if (timeoutMs < 0) {
        while (!ready()) pthread_cond_wait(cond, lock);
        return true;
    }
    const timespec deadline = DeadlineAfter(timeoutMs);
    while (!ready()) {
        if (pthread_cond_timedwait(cond, lock, &deadline) == ETIMEDOUT) return ready();
    }
    return true;
}

}  // namespace

int PalQueueCreate(PalQueue* queue, const char* name, uint32_t itemSize, uint32_t depth, void* storage) {
    if (queue == nullptr || storage == nullptr || itemSize == 0 || depth == 0) return -1;
    pthread_mutex_init(&queue->lock, nullptr);
    pthread_cond_init(&queue->notEmpty, nullptr);
    pthread_cond_init(&queue->notFull, nullptr);
    queue->storage = static_cast<unsigned char*>(storage);
    queue->itemSize = itemSize;
    queue->depth = depth;
    queue->head = 0;
    queue->count = 0;
    queue->name = name;
    return 0;
}

int PalQueueSend(PalQueue* queue, const void* item, int32_t timeoutMs, uint32_t flag) {
    pthread_mutex_lock(&queue->lock);
    if (!WaitUntil(&queue->notFull, &queue->lock, timeoutMs, [queue] { return queue->count < queue->depth; })) {
        pthread_mutex_unlock(&queue->lock);
        return -1;
    }
    uint32_t slot;
    if (flag != 0) {
        queue->head = (queue->head + queue->depth - 1) % queue->depth;
        slot = queue->head;
    } else {
        slot = (queue->head + queue->count) % queue->depth;
    }
    memcpy(queue->storage + static_cast<size_t>(slot) * queue->itemSize, item, queue->itemSize);
    queue->count++;
    // Signalled after the unlock, so the woken thread does not run straight
    // into the held lock and sleep once more.
    pthread_mutex_unlock(&queue->lock);
    pthread_cond_signal(&queue->notEmpty);
    return 0;
}

int PalQueueReceive(PalQueue* queue, void* item, int32_t timeoutMs) {
    pthread_mutex_lock(&queue->lock);
    if (!WaitUntil(&queue->notEmpty, &queue->lock, timeoutMs, [queue] { return queue->count > 0; })) {
        pthread_mutex_unlock(&queue->lock);
        return -1;
    }
    memcpy(item, queue->storage + static_cast<size_t>(queue->head) * queue->itemSize, queue->itemSize);
    queue->head = (queue->head + 1) % queue->depth;
    queue->count--;
    pthread_mutex_unlock(&queue->lock);
    pthread_cond_signal(&queue->notFull);
    return 0;
}

int PalQueueDelete(PalQueue* queue) {
    pthread_cond_destroy(&queue->notFull);
    pthread_cond_destroy(&queue->notEmpty);
    pthread_mutex_destroy(&queue->lock);
    queue->count = 0;
    return 0;
}

namespace {

struct SThreadStart {
    PalThreadEntry entry;
    void* argument;
};

void* RunThread(void* start) {
    const SThreadStart s = *static_cast<SThreadStart*>(start);
    delete static_cast<SThreadStart*>(start);
    (void)s.entry(s.argument);  // the entry's value is not used by any caller
    return nullptr;
}

}  // namespace

int PalThreadCreate(PalThread* thread, const char* name, PalThreadEntry entry, void* argument, uint32_t stackSize,
                    void* stack, int32_t /*priority*/, uint32_t /*options*/) {
    thread->name = name;
    auto* start = new SThreadStart{entry, argument};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    // A stack the platform cannot use (too small for this libc) falls back to
    // a default one rather than failing the daemon.
    if (stack == nullptr || pthread_attr_setstack(&attr, stack, stackSize) != 0) {
        pthread_attr_destroy(&attr);
        pthread_attr_init(&attr);
    }
    const int rc = pthread_create(&thread->handle, &attr, RunThread, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete start;
        return -1;
    }
    pthread_setname_np(thread->handle, name);
    return 0;
}

int PalThreadJoin(PalThread* thread, uint32_t /*options*/, int32_t /*timeoutMs*/) {
    return pthread_join(thread->handle, nullptr) == 0 ? 0 : -1;
}

int PalThreadDelete(PalThread* thread) {
    thread->name = nullptr;
    return 0;
}

void PalThreadSleep(uint32_t ms) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsed = (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
        if (elapsed >= static_cast<long>(ms) || Exit::Pending()) return;
        pollfd wake{Exit::WakeFd(), POLLIN, 0};
        poll(&wake, 1, static_cast<int>(ms - elapsed));
    }
}
