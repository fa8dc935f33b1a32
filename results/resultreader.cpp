// Reading saved results back: only the rows are kept, so memory follows the
// rows, not the bytes, and a document beyond the limits is refused as soon
// as the reading gets there, which also ends an input that never ends.
#include "platform/pathopen.h"
#include "results/jsonstream.h"
#include "results/resultfile.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <map>
#include <new>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace kormial {

namespace {

// The members of a row that the reader knows, in the order formatJson
// writes them; any other member (the date, which is the last write again)
// is read over.
enum RowMember { Group, Size, Folder, FolderHex, Name, NameHex, Dev, Ino, MtimeNs, CtimeNs, FolderDev, FolderIno,
                 Reference, kRowMemberCount };
constexpr std::string_view kRowMembers[kRowMemberCount] = {
    "group", "size", "folder", "folder_hex", "name", "name_hex", "dev", "ino", "mtime_ns", "ctime_ns",
    "folder_dev", "folder_ino", "reference"};

// A row as read, before it is checked.
struct RowFields {
    ResultRow row;
    std::string folder;
    std::string folderHex;
    std::string nameHex;
    std::uint64_t dev = 0, ino = 0, folderDev = 0, folderIno = 0;
    std::int64_t group = 0;
    unsigned seen = 0;  // a bit for each RowMember read

    bool has(RowMember m) const { return (seen >> m & 1) != 0; }
};

// The document that formatJson writes, its rows kept and everything else
// read over.
class DocumentReader {
public:
    DocumentReader(const ResultSource& source, ResultList* lists, const ResultLimits& limits)
        : lists_(lists), limits_(limits),
          rowTooLong_("a row longer than " + std::to_string(limits.rowBytes) + " bytes"),
          tooFarFromRows_("more than " + std::to_string(limits.betweenRows) + " bytes outside the rows"),
          in_(source, limits.depth, limits.betweenRows, tooFarFromRows_)
    {
    }

    void document()
    {
        bool sawLists = false;
        in_.object(0, [&](const std::string& key) {
            if (key != "lists") {
                return false;
            }
            once(sawLists, key);
            in_.array(1, [&] { list(); });
            return true;
        });
        in_.end();
        if (!sawLists) {
            in_.fail("no \"lists\"");
        }
    }

private:
    void once(bool& seen, const std::string& key)
    {
        if (seen) {
            in_.fail("\"" + key + "\" twice");
        }
        seen = true;
    }

    // One list: rows that come before the list's index wait for it.
    void list()
    {
        int index = -1;
        bool sawIndex = false, sawRows = false;
        std::vector<ResultRow> early;
        in_.object(2, [&](const std::string& key) {
            if (key == "index") {
                once(sawIndex, key);
                in_.wholeNumber(index, key);
                if (index < 0 || index >= kResultListCount) {
                    in_.fail("a list whose \"index\" is not one of 0 to " + std::to_string(kResultListCount - 1));
                }
            } else if (key == "rows") {
                once(sawRows, key);
                in_.array(3, [&] {
                    ResultRow r = row();
                    if (sawIndex) {
                        placed(r, index);
                        lists_[index].add(std::move(r));
                    } else {
                        early.push_back(std::move(r));
                    }
                });
            } else {
                return false;
            }
            return true;
        });
        if (!sawIndex || !sawRows) {
            in_.fail("a list without its \"index\" or \"rows\"");
        }
        for (ResultRow& r : early) {
            placed(r, index);
            lists_[index].add(std::move(r));
        }
    }

    // Only the read errors list a folder (a name ending in "/").
    void placed(const ResultRow& r, int index) const
    {
        if (index != kListReadErrors && r.name.back() == '/') {
            in_.fail("a row whose name is not a file name");
        }
    }

