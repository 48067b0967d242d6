#include "imports/UserDbHelper.h"

#include <gtest/gtest.h>

TEST(UserDbHelper, OneHelperUntilReleased)
{
    UserDbHelper* first = UserDbHelper::instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(UserDbHelper::instance(), first);
    UserDbHelper::release();
    UserDbHelper::release(); // twice is harmless
    EXPECT_NE(UserDbHelper::instance(), nullptr);
    UserDbHelper::release();
}
