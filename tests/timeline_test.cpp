#include <gtest/gtest.h>

#include "host/frame_loop.h"

TEST(Timeline, SceneChangesAtEveryBoundary) {
    const int cases[][2] = {{-5, 0}, {-1, 0}, {0, 0},   {3, 0},   {4, 1},   {7, 1},   {8, 3},
                            {11, 3}, {12, 9}, {15, 9},  {16, 2},  {25, 2},  {26, 4},  {27, 4},
                            {28, 5}, {31, 5}, {32, 8},  {37, 8},  {38, 7},  {40, 7},  {41, 7}};
    for (const auto& c : cases) EXPECT_EQ(sceneForOrder(c[0]), c[1]) << "order " << c[0];
}