    ResultRow row()
    {
        if (rows_ == limits_.rows) {
            in_.beyond("more than " + std::to_string(limits_.rows) + " rows");
        }
        ++rows_;
        in_.blank();
        in_.allow(limits_.rowBytes, rowTooLong_);
        RowFields f;
        in_.object(4, [&](const std::string& key) { return rowMember(key, f); });
        in_.allow(limits_.betweenRows, tooFarFromRows_);
        return checkedRow(f);
    }

    bool rowMember(const std::string& key, RowFields& f)
    {
        const auto m = static_cast<RowMember>(std::find(std::begin(kRowMembers), std::end(kRowMembers), key) -
                                              std::begin(kRowMembers));
        if (m == kRowMemberCount) {
            return false;
        }
        if (f.has(m)) {
            in_.fail("a row with \"" + key + "\" twice");
        }
        f.seen |= 1u << m;
        switch (m) {
        case Group: in_.wholeNumber(f.group, key); break;
        case Size: in_.wholeNumber(f.row.size, key); break;
        case Folder: in_.text(f.folder, key); break;
        case FolderHex: in_.text(f.folderHex, key); break;
        case Name: in_.text(f.row.name, key); break;
        case NameHex: in_.text(f.nameHex, key); break;
        case Dev: in_.wholeNumber(f.dev, key); break;
        case Ino: in_.wholeNumber(f.ino, key); break;
        case MtimeNs: in_.wholeNumber(f.row.state.mtimeNs, key); break;
        case CtimeNs: in_.wholeNumber(f.row.state.ctimeNs, key); break;
        case FolderDev: in_.wholeNumber(f.folderDev, key); break;
        case FolderIno: in_.wholeNumber(f.folderIno, key); break;
        case Reference: f.row.reference = in_.boolean(key); break;
        case kRowMemberCount: break;
        }
        return true;
    }

    // The row once its members are all there and make sense; its folder is
    // shared with the other rows of that folder. The change time and the
    // reference mark were added later: without them, the change time is not
    // known (0) and the row is no reference copy.
    ResultRow checkedRow(RowFields& f)
    {
        for (const RowMember m : {Group, Size, Dev, Ino, MtimeNs, FolderDev, FolderIno}) {
            if (!f.has(m)) {
                in_.fail("a row without \"" + std::string(kRowMembers[m]) + '"');
            }
        }
        if ((!f.has(Folder) && !f.has(FolderHex)) || (!f.has(Name) && !f.has(NameHex))) {
            in_.fail("a row without its \"folder\" or \"name\"");
        }
        std::string folder = f.has(FolderHex) ? fromHex(f.folderHex) : std::move(f.folder);
        ResultRow& row = f.row;
        if (f.has(NameHex)) {
            row.name = fromHex(f.nameHex);
        }
        if (folder.empty() || folder.back() != '/' || folder.find('\0') != std::string::npos) {
            in_.fail("a row whose folder does not end in \"/\"");
        }
        // a folder the search could not enter stands on the read errors as
        // its name followed by "/"
        // (placed() checks that it stands there)
        const bool folderRow = row.name.size() > 1 && row.name.back() == '/';
        const std::string_view name(row.name.data(), row.name.size() - (folderRow ? 1 : 0));
        if (!platform::isPlainName(name)) {
            in_.fail("a row whose name is not a file name");
        }
        const std::optional<GroupMark> mark = GroupMark::fromNumber(f.group);
        if (!mark) {
            in_.fail("a row whose group is no group number");
        }
        row.group = *mark;
        row.state.id = {static_cast<dev_t>(f.dev), static_cast<ino_t>(f.ino)};
        row.state.size = row.size;
        if (row.size >= 0) {
            constexpr std::int64_t kNs = 1000000000;
            row.mtime = row.state.mtimeNs / kNs - (row.state.mtimeNs % kNs < 0 ? 1 : 0);
        }
        const platform::FileId id{static_cast<dev_t>(f.folderDev), static_cast<ino_t>(f.folderIno)};
        FolderPath& shared = folders_[{folder, id.dev, id.ino}];
        if (!shared) {
            shared = std::make_shared<const SearchedFolder>(SearchedFolder{std::move(folder), id});
        }
        row.folder = shared;
        return std::move(row);
    }

