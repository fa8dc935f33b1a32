// Where the comparisons left a file: in no group, unreadable, or in the group
// of files found alike, named by the index of its leader (the member with the
// lowest index) in the record array.
#pragma once

#include <cstdint>
#include <optional>

namespace kormial {

class GroupMark {
public:
    // In no group.
    constexpr GroupMark() = default;

    static constexpr GroupMark ledBy(std::int64_t leader) { return GroupMark(static_cast<std::int32_t>(leader)); }
    static constexpr GroupMark unreadable() { return GroupMark(kUnreadable); }

    constexpr bool grouped() const { return value_ >= 0; }
    constexpr bool isUnreadable() const { return value_ == kUnreadable; }
    // The leader's index; only for a grouped file.
    constexpr std::int64_t leader() const { return value_; }
    constexpr bool isLedBy(std::int64_t index) const { return value_ >= 0 && value_ == index; }

    // The number the "#" column shows: the leader's index, -1 for a file in
    // no group, -3 for a file that could not be read.
    constexpr std::int64_t number() const { return value_; }
    // The mark a shown number stands for; nothing for a number no search
    // gives.
    static constexpr std::optional<GroupMark> fromNumber(std::int64_t number)
    {
        if (number == kNone || number == kUnreadable || (number >= 0 && number <= INT32_MAX)) {
            return GroupMark(static_cast<std::int32_t>(number));
        }
        return std::nullopt;
    }

    // Equal marks name the same group; marks order as their numbers.
    constexpr bool operator==(const GroupMark&) const = default;
    constexpr bool operator<(const GroupMark& other) const { return value_ < other.value_; }

private:
    static constexpr std::int32_t kNone = -1;
    static constexpr std::int32_t kUnreadable = -3;
    explicit constexpr GroupMark(std::int32_t value) : value_(value) {}
    std::int32_t value_ = kNone;
};

inline constexpr GroupMark kNoGroup{};
inline constexpr GroupMark kReadError = GroupMark::unreadable();

}  // namespace kormial
