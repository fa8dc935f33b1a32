// Reading saved results back. The document is read a block at a time and
// only its rows are kept, so memory follows the rows, not the bytes; a
// document beyond the limits is refused as soon as the reading gets there,
// which also ends an input that never ends.
#include "platform/pathopen.h"
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

// Why a document is refused, said in full.
struct Refusal {
    std::string why;
};

// The document's bytes. Each byte taken is charged to the stretch being
// read (a row, or what lies between two rows); a stretch longer than its
// allowance is refused there.
class Input {
public:
    explicit Input(const ResultSource& source) : source_(source), block_(std::size_t{1} << 16) {}

    // The next byte without taking it, or -1 at the end.
    int peek()
    {
        if (at_ == end_ && !fill()) {
            return -1;
        }
        return static_cast<unsigned char>(block_[at_]);
    }
    // Takes the next byte; the end is a fault here.
    char take()
    {
        if (peek() < 0) {
            fail("it ends in the middle");
        }
        if (used_ == limit_) {
            throw Refusal{*overLimit_ + where()};
        }
        ++used_;
        const char c = block_[at_++];
        line_ += c == '\n' ? 1 : 0;
        return c;
    }
    // At most `bytes` more bytes from here; `overLimit` says what a longer
    // stretch is (it must outlive the reading).
    void allow(std::int64_t bytes, const std::string& overLimit)
    {
        limit_ = used_ + bytes;
        overLimit_ = &overLimit;
    }
    [[noreturn]] void fail(std::string_view why) const
    {
        throw Refusal{"not a result saved with -f json: " + std::string(why) + where()};
    }
    std::string where() const { return " (line " + std::to_string(line_) + ")"; }

private:
    bool fill()
    {
        if (ended_) {
            return false;
        }
        const std::int64_t got = source_(block_.data(), block_.size());
        if (got < 0) {
            throw Refusal{"cannot be read to its end"};
        }
        ended_ = got == 0;
        at_ = 0;
        end_ = static_cast<std::size_t>(got);
        return !ended_;
    }

    const ResultSource& source_;
    std::vector<char> block_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
    std::int64_t used_ = 0;
    std::int64_t limit_ = 0;
    const std::string* overLimit_ = nullptr;
    std::int64_t line_ = 1;
};

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
    unsigned seen = 0;  // a bit for each RowMember read

    bool has(RowMember m) const { return (seen >> m & 1) != 0; }
};

// A strict reader of the JSON (RFC 8259) that formatJson writes, which keeps
// the rows and reads over everything else.
class DocumentReader {
public:
    DocumentReader(Input& in, ResultList* lists, const ResultLimits& limits)
        : in_(in), lists_(lists), limits_(limits),
          rowTooLong_(beyond("a row longer than " + std::to_string(limits.rowBytes) + " bytes")),
          tooFarFromRows_(beyond("more than " + std::to_string(limits.betweenRows) + " bytes outside the rows"))
    {
    }

    void document()
    {
        in_.allow(limits_.betweenRows, tooFarFromRows_);
        bool sawLists = false;
        object(0, [&](const std::string& key) {
            if (key != "lists") {
                return false;
            }
            once(sawLists, key);
            array(1, [&] { list(); });
            return true;
        });
        blank();
        if (in_.peek() >= 0) {
            in_.fail("more after the end of the document");
        }
        if (!sawLists) {
            in_.fail("no \"lists\"");
        }
    }

private:
    static std::string beyond(const std::string& what) { return "beyond what a saved result may hold: " + what; }

