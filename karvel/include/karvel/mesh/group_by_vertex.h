#pragma once

#include <vector>

#include <karvel/basic/common.h>

namespace karvel::detail {

// Items grouped by the vertex they are at: those of vertex v are
// items[first[v]] .. items[first[v + 1] - 1], in the order they were given.
template <typename Item>
struct ItemsAtVertices {
  std::vector<index_t> first;
  std::vector<Item> items;
};

// A counting sort, linear in the number of items. `for_each(visit)` must call
// visit(vertex, item) for every item, the same sequence each time (it runs twice).
template <typename Item, typename ForEach>
ItemsAtVertices<Item> group_by_vertex(index_t nb_vertices, const ForEach& for_each) {
  ItemsAtVertices<Item> grouped;
  grouped.first.assign(static_cast<std::size_t>(nb_vertices) + 1, 0);
  for_each([&grouped](index_t vertex, const Item&) { ++grouped.first[vertex + 1]; });
  for (index_t v = 0; v < nb_vertices; ++v) grouped.first[v + 1] += grouped.first[v];
  grouped.items.resize(grouped.first.back());
  std::vector<index_t> fill(grouped.first.begin(), grouped.first.end() - 1);
  for_each([&grouped, &fill](index_t vertex, const Item& item) {
    grouped.items[fill[vertex]++] = item;
  });
  return grouped;
}

}  // namespace karvel::detail
