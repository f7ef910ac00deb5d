// The visitor count: exact up to its limit, then held there, in bounded memory.
#include "server/visitor_set.h"

#include <gtest/gtest.h>

namespace {

TEST(VisitorSetTest, EachAddressCountsOnce) {
  VisitorSet visitors;
  for (const std::uint32_t address : {0x7F000001u, 0u, 0xC0A80001u, 0xC0A80002u}) {
    EXPECT_TRUE(visitors.Add(address));
    EXPECT_FALSE(visitors.Add(address));
  }
  EXPECT_EQ(visitors.Count(), 4u);
}

// A busy network's addresses, 16 for every one that is counted, sweep far
// past the limit: the count stops there and says so, the table stays within
// its bound, and every address seen before the limit is still known, those
// that made the table grow too.
TEST(VisitorSetTest, CountIsExactUpToTheLimitAndTheTableBounded) {
  VisitorSet visitors;
  const std::uint32_t base = 0x0A000000;  // 10.0.0.0
  for (std::uint32_t i = 1; i <= VisitorSet::kLimit; ++i) {
    ASSERT_TRUE(visitors.Add(base + i * 16)) << i;
  }
  for (std::uint32_t i = 1; i <= VisitorSet::kLimit; ++i) {
    ASSERT_FALSE(visitors.Add(base + i * 16)) << i;
  }
  EXPECT_EQ(visitors.Count(), VisitorSet::kLimit);
  EXPECT_FALSE(visitors.Capped());
  for (std::uint32_t i = 1; i <= 5 * VisitorSet::kLimit; ++i) visitors.Add(base + i * 16 + 1);
  EXPECT_EQ(visitors.Count(), VisitorSet::kLimit);
  EXPECT_TRUE(visitors.Capped());
  EXPECT_LE(visitors.TableBytes(), 512u * 1024);
  EXPECT_FALSE(visitors.Add(base + 16));
}

}  // namespace
