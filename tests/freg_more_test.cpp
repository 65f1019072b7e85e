// FReg beyond numbers and texts: 64-bit numbers, bytes, lists of texts,
// whether a value exists, deletions and the last failure's code.
#include <zelk/freg.h>

#include "registry_test_env.h"

namespace {

using namespace std::string_literals;
using FRegMore = zelk::test::RegistryKeyTest;

std::string Bytes(BinChar const& data) { return std::string(data, static_cast<std::size_t>(data.len())); }

TEST_F(FRegMore, TypesDeletionsAndTheLastError) {
    FReg reg(m_base, "", false);
    std::string const big(20000, 'b');
    ASSERT_TRUE(reg.SetQWORD("q", 0x123456789ull) && reg.SetBinary("bin", BinChar(big.data(), 20000)) &&
                reg.SetMultiString("multi", BinChar("a\0bc", 4)) && reg.SetDWORD("d", 5));
    EXPECT_EQ(reg.GetQWORD("q", 1) + reg.GetQWORD("d", 1), 0x12345678Aull) << "a DWORD is no QWORD";
    EXPECT_EQ(reg.GetLastErrorCode(), 1804);
    EXPECT_EQ(Bytes(reg.GetBinary("bin", BinChar())), big);
    EXPECT_EQ(Bytes(reg.GetMultiString("multi", BinChar())), "a\0bc\0"s);
    auto const* const odd = reinterpret_cast<unsigned char const*>("x\0\0y");  // the empty text ends the list
    ASSERT_EQ(zelk::os::RegSetValueExA(m_base, "odd", 0, REG_MULTI_SZ, odd, 4), 0);
    EXPECT_EQ(Bytes(reg.GetMultiString("odd", "none")) + Bytes(reg.GetBinary("odd", "none")), "x\0none"s);

    EXPECT_TRUE(reg.ValueExists("q") && reg.DeleteValue("q"));
    EXPECT_FALSE(reg.ValueExists("q") || reg.DeleteValue("q") || reg.GetLastErrorCode() != 2);
    ASSERT_EQ(zelk::test::CreateKey(m_base, "tree\\leaf"), 0);
    EXPECT_FALSE(reg.DeleteKey("tree") || reg.DeleteKey("") || reg.DeleteTree(nullptr));
    EXPECT_EQ(reg.GetLastErrorCode(), 87);
    EXPECT_TRUE(reg.DeleteKey("tree\\leaf") && FReg(m_base, "tree\\leaf", true).IsValid() && reg.DeleteTree("tree"));
    EXPECT_EQ(FReg(m_base, "tree", false).GetLastErrorCode(), 2) << "gone, and why it could not be opened";
}

}  // namespace
