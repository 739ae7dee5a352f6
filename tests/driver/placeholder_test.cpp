#include <gtest/gtest.h>

TEST(driver_placeholder, builds) { SUCCEED(); }
