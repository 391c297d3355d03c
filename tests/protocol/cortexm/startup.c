/* Reset and fault vectors for the tests on the emulated Cortex-M4: C's
   start-up by hand (-nostartfiles), then main, its status out through
   semihosting.  A fault ends the run with status 3 instead of hanging it. */
#include <stdlib.h>
#include <string.h>

extern char data_start[], data_end[], data_load[], bss_start[], bss_end[], stack_top[];
extern int main(void);
extern void initialise_monitor_handles(void);

void reset(void) {
    memcpy(data_start, data_load, (size_t)(data_end - data_start));
    memset(bss_start, 0, (size_t)(bss_end - bss_start));
    initialise_monitor_handles();
    exit(main());
}

static void fault(void) { _Exit(3); }

/* newlib's exit runs the destructors' list, which ends in _fini; there is none. */
void _fini(void) {}

__attribute__((section(".vectors"), used)) static void (*const vectors[16])(void) = {
    (void (*)(void))stack_top, reset, fault, fault, fault, fault, fault};
