#include "results/resultfile.h"

#include "platform/textfold.h"
#include "results/resultrows.h"

#include <charconv>
#include <map>
#include <sstream>
#include <tuple>

namespace kormial {

const char* const kListCaptions[kResultListCount] = {"Zero Size", "Duplicates", "Same Name", "Portions",
                                                     "Report - read errors"};

std::string jsonString(std::string_view s)
{
    return '"' + escaped(s, Escape::Json) + '"';
}

std::string hexBytes(const std::string& s)
{
    static const char* const digits = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string escaped(std::string_view s, Escape style)
{
    static const char* const digits = "0123456789abcdef";
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    while (pos < s.size()) {
        const std::size_t start = pos;
        const char32_t cp = platform::nextCodePoint(s, pos);
        const bool invalid = cp > 0x10FFFF;
        const bool control = cp < 0x20 || (cp >= 0x7f && cp <= 0x9f);
        if (!invalid && !control && cp != '\\' && (cp != '"' || style != Escape::Json)) {
            out.append(s.substr(start, pos - start));
            continue;
        }
        switch (cp) {
        case '\\': out += "\\\\"; continue;
        case '"': out += "\\\""; continue;
        case '\t': out += "\\t"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case 0x1b:
            if (style == Escape::Terminal) {
                out += "\\e";
                continue;
            }
            break;
        default: break;
        }
        if (style == Escape::Json) {
            out += invalid ? "\\ufffd" : std::string("\\u00") + digits[cp >> 4] + digits[cp & 15];
            continue;
        }
        // every byte of it: one for a C0 character, DEL or a stray byte, two for C1
        for (std::size_t i = start; i < pos; ++i) {
            const auto byte = static_cast<unsigned char>(s[i]);
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 15];
        }
    }
    return out;
}

namespace {

// A JSON value, as far as a saved result needs one.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    std::string text;  // a string's value, a number's literal
    std::vector<Json> items;
    // an object's members: keys[i] names values[i] (a vector of pairs of an
    // incomplete type is not portable)
    std::vector<std::string> keys;
    std::vector<Json> values;

    const Json* get(std::string_view key) const
    {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == key) {
                return &values[i];
            }
        }
        return nullptr;
    }
};