    std::string fromHex(const std::string& hex)
    {
        std::string out;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            unsigned char b = 0;
            const auto [ptr, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, b, 16);
            if (ec != std::errc() || ptr != hex.data() + i + 2) {
                break;
            }
            out += static_cast<char>(b);
        }
        if (out.size() * 2 != hex.size()) {
            in_.fail("a row whose \"folder_hex\" or \"name_hex\" is not pairs of hexadecimal digits");
        }
        return out;
    }

    ResultList* lists_;
    const ResultLimits& limits_;
    const std::string rowTooLong_;
    const std::string tooFarFromRows_;
    JsonStream in_;
    std::int64_t rows_ = 0;
    std::map<std::tuple<std::string, dev_t, ino_t>, FolderPath> folders_;  // one object per folder
};

// A list that holds one file twice (by its path, "dir/./" read as "dir/")
// would let a review keep that file as the copy of itself: why it is
// refused, naming both rows, or nothing.
std::string fileListedTwice(const ResultList* lists)
{
    std::map<std::string, int> folderNumbers;  // by the folder's path made plain
    std::unordered_map<const SearchedFolder*, int> numberOf;
    struct KeyHash {
        std::size_t operator()(const std::pair<int, std::string_view>& k) const noexcept
        {
            return std::hash<std::string_view>()(k.second) * 31 + static_cast<std::size_t>(k.first);
        }
    };
    for (int l = 0; l < kResultListCount; ++l) {
        std::unordered_map<std::pair<int, std::string_view>, std::int64_t, KeyHash> seen;
        seen.reserve(static_cast<std::size_t>(lists[l].count()));
        for (std::int64_t i = 0; i < lists[l].count(); ++i) {
            const ResultRow& r = lists[l].row(i);
            auto [at, added] = numberOf.try_emplace(r.folder.get(), 0);
            if (added) {
                // a relative folder stays apart from the absolute one of the same letters
                const std::string plain = (r.folder->path[0] == '/' ? "" : ".") +
                                          platform::lexicallyNormal(r.folder->path);
                at->second = folderNumbers.try_emplace(plain, static_cast<int>(folderNumbers.size())).first->second;
            }
            const auto [first, fresh] = seen.try_emplace({at->second, r.name}, i);
            if (!fresh) {
                const std::string a = lists[l].row(first->second).path(), b = r.path();
                return '"' + std::string(kListCaptions[l]) + "\" lists one file twice: " + escaped(a, Escape::Terminal) +
                       (a == b ? std::string(" in two rows") : " and " + escaped(b, Escape::Terminal));
            }
        }
    }
    return {};
}

}  // namespace

bool loadResults(const ResultSource& source, ResultList* lists, std::string& error, const ResultLimits& limits)
{
    const auto clear = [&] {
        for (int l = 0; l < kResultListCount; ++l) {
            lists[l].clear();
        }
    };
    clear();
    try {
        DocumentReader(source, lists, limits).document();
        error = fileListedTwice(lists);
        if (error.empty()) {
            return true;
        }
    } catch (const JsonRefusal& refused) {
        static const char* const kinds[] = {"not a result saved with -f json: ",
                                            "beyond what a saved result may hold: ", ""};
        error = kinds[static_cast<int>(refused.kind)] + refused.why;
    } catch (const std::bad_alloc&) {
        clear();
        error = "not enough memory for its rows";
        return false;
    }
    clear();
    return false;
}

bool loadResults(std::string_view text, ResultList* lists, std::string& error, const ResultLimits& limits)
{
    const ResultSource whole = [text](char* buf, std::size_t len) mutable {
        const std::size_t n = std::min(len, text.size());
        std::copy_n(text.data(), n, buf);
        text.remove_prefix(n);
        return static_cast<std::int64_t>(n);
    };
    return loadResults(whole, lists, error, limits);
}

}  // namespace kormial
