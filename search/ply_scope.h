// Counts one ply down the tree for the lifetime of a node, so that every
// way out of the node gives the ply back.
#pragma once

#include <cstdint>

struct PlyScope {
  int16_t& ply;
  explicit PlyScope(int16_t& p) : ply(p) { ++ply; }
  ~PlyScope() { --ply; }
  PlyScope(const PlyScope&) = delete;
  PlyScope& operator=(const PlyScope&) = delete;
};
