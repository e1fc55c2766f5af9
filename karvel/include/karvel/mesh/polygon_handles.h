#pragma once

#include <ostream>

#include <karvel/basic/common.h>

namespace karvel {

// Local edge i of a polygon joins its local vertices i and (i + 1) mod n.
struct PolygonEdge {
  PolygonEdge() = default;
  PolygonEdge(index_t polygon, local_index_t edge) : polygon_id{polygon}, edge_id{edge} {}

  index_t polygon_id{NO_ID};
  local_index_t edge_id{NO_LID};

  friend bool operator==(const PolygonEdge& a, const PolygonEdge& b) {
    return a.polygon_id == b.polygon_id && a.edge_id == b.edge_id;
  }
  friend bool operator!=(const PolygonEdge& a, const PolygonEdge& b) { return !(a == b); }
  friend std::ostream& operator<<(std::ostream& out, const PolygonEdge& edge) {
    return out << "(polygon " << edge.polygon_id << ", edge "
               << static_cast<unsigned>(edge.edge_id) << ")";
  }
};

// Local vertex i of a polygon.
struct PolygonVertex {
  PolygonVertex() = default;
  PolygonVertex(index_t polygon, local_index_t vertex)
      : polygon_id{polygon}, vertex_id{vertex} {}

  index_t polygon_id{NO_ID};
  local_index_t vertex_id{NO_LID};

  friend bool operator==(const PolygonVertex& a, const PolygonVertex& b) {
    return a.polygon_id == b.polygon_id && a.vertex_id == b.vertex_id;
  }
};

}  // namespace karvel
