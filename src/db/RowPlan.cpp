#include "db/RowPlan.h"

#include <algorithm>

namespace vireo {

void RowPlan::Start() {
    groups_.clear();
    groupOf_.clear();
    keys_.clear();
    outcomes_.clear();
}

void RowPlan::Add(std::size_t group, std::int64_t key) {
    const std::size_t at = keys_.size();
    if (group >= groups_.size()) groups_.resize(group + 1);
    Group& g = groups_[group];
    if (g.any && key <= keys_[g.lastAt]) g.rising = false;
    if (!g.any || key < keys_[g.firstAt]) g.firstAt = at;
    if (!g.any || key > keys_[g.lastAt]) g.lastAt = at;
    g.any = true;
    groupOf_.push_back(group);
    keys_.push_back(key);
}

void RowPlan::Decide() {
    for (Group& group : groups_) std::sort(group.stored.begin(), group.stored.end());
    outcomes_.resize(keys_.size());
    DecideFrom(0, {});
}

void RowPlan::Replan(std::span<const WriteResult> results, std::size_t from) { DecideFrom(from, results); }

void RowPlan::DecideFrom(std::size_t from, std::span<const WriteResult> results) {
    // Keys that rise are each met once in the batch: only the stored keys
    // count, whatever was written before. Other groups count the keys met.
    for (Group& group : groups_) {
        if (!group.rising) group.met = std::unordered_set<std::int64_t>(group.stored.begin(), group.stored.end());
    }
    for (std::size_t i = 0; i < from; ++i) {
        Group& group = groups_[groupOf_[i]];
        if (!group.rising && results[i].Written()) group.met.insert(keys_[i]);
    }
    std::vector<std::size_t> walked(groups_.size(), 0);
    for (std::size_t i = from; i < keys_.size(); ++i) {
        Group& group = groups_[groupOf_[i]];
        const std::int64_t key = keys_[i];
        bool exists = false;
        if (group.rising) {
            std::size_t& at = walked[groupOf_[i]];
            while (at < group.stored.size() && group.stored[at] < key) ++at;
            exists = at < group.stored.size() && group.stored[at] == key;
        } else {
            exists = !group.met.insert(key).second;
        }
        outcomes_[i] = exists ? WriteOutcome::Updated : WriteOutcome::Inserted;
    }
}

}  // namespace vireo
