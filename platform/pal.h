// The platform library the daemon is written against: queues, threads, sleep.
//
// Built with SIM7100_BOARD_PAL the board's own libpal header and library are
// used instead; the calls and their argument orders are the same.
#pragma once

#ifdef SIM7100_BOARD_PAL
#include <libpal.h>
#else

#include <pthread.h>

#include <cstdint>

struct PalQueue {
    pthread_mutex_t lock;
    pthread_cond_t notEmpty;
    pthread_cond_t notFull;
    unsigned char* storage;
    uint32_t itemSize;
    uint32_t depth;
    uint32_t head;
    uint32_t count;
    const char* name;
};

struct PalThread {
    pthread_t handle;
    const char* name;
};

using PalThreadEntry = uintptr_t (*)(void* argument);

// timeoutMs: -1 waits without limit, 0 only tries.  flag 1 puts the item at
// the front of the queue (an urgent item overtakes the ones waiting).
int PalQueueCreate(PalQueue* queue, const char* name, uint32_t itemSize, uint32_t depth, void* storage);
int PalQueueSend(PalQueue* queue, const void* item, int32_t timeoutMs, uint32_t flag);
int PalQueueReceive(PalQueue* queue, void* item, int32_t timeoutMs);
int PalQueueDelete(PalQueue* queue);

// priority and options are accepted for the board's sake; POSIX threads here
// run with the default policy.
int PalThreadCreate(PalThread* thread, const char* name, PalThreadEntry entry, void* argument, uint32_t stackSize,
                    void* stack, int32_t priority, uint32_t options);
int PalThreadJoin(PalThread* thread, uint32_t options, int32_t timeoutMs);
int PalThreadDelete(PalThread* thread);

// Ends early once the process has been asked to exit (see process_exit.h), so a
// signal never waits for a sleep to run out.
void PalThreadSleep(uint32_t ms);

#endif
