// Review actions that give a duplicate's space back while every path stays:
// its name replaced by a hard link to the kept copy, or its blocks shared
// with the kept copy's. Both act on the Duplicates list only, and only with
// a kept copy: a file without one stays.
#pragma once

#include "platform/links.h"
#include "results/review.h"

namespace kormial {

// Why a file was not linked: the reasons both actions share, else
// `failed` and the system's description.
std::string LinkFailureText(const platform::Error& e, std::string_view failed);

// The marked file's name becomes a hard link to the kept copy: one file
// under both names from then on, with one content, owner, permissions and
// times.
class HardLinkAction final : public ReviewAction {
public:
    // `linker` does the linking (a test puts in one with a hand in it).
    explicit HardLinkAction(platform::HardLinker* linker = nullptr) : linker_(linker ? *linker : own_) {}
    HardLinkAction(const HardLinkAction&) = delete;
    HardLinkAction& operator=(const HardLinkAction&) = delete;
    std::string_view fileWord(bool dryRun) const override { return dryRun ? "would link" : "linked"; }
    std::string_view totalsWords(bool dryRun) const override
    {
        return dryRun ? "would be replaced by links" : "replaced by links";
    }
    std::string failureText(const platform::Error& e) const override { return LinkFailureText(e, "Linking failed"); }
    bool check(const ReviewTarget& target, platform::Error* err) override;
    bool act(const ReviewTarget& target, platform::Error* err) override;
    // The file's own name went only after its kept copy was looked at:
    // nothing is left to put back.
    bool undo(const ReviewTarget& target, platform::Error* err) override;
    bool needsKeptCopy() const override { return true; }
    std::optional<platform::FileState> keptCopyNow() const override { return keptNow_; }

private:
    platform::HardLinker own_;
    platform::HardLinker& linker_;
    std::optional<platform::FileState> keptNow_;
};

// The marked file's blocks are shared with the kept copy's: it keeps its
// name, inode, owner, permissions and times, and writing to either later
// writes to that file alone.
class SharedBlocksAction final : public ReviewAction {
public:
    std::string_view fileWord(bool dryRun) const override { return dryRun ? "would share" : "shared"; }
    std::string_view totalsWords(bool dryRun) const override
    {
        return dryRun ? "would share blocks with their kept copies" : "now share blocks with their kept copies";
    }
    std::string failureText(const platform::Error& e) const override
    {
        return LinkFailureText(e, "Sharing blocks failed");
    }
    bool check(const ReviewTarget& target, platform::Error* err) override;
    bool act(const ReviewTarget& target, platform::Error* err) override;
    // The file kept its bytes: nothing to put back.
    bool undo(const ReviewTarget&, platform::Error*) override { return true; }
    bool bytesMayGo() const override { return false; }
    bool needsKeptCopy() const override { return true; }
};

}  // namespace kormial
