#pragma once
// Reading libmpv's node trees (property values and command results).

#include <mpv/client.h>

#include <cmath>
#include <optional>
#include <string_view>

namespace quillet::player {

inline double finiteOr(double v, double fallback) {
  return std::isfinite(v) ? v : fallback;
}

// A map's member by key; null when absent or when the node is no map.
inline const mpv_node* member(const mpv_node& map, std::string_view key) {
  if (map.format != MPV_FORMAT_NODE_MAP || !map.u.list) return nullptr;
  const mpv_node_list& list = *map.u.list;
  for (int i = 0; i < list.num; ++i)
    if (list.keys[i] && key == list.keys[i]) return &list.values[i];
  return nullptr;
}

inline std::optional<double> number(const mpv_node* node) {
  if (!node) return std::nullopt;
  if (node->format == MPV_FORMAT_DOUBLE) return node->u.double_;
  if (node->format == MPV_FORMAT_INT64) return static_cast<double>(node->u.int64);
  return std::nullopt;
}

}  // namespace quillet::player
