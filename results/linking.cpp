#include "results/linking.h"

#include <cerrno>

namespace kormial {

namespace {

// False with EINVAL when no copy is kept (a list where none is needed).
bool hasKeptCopy(const ReviewTarget& t, platform::Error* err)
{
    if (t.kept == nullptr || t.keptFolder == nullptr) {
        platform::setError(err, EINVAL);
        return false;
    }
    return true;
}

platform::ListedFile fileOf(const ReviewTarget& t)
{
    return {t.folder, t.row.name, t.row.state};
}

platform::ListedFile keptOf(const ReviewTarget& t)
{
    return {*t.keptFolder, t.kept->name, t.kept->state};
}

}  // namespace

std::string LinkFailureText(const platform::Error& e, std::string_view failed)
{
    if (e.code == EXDEV) {
        return "it and its kept copy lie on different file systems";
    }
    if (e.code == platform::kCannotShareBlocks) {
        return e.describe();
    }
    return std::string(failed) + ": " + e.describe();
}

bool HardLinkAction::check(const ReviewTarget& target, platform::Error* err)
{
    return hasKeptCopy(target, err) && linker_.canReplace(fileOf(target), keptOf(target), err);
}

bool HardLinkAction::act(const ReviewTarget& target, platform::Error* err)
{
    keptNow_.reset();
    return hasKeptCopy(target, err) && linker_.replace(fileOf(target), keptOf(target), keptNow_, err);
}

bool HardLinkAction::undo(const ReviewTarget& /*target*/, platform::Error* err)
{
    platform::setError(err, platform::kChangedDuringSearch);
    return false;
}

bool SharedBlocksAction::check(const ReviewTarget& target, platform::Error* err)
{
    return hasKeptCopy(target, err) && platform::canShareBlocks(fileOf(target), keptOf(target), err);
}

bool SharedBlocksAction::act(const ReviewTarget& target, platform::Error* err)
{
    return hasKeptCopy(target, err) && platform::shareBlocks(fileOf(target), keptOf(target), err);
}

}  // namespace kormial
