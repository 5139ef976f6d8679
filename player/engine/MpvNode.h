#pragma once
// Reading libmpv's node trees (property values and command results).

#include <mpv/client.h>

#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
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

// A changed property's value, or the fallback when it has none of that type.
inline bool flagOf(const mpv_event_property& p) {
  return p.data && p.format == MPV_FORMAT_FLAG && *static_cast<int*>(p.data);
}
inline double realOf(const mpv_event_property& p, double fallback) {
  return p.data && p.format == MPV_FORMAT_DOUBLE ? finiteOr(*static_cast<double*>(p.data), fallback)
                                                 : fallback;
}
inline std::int64_t integerOf(const mpv_event_property& p) {
  return p.data && p.format == MPV_FORMAT_INT64 ? *static_cast<std::int64_t*>(p.data) : 0;
}
inline QString stringOf(const mpv_event_property& p) {
  return p.data && p.format == MPV_FORMAT_STRING ? QString::fromUtf8(*static_cast<char**>(p.data))
                                                 : QString();
}

// What demuxer-cache-state tells of a download: whether it is loaded to its
// end (when it says), and the seconds from the start that are buffered.
struct CacheState {
  std::optional<bool> eof;
  double end = 0;
};

inline CacheState readCacheState(const mpv_node& state) {
  CacheState out;
  if (const mpv_node* eof = member(state, "eof"); eof && eof->format == MPV_FORMAT_FLAG)
    out.eof = eof->u.flag != 0;
  double end = finiteOr(number(member(state, "cache-end")).value_or(0), 0);
  if (const mpv_node* ranges = member(state, "seekable-ranges");
      ranges && ranges->format == MPV_FORMAT_NODE_ARRAY && ranges->u.list) {
    for (int i = 0; i < ranges->u.list->num; ++i)
      end =
          std::max(end, finiteOr(number(member(ranges->u.list->values[i], "end")).value_or(0), 0));
  }
  out.end = std::max(0.0, end);
  return out;
}

}  // namespace quillet::player
