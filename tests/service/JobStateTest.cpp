#include "service/JobState.h"

#include <gtest/gtest.h>

TEST(JobStateTest, TextsAndImages) {
    EXPECT_EQ(JobStateText(2), "Доставлен успешно");
    EXPECT_EQ(JobStateText(3), "Не доставлен");
    EXPECT_EQ(JobStateText(4), "В очереди на отправку");
    EXPECT_EQ(JobStateText(6), "Недостаточно средств: пополните баланс");
    for (int s : {-1, 0, 1, 5, 7, 1000}) {
        EXPECT_EQ(JobStateText(s), "") << s;
        EXPECT_EQ(JobStateImage(false, s), 3) << s;
        EXPECT_EQ(JobStateImage(true, s), 7) << s;
    }
    EXPECT_EQ(JobStateImage(false, 2), 6);
    EXPECT_EQ(JobStateImage(false, 3), 5);
    EXPECT_EQ(JobStateImage(false, 6), 5);
    EXPECT_EQ(JobStateImage(false, 4), 4);
    EXPECT_EQ(JobStateImage(true, 2), 10);
    EXPECT_EQ(JobStateImage(true, 3), 9);
    EXPECT_EQ(JobStateImage(true, 6), 9);
    EXPECT_EQ(JobStateImage(true, 4), 8);
}
