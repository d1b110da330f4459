// Namelist groups as text cards, the way the CI program leaves its run
// description: " &GROUP" and key=value items on cards of at most 79 columns
// (column 80 stays blank), every card ending in a comma, values of a long list
// continuing on the next cards, and a closing card " &END".
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mkcase {

class Cards {
 public:
  explicit Cards(std::string_view group);
  Cards& item(std::string_view key, int value);
  Cards& item(std::string_view key, std::span<const int> values);
  Cards& item(std::string_view key, double value);
  Cards& logical(std::string_view key, bool value);
  // A character value, between apostrophes so that its case and blanks are
  // kept as written.
  Cards& text(std::string_view key, std::string_view text);
  // The cards, each ended by a newline, closed by " &END".
  std::string finish();

 private:
  void values(std::string_view key, const std::vector<std::string>& v);
  void put(const std::string& piece);
  std::vector<std::string> cards_;
  std::string card_;
};

}  // namespace mkcase
