#pragma once

#include <algorithm>
#include <tuple>
#include <utility>

#include <absl/container/inlined_vector.h>

namespace hollent {

// A map of a few entries kept in insertion order in inline storage: a split touches one
// to a handful of components, where a linear search beats hashing and a typical result
// allocates nothing.
template <typename Key, typename Value, std::size_t N = 1>
class SmallMap {
 public:
  using value_type = std::pair<Key, Value>;
  using const_iterator = typename absl::InlinedVector<value_type, N>::const_iterator;

  Value& operator[](const Key& key) {
    const auto found =
        std::find_if(entries_.begin(), entries_.end(),
                     [&key](const value_type& entry) { return entry.first == key; });
    if (found != entries_.end()) return found->second;
    // Built in place: moving an empty absl::InlinedVector trips GCC 12's
    // maybe-uninitialized warning.
    entries_.emplace_back(std::piecewise_construct, std::forward_as_tuple(key),
                          std::forward_as_tuple());
    return entries_.back().second;
  }
  const_iterator find(const Key& key) const {
    return std::find_if(entries_.begin(), entries_.end(),
                        [&key](const value_type& entry) { return entry.first == key; });
  }
  bool contains(const Key& key) const { return find(key) != end(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

 private:
  absl::InlinedVector<value_type, N> entries_;
};

}  // namespace hollent
