// The items of one formatted or list-directed write: integers, doubles,
// logicals and texts, in the order the output list gives them.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fio {

struct Item {
  enum class Kind { Int, Real, Logical, Text };
  Kind kind;
  long long i = 0;
  double d = 0.0;
  bool l = false;
  std::string_view s;

  Item(int v) : kind(Kind::Int), i(v) {}
  Item(long v) : kind(Kind::Int), i(v) {}
  Item(long long v) : kind(Kind::Int), i(v) {}
  Item(double v) : kind(Kind::Real), d(v) {}
  Item(bool v) : kind(Kind::Logical), l(v) {}
  Item(std::string_view v) : kind(Kind::Text), s(v) {}
  Item(const char* v) : kind(Kind::Text), s(v) {}
  Item(const std::string& v) : kind(Kind::Text), s(v) {}
};

// An output list.  Texts are held by reference: the strings they view must
// outlive the write.
class Items {
 public:
  Items() = default;
  Items(std::initializer_list<Item> items) : v_(items) {}
  Items& operator<<(Item it) {
    v_.push_back(it);
    return *this;
  }
  template <class T>
  Items& all(std::span<const T> values) {
    for (const T& x : values) v_.push_back(Item(x));
    return *this;
  }
  template <class T>
  Items& all(const T* values, int n) {
    return all(std::span<const T>(values, n > 0 ? static_cast<size_t>(n) : 0));
  }
  std::span<const Item> view() const { return v_; }
  size_t size() const { return v_.size(); }

 private:
  std::vector<Item> v_;
};

}  // namespace fio
