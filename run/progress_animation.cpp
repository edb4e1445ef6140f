// Progress animation arithmetic. The share of the range is computed in single
// precision and truncated toward zero, so a range of one position only moves
// when the whole duration has passed; the step's own checkpoint moves it on.
#include "run/progress_animation.h"

const int kCheckpoints[kCheckpointCount] = {2, 3, 4, 6, 8, 10, 50, 55, 90, 94, 96, 100};

bool AnimatedPosition(const ProgressAnimation& animation, uint32_t nowTick, int32_t* position) {
    uint32_t elapsed = nowTick - animation.startTick;
    float fraction = (float)elapsed / (float)animation.durationMs;
    // Also false for a zero duration (0/0 is not a number, x/0 is infinite).
    if (!(fraction <= 1.0f)) return false;
    *position = animation.start + (int32_t)(fraction * (float)(animation.end - animation.start));
    return true;
}
