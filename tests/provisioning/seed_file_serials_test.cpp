// The serial keys sorted at the first lookup: every serial added is found and
// no other, whatever the number of keys and so of buckets.
#include "provisioning/seed_files/seed_file_serials.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SerialSet, FindsEveryAddedSerialAndNoOtherAtAnySize) {
  for (const int count : {0, 1, 2, 15, 16, 17, 1000, 70000}) {
    SCOPED_TRACE(count);
    SerialSet serials;
    // Added in an order that is not the keys'; twice each for half of them.
    for (int i = count - 1; i >= 0; --i) serials.Add("S" + std::to_string(i));
    for (int i = 0; i < count / 2; ++i) serials.Add("S" + std::to_string(i));
    int found = 0;
    for (int i = 0; i < count; ++i) found += serials.Contains("S" + std::to_string(i)) ? 1 : 0;
    EXPECT_EQ(found, count);
    for (int i = count; i < count + 100; ++i) EXPECT_FALSE(serials.Contains("S" + std::to_string(i)));
    EXPECT_FALSE(serials.Contains(""));
    // Adding after a lookup sorts again.
    serials.Add("late");
    EXPECT_TRUE(serials.Contains("late"));
    EXPECT_EQ(serials.Size(), static_cast<std::size_t>(count + count / 2 + 1));
  }
}

}  // namespace
