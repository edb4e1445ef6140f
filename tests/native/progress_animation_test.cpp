// The bar's animation during the long steps: where it stands over time, how
// it stops at the end of the expected duration, and the clock's wrap.
#include "run/progress_animation.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int PositionAt(const ProgressAnimation& animation, uint32_t elapsedMs, bool* moved) {
    int32_t position = -1;
    *moved = AnimatedPosition(animation, animation.startTick + elapsedMs, &position);
    return position;
}

TEST(ProgressAnimation, DirectXStepStaysAtTwoUntilTheWholeDurationHasPassed) {
    ProgressAnimation dx = {2, 3, 40000, 5000};
    bool moved = false;
    EXPECT_EQ(2, PositionAt(dx, 0, &moved));
    EXPECT_TRUE(moved);
    EXPECT_EQ(2, PositionAt(dx, 39999, &moved));
    EXPECT_EQ(3, PositionAt(dx, 40000, &moved));
    EXPECT_TRUE(moved);
    PositionAt(dx, 40001, &moved);
    EXPECT_FALSE(moved) << "past the duration the bar keeps its last position";
}

TEST(ProgressAnimation, RouteStepRisesOnePositionEvery102Seconds) {
    ProgressAnimation route = {50, 55, 510000, 123456};
    bool moved = false;
    std::vector<int> positions;
    for (uint32_t seconds = 0; seconds <= 510; seconds += 51) positions.push_back(PositionAt(route, seconds * 1000, &moved));
    EXPECT_EQ((std::vector<int>{50, 50, 51, 51, 52, 52, 53, 53, 54, 54, 55}), positions);
    EXPECT_EQ(50, PositionAt(route, 101999, &moved));
    EXPECT_EQ(51, PositionAt(route, 102000, &moved));
}

TEST(ProgressAnimation, ElapsedTimeIsRightAcrossTheClockWrap) {
    ProgressAnimation route = {50, 55, 510000, 0xFFFFFFFFu - 1000};
    int32_t position = -1;
    // 205 seconds after the start, the tick count has wrapped past zero.
    ASSERT_TRUE(AnimatedPosition(route, 204000u - 1001u, &position));
    EXPECT_EQ(52, position);
    // A tick before the start looks like a very long time: no change.
    position = -1;
    EXPECT_FALSE(AnimatedPosition(route, route.startTick - 1, &position));
    EXPECT_EQ(-1, position);
}

TEST(ProgressAnimation, ZeroDurationNeverMovesTheBar) {
    ProgressAnimation none = {2, 3, 0, 77};
    int32_t position = -1;
    EXPECT_FALSE(AnimatedPosition(none, 77, &position));
    EXPECT_FALSE(AnimatedPosition(none, 78, &position));
    EXPECT_EQ(-1, position);
}

TEST(ProgressAnimation, CheckpointsRiseToOneHundredInRunOrder) {
    EXPECT_EQ(2, kCheckpoints[0]);
    EXPECT_EQ(100, kCheckpoints[kCheckpointCount - 1]);
    for (int i = 1; i < kCheckpointCount; ++i) EXPECT_LT(kCheckpoints[i - 1], kCheckpoints[i]);
}

}  // namespace
