// The AS table the build makes from the open data, asked about networks
// whose AS is common knowledge.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "asn/as_table.h"

namespace hs::asn {
namespace {

class ShippedTable : public testing::Test {
 protected:
  static void SetUpTestSuite() { lookup_ = new AsLookup(std::string(HOPSIGHT_DATA_DIR) + "/ASN.idx"); }
  static void TearDownTestSuite() { delete lookup_; }
  static std::optional<AsInfo> Find(const char* dotted) { return lookup_->Find(inet_addr(dotted)); }
  static AsLookup* lookup_;
};
AsLookup* ShippedTable::lookup_ = nullptr;

TEST_F(ShippedTable, IsThereAndHoldsTheWholeRoutingTable) {
  ASSERT_TRUE(lookup_->Available()) << lookup_->Error();
}

TEST_F(ShippedTable, KnowsWellKnownNetworksOnThreeContinents) {
  ASSERT_TRUE(lookup_->Available()) << lookup_->Error();
  struct Known {
    const char* address;
    uint32_t asn;
    const char* nameHas;
  };
  for (const Known& k : {Known{"8.8.8.8", 15169, "Google"},         // a large US company's public resolver
                         Known{"8.8.4.4", 15169, "Google"},
                         Known{"62.157.140.133", 3320, "Telekom"},  // Deutsche Telekom
                         Known{"193.0.6.139", 3333, "RIPE"},        // the RIPE NCC's own network
                         Known{"210.130.0.1", 2497, "Internet Initiative Japan"},  // IIJ
                         Known{"133.1.1.1", 4730, "Osaka"}}) {
    const std::optional<AsInfo> as = Find(k.address);
    ASSERT_TRUE(as) << k.address;
    EXPECT_EQ(as->asn, k.asn) << k.address;
    EXPECT_NE(std::string(as->name).find(k.nameHas), std::string::npos) << k.address << ": " << as->name;
  }
}

TEST_F(ShippedTable, PrivateTestAndReservedAddressesHaveNone) {
  for (const char* a : {"10.1.2.3", "192.168.0.1", "172.16.5.4", "100.64.0.1", "127.0.0.1", "169.254.1.1",
                        "198.18.1.2", "192.0.2.1", "198.51.100.7", "203.0.113.9", "224.0.0.1", "240.0.0.1"})
    EXPECT_FALSE(Find(a)) << a;
}

}  // namespace
}  // namespace hs::asn
