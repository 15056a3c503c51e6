#include "phone/pairing/private_ranges.h"

#include <gtest/gtest.h>

namespace joywire {
namespace {

// Written from the one table of ranges, as the authorities made before it carry them: a kept
// authority is still recognised as ours.
TEST(PrivateRanges, TheAuthoritysConstraintsAreThoseKeptAuthoritiesCarry) {
  EXPECT_EQ(PrivateNameConstraints(),
            "critical,permitted;IP:10.0.0.0/255.0.0.0,permitted;IP:172.16.0.0/255.240.0.0,"
            "permitted;IP:192.168.0.0/255.255.0.0,permitted;IP:127.0.0.0/255.0.0.0,"
            "permitted;DNS:localhost,permitted;DNS:local");
  EXPECT_TRUE(InPrivateRange(0xAC1FFFFF) && !InPrivateRange(0xAC200000));
}

}  // namespace
}  // namespace joywire
