#include "flatten/collisions.h"

#include <cstdint>

#include "absl/container/flat_hash_map.h"
#include "absl/container/inlined_vector.h"
#include "tape/json_text.h"

namespace plyfold {

void group_and_write(const std::vector<FlatEntry>& entries, bool handle_key_collision,
                     std::string& out) {
  out.clear();
  if (entries.empty()) {
    out = "{}";
    return;
  }
  // Positions of each distinct key's entries; most keys occur once.
  absl::flat_hash_map<std::string_view, absl::InlinedVector<uint32_t, 1>> index;
  index.reserve(entries.size());
  std::vector<uint32_t> first_occurrence;
  first_occurrence.reserve(entries.size());
  size_t total = 2;
  for (uint32_t i = 0; i < entries.size(); ++i) {
    auto [it, inserted] = index.try_emplace(entries[i].key);
    if (inserted) first_occurrence.push_back(i);
    it->second.push_back(i);
    total += entries[i].key.size() + entries[i].value.size() + 6;
  }
  out.reserve(total);
  out += '{';
  for (uint32_t first : first_occurrence) {
    if (out.size() > 1) out += ',';
    std::string_view key = entries[first].key;
    out += '"';
    append_escaped_content(out, key);
    out += "\":";
    const auto& positions = index.find(key)->second;
    if (positions.size() == 1) {
      out += entries[first].value;
    } else if (handle_key_collision) {
      out += '[';
      for (size_t k = 0; k < positions.size(); ++k) {
        if (k > 0) out += ',';
        out += entries[positions[k]].value;
      }
      out += ']';
    } else {
      out += entries[positions.back()].value;
    }
  }
  out += '}';
}

}  // namespace plyfold