// A strict reader of one JSON document (RFC 8259), nested at most 32 deep.
class JsonReader {
public:
    explicit JsonReader(std::string_view s) : s_(s) {}
    bool document(Json& out) { return value(out, 0) && (skip(), pos_ == s_.size()); }

private:
    void skip()
    {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) {
            ++pos_;
        }
    }
    bool eat(char c)
    {
        skip();
        return pos_ < s_.size() && s_[pos_] == c && (++pos_, true);
    }
    bool word(std::string_view w) { return s_.substr(pos_, w.size()) == w && (pos_ += w.size(), true); }
    bool digits()
    {
        const std::size_t from = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') {
            ++pos_;
        }
        return pos_ > from;
    }
    bool value(Json& out, int depth)
    {
        skip();
        if (depth > 32 || pos_ >= s_.size()) {
            return false;
        }
        const char c = s_[pos_];
        if (c == '{' || c == '[') {
            ++pos_;
            const bool object = c == '{';
            out.kind = object ? Json::Kind::Object : Json::Kind::Array;
            if (eat(object ? '}' : ']')) {
                return true;
            }
            do {
                Json v;
                std::string key;
                if ((object && (!eat('"') || !string(key) || !eat(':'))) || !value(v, depth + 1)) {
                    return false;
                }
                if (object) {
                    out.keys.push_back(std::move(key));
                    out.values.push_back(std::move(v));
                } else {
                    out.items.push_back(std::move(v));
                }
            } while (eat(','));
            return eat(object ? '}' : ']');
        }
        if (c == '"') {
            ++pos_;
            out.kind = Json::Kind::String;
            return string(out.text);
        }
        if (word("true") || word("false") || word("null")) {
            out.kind = s_[pos_ - 1] == 'l' ? Json::Kind::Null : Json::Kind::Bool;
            return true;
        }
        const std::size_t from = pos_;
        pos_ += c == '-' ? 1 : 0;
        if (!digits() || (eat('.') && !digits())) {
            return false;
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            pos_ += pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-') ? 1 : 0;
            if (!digits()) {
                return false;
            }
        }
        out.kind = Json::Kind::Number;
        out.text = s_.substr(from, pos_ - from);
        return true;
    }
    bool hex4(char32_t& cp)
    {
        cp = 0;
        for (int i = 0; i < 4; ++i, ++pos_) {
            const char h = pos_ < s_.size() ? s_[pos_] : 'x';
            const int d = h >= '0' && h <= '9' ? h - '0' : (h | 0x20) >= 'a' && (h | 0x20) <= 'f' ? (h | 0x20) - 'a' + 10 : -1;
            if (d < 0) {
                return false;
            }
            cp = cp * 16 + static_cast<char32_t>(d);
        }
        return true;
    }
    // The rest of a string after its opening quote.
    bool string(std::string& out)
    {
        while (pos_ < s_.size()) {
            const char c = s_[pos_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = pos_ < s_.size() ? s_[pos_++] : '\0';
            const char* const from = "\"\\/bfnrt";
            const char* const to = "\"\\/\b\f\n\r\t";
            if (const char* at = std::char_traits<char>::find(from, 8, e); at != nullptr && e != '\0') {
                out += to[at - from];
                continue;
            }
            char32_t cp = 0;
            if (e != 'u' || !hex4(cp)) {
                return false;
            }
            char32_t low = 0;
            if (cp >= 0xD800 && cp < 0xDC00 && word("\\u") && hex4(low) && low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            } else if (cp >= 0xD800 && cp < 0xE000) {
                return false;  // a lone surrogate is no text
            }
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
        return false;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

template <typename T>
bool integer(const Json* v, T& out)
{
    if (v == nullptr || v->kind != Json::Kind::Number) {
        return false;
    }
    const char* end = v->text.data() + v->text.size();
    const auto [ptr, ec] = std::from_chars(v->text.data(), end, out);
    return ec == std::errc() && ptr == end;
}

// Member `key` of a row as bytes: from "<key>_hex" when there is one (a
// name that is not UTF-8), else the string.
bool bytesOf(const Json& row, const std::string& key, std::string& out)
{
    const Json* hex = row.get(key + "_hex");
    if (hex == nullptr) {
        const Json* text = row.get(key);
        return text != nullptr && text->kind == Json::Kind::String && (out = text->text, true);
    }
    if (hex->kind != Json::Kind::String || hex->text.size() % 2 != 0) {
        return false;
    }
    out.clear();
    for (std::size_t i = 0; i < hex->text.size(); i += 2) {
        unsigned char b = 0;
        const auto [ptr, ec] = std::from_chars(hex->text.data() + i, hex->text.data() + i + 2, b, 16);
        if (ec != std::errc() || ptr != hex->text.data() + i + 2) {
            return false;
        }
        out += static_cast<char>(b);
    }
    return true;
}

// One CSV field (RFC 4180): quoted, inner quotes doubled, when it holds a
// comma, a quote or a line break.
std::string csvField(std::string_view s)
{
    if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(s);
    }
    std::string out = "\"";
    for (const char c : s) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + '"';
}

}  // namespace

std::string formatJson(const ResultList* lists, bool complete, int only)
{
    std::ostringstream out;
    out << "{\n  \"complete\": " << (complete ? "true" : "false") << ",\n  \"lists\": [\n";
    for (int l = 0; l < kResultListCount; ++l) {
        static const ResultList none;
        const ResultList& list = only < 0 || l == only ? lists[l] : none;
        out << "    {\n      \"index\": " << l << ",\n      \"caption\": " << jsonString(kListCaptions[l])
            << ",\n      \"count\": " << list.count() << ",\n      \"rows\": [";
        for (std::int64_t i = 0; i < list.count(); ++i) {
            const ResultRow& r = list.row(i);
            const std::string& folder = r.folder->path;
            out << (i == 0 ? "\n" : ",\n") << "        {\"group\": " << r.group << ", \"size\": " << r.size
                << ", \"date\": " << jsonString(FormatFileDate(r.mtime)) << ", \"folder\": " << jsonString(folder)
                << ", \"name\": " << jsonString(r.name);
            if (!platform::isValidUtf8(folder)) {
                out << ", \"folder_hex\": \"" << hexBytes(folder) << '"';
            }
            if (!platform::isValidUtf8(r.name)) {
                out << ", \"name_hex\": \"" << hexBytes(r.name) << '"';
            }
            out << ", \"dev\": " << r.state.id.dev << ", \"ino\": " << r.state.id.ino << ", \"mtime_ns\": "
                << r.state.mtimeNs << ", \"folder_dev\": " << r.folder->id.dev << ", \"folder_ino\": " << r.folder->id.ino;
            out << '}';
        }
        out << (list.count() > 0 ? "\n      ]\n" : "]\n") << "    }" << (l + 1 < kResultListCount ? "," : "")
            << '\n';
    }
    out << "  ]\n}\n";
    return out.str();
}

std::string formatCsv(const ResultList* lists, int only)
{
    std::string out = "List,Group,Size,Date,Folder,Name\r\n";
    for (int l = 0; l < kResultListCount; ++l) {
        if (only >= 0 && l != only) {
            continue;
        }
        for (const ResultRow& r : lists[l].rows()) {
            out += csvField(kListCaptions[l]) + ',' + std::to_string(r.group) + ',' + std::to_string(r.size) + ',' +
                   csvField(FormatFileDate(r.mtime)) + ',' + csvField(r.folder->path) + ',' + csvField(r.name) + "\r\n";
        }
    }
    return out;
}

bool loadResults(std::string_view text, ResultList* lists, std::string& error)
{
    const auto bad = [&](const std::string& why) {
        error = "not a result saved with -f json: " + why;
        for (int l = 0; l < kResultListCount; ++l) {
            lists[l].clear();
        }
        return false;
    };
    Json doc;
    if (!JsonReader(text).document(doc) || doc.kind != Json::Kind::Object) {
        return bad("not a JSON object");
    }
    const Json* saved = doc.get("lists");
    if (saved == nullptr || saved->kind != Json::Kind::Array) {
        return bad("no \"lists\"");
    }
    std::map<std::tuple<std::string, dev_t, ino_t>, FolderPath> folders;  // one object per folder
    for (const Json& l : saved->items) {
        int index = -1;
        const Json* rows = l.get("rows");
        if (!integer(l.get("index"), index) || index < 0 || index >= kResultListCount || rows == nullptr ||
            rows->kind != Json::Kind::Array) {
            return bad("a list without its \"index\" or \"rows\"");
        }
        for (const Json& r : rows->items) {
            ResultRow row;
            std::string folder;
            std::uint64_t dev = 0, ino = 0, folderDev = 0, folderIno = 0;
            if (!integer(r.get("group"), row.group) || !integer(r.get("size"), row.size) ||
                !bytesOf(r, "folder", folder) || !bytesOf(r, "name", row.name) || !integer(r.get("dev"), dev) ||
                !integer(r.get("ino"), ino) || !integer(r.get("mtime_ns"), row.state.mtimeNs) ||
                !integer(r.get("folder_dev"), folderDev) || !integer(r.get("folder_ino"), folderIno)) {
                return bad("a row without group, size, folder, name, dev, ino, mtime_ns, folder_dev or folder_ino");
            }
            // a folder the search could not enter stands on the read errors
            // as its name followed by "/"
            const bool folderRow = index == kListReadErrors && row.name.size() > 1 && row.name.back() == '/';
            const std::string_view name(row.name.data(), row.name.size() - (folderRow ? 1 : 0));
            if (folder.empty() || folder.back() != '/' || name.empty() ||
                name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos ||
                folder.find('\0') != std::string::npos) {
                return bad("a row whose folder does not end in \"/\" or whose name is not a file name");
            }
            row.state.id = {static_cast<dev_t>(dev), static_cast<ino_t>(ino)};
            row.state.size = row.size;
            if (row.size >= 0) {
                constexpr std::int64_t kNs = 1000000000;
                row.mtime = row.state.mtimeNs / kNs - (row.state.mtimeNs % kNs < 0 ? 1 : 0);
            }
            const platform::FileId id{static_cast<dev_t>(folderDev), static_cast<ino_t>(folderIno)};
            FolderPath& shared = folders[{folder, id.dev, id.ino}];
            if (!shared) {
                shared = std::make_shared<const SearchedFolder>(SearchedFolder{folder, id});
            }
            row.folder = shared;
            lists[index].add(std::move(row));
        }
    }
    return true;
}

}  // namespace kormial
