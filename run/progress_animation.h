// The progress bar's animation during the two long steps of a test run, and
// the run's checkpoint positions. Pure arithmetic, so it is built natively too.
#pragma once

#include <stdint.h>

// Where a long step moves the bar: from start to end over the expected
// duration, measured from a start tick of the system's millisecond clock.
struct ProgressAnimation {
    int32_t start;
    int32_t end;
    uint32_t durationMs;
    uint32_t startTick;
};

// The bar positions a run passes, in run order; the bar's range is 0..100.
const int kCheckpointCount = 12;
extern const int kCheckpoints[kCheckpointCount];

// The position for the tick count now, or false once the expected duration is
// over (the bar then keeps the last position it reached). The elapsed time is
// an unsigned 32-bit difference, so it stays right across the clock's wrap.
bool AnimatedPosition(const ProgressAnimation& animation, uint32_t nowTick, int32_t* position);
