#include "flatten/collisions.h"

#include <cstdint>

#include "absl/container/flat_hash_map.h"
#include "tape/json_text.h"

namespace plyfold {
namespace {

constexpr uint32_t kNoEntry = UINT32_MAX;

// Entries grouped by key: each distinct key is a group, in order of first
// occurrence; a group's entries are chained in walk order.
struct KeyGroups {
  std::vector<uint32_t> head;  // per group: its first entry
  std::vector<uint32_t> tail;  // per group: its last entry
  std::vector<uint32_t> next;  // per entry: the next entry of its group
};

KeyGroups group_entries(const std::vector<FlatEntry>& entries) {
  KeyGroups groups;
  groups.next.assign(entries.size(), kNoEntry);
  absl::flat_hash_map<std::string_view, uint32_t> group_of;
  group_of.reserve(entries.size());
  for (uint32_t i = 0; i < entries.size(); ++i) {
    auto [it, inserted] =
        group_of.try_emplace(entries[i].key, static_cast<uint32_t>(groups.head.size()));
    if (inserted) {
      groups.head.push_back(i);
      groups.tail.push_back(i);
    } else {
      uint32_t& tail = groups.tail[it->second];
      groups.next[tail] = i;
      tail = i;
    }
  }
  return groups;
}

}  // namespace

void group_and_write(const std::vector<FlatEntry>& entries, bool handle_key_collision,
                     std::string& out) {
  out.clear();
  if (entries.empty()) {
    out = "{}";
    return;
  }
  const KeyGroups groups = group_entries(entries);
  size_t total = 2;
  for (const FlatEntry& entry : entries) total += entry.key.size() + entry.value.size() + 6;
  out.reserve(total);
  out += '{';
  for (size_t g = 0; g < groups.head.size(); ++g) {
    const uint32_t first = groups.head[g];
    if (g > 0) out += ',';
    out += '"';
    append_escaped_content(out, entries[first].key);
    out += "\":";
    if (groups.next[first] == kNoEntry) {
      out += entries[first].value;
    } else if (handle_key_collision) {
      out += '[';
      for (uint32_t i = first; i != kNoEntry; i = groups.next[i]) {
        if (i != first) out += ',';
        out += entries[i].value;
      }
      out += ']';
    } else {
      out += entries[groups.tail[g]].value;
    }
  }
  out += '}';
}

}  // namespace plyfold
