// The AS table the build makes from the open data, asked about networks
// whose AS is common knowledge.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "asn/as_table.h"

namespace hs::asn {
namespace {

TEST(ShippedTable, KnowsWellKnownNetworksOnThreeContinents) {
  const AsLookup lookup(std::string(HOPSIGHT_DATA_DIR) + "/ASN.idx");
  struct Known {
    const char* address;
    uint32_t asn;
    const char* nameHas;
  };
  for (const Known& k : {Known{"8.8.8.8", 15169, "Google"},         // a large US company's public resolver
                         Known{"62.157.140.133", 3320, "Telekom"},  // Deutsche Telekom
                         Known{"193.0.6.139", 3333, "RIPE"},        // the RIPE NCC's own network
                         Known{"210.130.0.1", 2497, "Internet Initiative Japan"},  // IIJ
                         Known{"133.1.1.1", 4730, "Osaka"}}) {
    const std::optional<AsInfo> as = lookup.Find(inet_addr(k.address));
    ASSERT_TRUE(as) << k.address << ": " << lookup.Error();
    EXPECT_EQ(as->asn, k.asn) << k.address;
    EXPECT_NE(std::string(as->name).find(k.nameHas), std::string::npos) << k.address << ": " << as->name;
  }
  // Special space has none whatever the data says.
  EXPECT_FALSE(lookup.Find(inet_addr("198.18.1.2")));
}

}  // namespace
}  // namespace hs::asn