    // One list: rows that come before the list's index wait for it.
    void list()
    {
        int index = -1;
        bool sawIndex = false, sawRows = false;
        std::vector<ResultRow> early;
        object(2, [&](const std::string& key) {
            if (key == "index") {
                once(sawIndex, key);
                wholeNumber(index, key);
                if (index < 0 || index >= kResultListCount) {
                    in_.fail("a list whose \"index\" is not one of 0 to " + std::to_string(kResultListCount - 1));
                }
            } else if (key == "rows") {
                once(sawRows, key);
                array(3, [&] {
                    ResultRow r = row();
                    if (sawIndex) {
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
            lists_[index].add(std::move(r));
        }
    }

    ResultRow row()
    {
        if (rows_ == limits_.rows) {
            throw Refusal{beyond("more than " + std::to_string(limits_.rows) + " rows") + in_.where()};
        }
        ++rows_;
        blank();
        in_.allow(limits_.rowBytes, rowTooLong_);
        RowFields f;
        object(4, [&](const std::string& key) { return rowMember(key, f); });
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
        case Group: wholeNumber(f.row.group, key); break;
        case Size: wholeNumber(f.row.size, key); break;
        case Folder: text(f.folder, key); break;
        case FolderHex: text(f.folderHex, key); break;
        case Name: text(f.row.name, key); break;
        case NameHex: text(f.nameHex, key); break;
        case Dev: wholeNumber(f.dev, key); break;
        case Ino: wholeNumber(f.ino, key); break;
        case MtimeNs: wholeNumber(f.row.state.mtimeNs, key); break;
        case CtimeNs: wholeNumber(f.row.state.ctimeNs, key); break;
        case FolderDev: wholeNumber(f.folderDev, key); break;
        case FolderIno: wholeNumber(f.folderIno, key); break;
        case Reference: f.row.reference = boolean(key); break;
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
        if (row.name.empty() || row.name == "." || row.name == ".." ||
            row.name.find_first_of(std::string("/\0", 2)) != std::string::npos) {
            in_.fail("a row whose name is not a file name");
        }
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

    std::string fromHex(const std::string& hex) const
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

    // -- JSON --------------------------------------------------------------

    void blank()
    {
        for (int c = in_.peek(); c == ' ' || c == '\t' || c == '\n' || c == '\r'; c = in_.peek()) {
            in_.take();
        }
    }
    bool eat(char c)
    {
        blank();
        return in_.peek() == static_cast<unsigned char>(c) && (in_.take(), true);
    }
    void expect(char c, std::string_view what)
    {
        if (!eat(c)) {
            in_.fail(std::string(what) + " expected");
        }
    }
    void once(bool& seen, const std::string& key)
    {
        if (seen) {
            in_.fail("\"" + key + "\" twice");
        }
        seen = true;
    }
    void nest(int depth)
    {
        if (depth > limits_.depth) {
            throw Refusal{beyond("values nested more than " + std::to_string(limits_.depth) + " deep") + in_.where()};
        }
    }

    // An object; `member(key)` reads the value of a member it knows and
    // returns true, else the value is read over.
    template <typename Member>
    void object(int depth, Member&& member)
    {
        nest(depth);
        expect('{', "an object");
        if (eat('}')) {
            return;
        }
        do {
            expect('"', "a member name");
            std::string key;
            stringRest(&key);
            expect(':', "\":\"");
            if (!member(key)) {
                skipValue(depth + 1);
            }
        } while (eat(','));
        expect('}', "\",\" or \"}\"");
    }
    template <typename Item>
    void array(int depth, Item&& item)
    {
        nest(depth);
        expect('[', "an array");
        if (eat(']')) {
            return;
        }
        do {
            item();
        } while (eat(','));
        expect(']', "\",\" or \"]\"");
    }
    void skipValue(int depth)
    {
        blank();
        switch (in_.peek()) {
        case '{': object(depth, [](const std::string&) { return false; }); return;
        case '[': array(depth, [&] { skipValue(depth + 1); }); return;
        case '"': in_.take(), stringRest(nullptr); return;
        case 't': word("true"); return;
        case 'f': word("false"); return;
        case 'n': word("null"); return;
        default: number(); return;
        }
    }
    void word(std::string_view w)
    {
        for (const char c : w) {
            if (in_.take() != c) {
                in_.fail("not JSON");
            }
        }
    }
    bool boolean(const std::string& key)
    {
        blank();
        const int c = in_.peek();
        if (c != 't' && c != 'f') {
            in_.fail("a row whose \"" + key + "\" is not true or false");
        }
        word(c == 't' ? "true" : "false");
        return c == 't';
    }
    void text(std::string& out, const std::string& key)
    {
        blank();
        if (in_.peek() != '"') {
            in_.fail("a row whose \"" + key + "\" is not a string");
        }
        in_.take();
        stringRest(&out);
    }
    template <typename T>
    void wholeNumber(T& out, const std::string& key)
    {
        blank();
        number();
        const char* end = number_.data() + number_.size();
        const auto [ptr, ec] = std::from_chars(number_.data(), end, out);
        if (ec != std::errc() || ptr != end) {
            in_.fail("\"" + key + "\" is not a whole number in range");
        }
    }
    bool digits()
    {
        bool any = false;
        for (int c = in_.peek(); c >= '0' && c <= '9'; c = in_.peek()) {
            number_ += in_.take();
            any = true;
        }
        return any;
    }
    // A number's literal, into number_.
    void number()
    {
        number_.clear();
        if (in_.peek() == '-') {
            number_ += in_.take();
        }
        bool ok = digits();
        if (ok && in_.peek() == '.') {
            number_ += in_.take();
            ok = digits();
        }
        if (ok && (in_.peek() == 'e' || in_.peek() == 'E')) {
            number_ += in_.take();
            if (in_.peek() == '+' || in_.peek() == '-') {
                number_ += in_.take();
            }
            ok = digits();
        }
        if (!ok) {
            in_.fail("not JSON");
        }
    }
    char32_t hex4()
    {
        char32_t cp = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = in_.take() | 0x20;
            const int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : -1;
            if (d < 0) {
                in_.fail("a \\u escape without four hexadecimal digits");
            }
            cp = cp * 16 + static_cast<char32_t>(d);
        }
        return cp;
    }
    // The rest of a string after its opening quote, into `out` when given.
    void stringRest(std::string* out)
    {
        for (char c = in_.take(); c != '"'; c = in_.take()) {
            if (static_cast<unsigned char>(c) < 0x20) {
                in_.fail("a control character inside a string");
            }
            if (c != '\\') {
                if (out != nullptr) {
                    *out += c;
                }
                continue;
            }
            const char e = in_.take();
            const char* const from = "\"\\/bfnrt";
            const char* const to = "\"\\/\b\f\n\r\t";
            if (const char* at = std::char_traits<char>::find(from, 8, e); at != nullptr) {
                if (out != nullptr) {
                    *out += to[at - from];
                }
                continue;
            }
            if (e != 'u') {
                in_.fail("an unknown escape in a string");
            }
            char32_t cp = hex4();
            if (cp >= 0xDC00 && cp < 0xE000) {
                in_.fail("a lone surrogate in a string");
            }
            if (cp >= 0xD800 && cp < 0xDC00) {
                const char32_t low = in_.take() == '\\' && in_.take() == 'u' ? hex4() : 0;
                if (low < 0xDC00 || low >= 0xE000) {
                    in_.fail("a lone surrogate in a string");
                }
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            }
            if (out != nullptr) {
                appendUtf8(*out, cp);
            }
        }
    }
    static void appendUtf8(std::string& out, char32_t cp)
    {
        const auto put = [&out](char32_t v) { out += static_cast<char>(v); };
        if (cp < 0x80) {
            put(cp);
        } else if (cp < 0x800) {
            put(0xC0 | (cp >> 6)), put(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            put(0xE0 | (cp >> 12)), put(0x80 | ((cp >> 6) & 0x3F)), put(0x80 | (cp & 0x3F));
        } else {
            put(0xF0 | (cp >> 18)), put(0x80 | ((cp >> 12) & 0x3F)), put(0x80 | ((cp >> 6) & 0x3F)),
                put(0x80 | (cp & 0x3F));
        }
    }

    Input& in_;
    ResultList* lists_;
    const ResultLimits& limits_;
    const std::string rowTooLong_;
    const std::string tooFarFromRows_;
    std::int64_t rows_ = 0;
    std::string number_;
    std::map<std::tuple<std::string, dev_t, ino_t>, FolderPath> folders_;  // one object per folder
};

// A list that holds one file twice (by its path, "dir/./" read as "dir/")
// would let a review keep that file as the copy of itself: refused, naming
// both rows.
void refuseFilesListedTwice(const ResultList* lists)
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
                throw Refusal{'"' + std::string(kListCaptions[l]) + "\" lists one file twice: " +
                              escaped(a, Escape::Terminal) +
                              (a == b ? std::string(" in two rows") : " and " + escaped(b, Escape::Terminal))};
            }
        }
    }
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
        Input in(source);
        DocumentReader(in, lists, limits).document();
        refuseFilesListedTwice(lists);
        return true;
    } catch (const Refusal& refused) {
        clear();
        error = refused.why;
    } catch (const std::bad_alloc&) {
        clear();
        error = "not enough memory for its rows";
    }
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
