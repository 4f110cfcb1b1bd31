#include "devices/port_keys.h"

#include <gtest/gtest.h>

#include <map>

namespace ra03v {
namespace {

TEST(PortKeys, TablesAndPositions) {
  ASSERT_EQ(20u, PortValueTable("ComNumber").size());
  EXPECT_EQ(16, PortValueIndex("comnumber", 101));
  EXPECT_EQ(19, PortValueIndex("ComNumber", 901));
  EXPECT_EQ(-1, PortValueIndex("ComNumber", 17));
  EXPECT_EQ(9, PortValueIndex("Baud", 28800));
  EXPECT_EQ(4, PortValueIndex("Baud", 9600));
  EXPECT_EQ(3, PortValueIndex("DataBits", 5));
  EXPECT_EQ(1, PortValueIndex("StopBits", 1));
  EXPECT_EQ(0, PortValueIndex("StopBits", 2));
  EXPECT_EQ(2, PortTableValue("StopBits", 0));
  EXPECT_EQ(115200, PortTableValue("Baud", 0));
  EXPECT_FALSE(PortTableValue("Baud", -1));
  EXPECT_FALSE(PortTableValue("Baud", 10));
  EXPECT_FALSE(PortTableValue("Parity", 0));
  EXPECT_TRUE(PortValueTable("Parity").empty());

  ASSERT_EQ(21u, PortSettingKeys().size());
  EXPECT_EQ("ComNumber", PortSettingKeys().front());
  EXPECT_EQ("IsOpen", PortSettingKeys()[19]);
  EXPECT_EQ("NetworkPrinterName", PortSettingKeys().back());
}

TEST(PortKeys, NormalizeTakesTheCurrentValueAndTurnsNumbersIntoPositions) {
  std::map<std::string, std::string, std::less<>> properties{
      {"ComNumber", "901"}, {"StopBits", "1"}, {"Parity", ""}, {"InSize", ""}};
  const auto current = [&](std::string_view key) {
    const auto found = properties.find(key);
    return found == properties.end() ? std::string() : found->second;
  };

  std::string value;
  NormalizePortValue("ComNumber", value, current);
  EXPECT_EQ("19", value);
  value = "5";
  NormalizePortValue("ComNumber", value, current);  // a given value wins
  EXPECT_EQ("4", value);
  value = "";
  NormalizePortValue("StopBits", value, current);
  EXPECT_EQ("1", value);
  value = "2";
  NormalizePortValue("stopbits", value, current);
  EXPECT_EQ("0", value);
  value = "250000";
  NormalizePortValue("Baud", value, current);
  EXPECT_EQ("-1", value);
  value = "";
  NormalizePortValue("Parity", value, current);  // still empty: left alone
  EXPECT_EQ("", value);
  value = "3";
  NormalizePortValue("Parity", value, current);  // no table: the number as is
  EXPECT_EQ("3", value);
  value = "";
  NormalizePortValue("InSize", value, [](std::string_view) { return std::string("1024"); });
  EXPECT_EQ("", value);  // not a key of the port table
  value = "abc";
  EXPECT_THROW(NormalizePortValue("Baud", value, current), std::exception);
  value = "abc";
  NormalizePortValue("IsOpen", value, current);
  EXPECT_EQ("abc", value);
}

}  // namespace
}  // namespace ra03v
