#include "tools/mkcase/cards.hpp"

#include <cstdio>

namespace mkcase {

namespace {
constexpr std::size_t kWidth = 79;
}

Cards::Cards(std::string_view group) : card_(" &" + std::string(group)) {}

void Cards::put(const std::string& piece) {
  if (card_.size() + piece.size() > kWidth) {
    cards_.push_back(card_);
    card_.clear();
  }
  card_ += piece;
}

// The key travels with its first value, so that no card ends in a bare "=".
void Cards::values(std::string_view key, const std::vector<std::string>& v) {
  std::string first = " ";
  first.append(key).append("=").append(v.empty() ? "" : v[0]).append(",");
  put(first);
  for (std::size_t k = 1; k < v.size(); ++k) put(v[k] + ",");
}

Cards& Cards::item(std::string_view key, int value) {
  values(key, {std::to_string(value)});
  return *this;
}

Cards& Cards::item(std::string_view key, std::span<const int> list) {
  std::vector<std::string> v;
  for (int x : list) v.push_back(std::to_string(x));
  values(key, v);
  return *this;
}

Cards& Cards::item(std::string_view key, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.12f", value);
  values(key, {buf});
  return *this;
}

Cards& Cards::logical(std::string_view key, bool value) {
  values(key, {value ? "T" : "F"});
  return *this;
}

Cards& Cards::text(std::string_view key, std::string_view text) {
  std::string quoted = "'";
  quoted.append(text).append("'");
  values(key, {quoted});
  return *this;
}

std::string Cards::finish() {
  cards_.push_back(card_);
  cards_.push_back(" &END");
  card_.clear();
  std::string out;
  for (const auto& c : cards_) out += c + "\n";
  cards_.clear();
  return out;
}

}  // namespace mkcase
