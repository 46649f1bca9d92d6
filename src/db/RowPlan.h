#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_set>
#include <vector>

#include "db/DataWriter.h"

namespace vireo {

/// The plan of a batch: whether each value inserts its row or updates one.
/// A value updates when its key (group and time tag key) had a row before
/// the batch or an earlier value of the batch wrote it; the first value of a
/// key without a row inserts it. The groups are the batch's station sensors,
/// numbered from 0 by the caller.
///
/// Where a group's keys rise value after value (a log read in time order,
/// its batch in key order) the outcomes come from one walk along its sorted
/// stored keys; otherwise from a set of the keys met.
class RowPlan {
public:
    /// Starts a batch, forgetting the one before.
    void Start();
    /// The next value of the batch: its group and its key.
    void Add(std::size_t group, std::int64_t key);
    /// A key of `group` (one of the values' groups) that has a row before the
    /// batch; in any order, once or more.
    void AddStored(std::size_t group, std::int64_t key) { groups_[group].stored.push_back(key); }
    /// Gives every value its outcome, once the values and stored keys are in.
    void Decide();
    /// The values before `from` have their results, some of them not written:
    /// the outcomes from `from` on follow what was written (a value not
    /// written is no row for a later value of its key).
    void Replan(std::span<const WriteResult> results, std::size_t from);

    WriteOutcome Outcome(std::size_t value) const { return outcomes_[value]; }
    std::size_t GroupOf(std::size_t value) const { return groupOf_[value]; }
    std::int64_t Key(std::size_t value) const { return keys_[value]; }
    /// The values of `group` with its earliest and its latest key.
    std::size_t FirstAt(std::size_t group) const { return groups_[group].firstAt; }
    std::size_t LastAt(std::size_t group) const { return groups_[group].lastAt; }

private:
    struct Group {
        std::size_t firstAt = 0;
        std::size_t lastAt = 0;
        bool any = false;
        bool rising = true;
        std::vector<std::int64_t> stored;  // sorted by Decide
        std::unordered_set<std::int64_t> met;
    };
    void DecideFrom(std::size_t from, std::span<const WriteResult> results);

    std::vector<Group> groups_;
    std::vector<std::size_t> groupOf_;
    std::vector<std::int64_t> keys_;
    std::vector<WriteOutcome> outcomes_;
};

}  // namespace vireo
