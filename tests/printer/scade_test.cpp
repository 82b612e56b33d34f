#include <gtest/gtest.h>

#include <string>

#include "base/channel.hpp"
#include "base/options.hpp"
#include "printer/lustre_writer.hpp"

namespace vorquel {
namespace {

// Writers of both dialects over one run's table (they write nowhere here).
class Scade_test : public ::testing::Test {
 protected:
  std::string build_ident(std::string_view text) { return scade_.build_ident(text); }
  std::string build_ident(std::string_view prefix, const Ident& id, std::string_view suffix) {
    return scade_.build_ident(prefix, id, suffix);
  }
  std::string give_short_name(const std::string& s) { return names_.give_short_name(s); }

  Short_names names_;
  Lustre_writer scade_{std_out(), Dialect::Scade, names_};
  Lustre_writer lustre_{std_out(), Dialect::Lustre, names_};
};

std::string letters(std::size_t n, char c = 'a') { return std::string(n, c); }

TEST_F(Scade_test, ShortensFromThirtyOneCharactersWithARunWideCounter) {
  std::string thirty = letters(30);
  EXPECT_EQ(build_ident(thirty), thirty);
  EXPECT_EQ(build_ident("", Ident(thirty), ""), thirty);

  std::string first = letters(31, 'x');
  std::string second = letters(40, 'y');
  EXPECT_EQ(build_ident(first), letters(29, 'x') + "0");
  EXPECT_EQ(build_ident(second), letters(29, 'y') + "1");
  // The same text keeps its short form.
  EXPECT_EQ(build_ident(first), letters(29, 'x') + "0");
  // Prefix and suffix count in the length and in the key.
  const std::string z = letters(26, 'z');
  EXPECT_EQ(build_ident("_", Ident(z), "_clk"), "_" + z + "_c2");
  EXPECT_EQ(build_ident("_" + z + "_clk"), "_" + z + "_c2");
}

TEST_F(Scade_test, CounterWithTwoDigitsKeepsTwentyEightCharacters) {
  for (int i = 0; i < 10; ++i) {
    std::string s = letters(35, static_cast<char>('a' + i));
    EXPECT_EQ(build_ident(s).size(), 30u);
  }
  std::string eleventh = letters(35, 'q');
  EXPECT_EQ(build_ident(eleventh), letters(28, 'q') + "10");
  EXPECT_EQ(give_short_name(letters(50, 'r')), letters(28, 'r') + "11");
}

TEST_F(Scade_test, LustreDialectNeverShortens) {
  std::string hundred = letters(100);
  EXPECT_EQ(lustre_.build_ident(hundred), hundred);
  EXPECT_EQ(lustre_.build_ident("pre_", Ident::dot("K", Ident(hundred)), "_dft"), "pre_K_" + hundred + "_dft");
  // Nothing was counted: the first SCADE shortening still gets 0.
  EXPECT_EQ(build_ident(hundred), letters(29) + "0");
}

}  // namespace
}  // namespace vorquel
