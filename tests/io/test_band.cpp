#include <gtest/gtest.h>

#include "io/Band.h"

TEST(DataCacheTest, Placeholder) { DataCache c; EXPECT_EQ(c.count(), 0u); }
