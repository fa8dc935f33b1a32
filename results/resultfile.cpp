#include "results/resultfile.h"

#include "platform/textfold.h"
#include "results/resultrows.h"

#include <sstream>

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

std::string formatJson(const ResultList* lists, bool complete, int only, const std::vector<std::string>& exclude)
{
    std::ostringstream out;
    out << "{\n  \"complete\": " << (complete ? "true" : "false") << ",\n";
    for (std::size_t i = 0; i < exclude.size(); ++i) {
        out << (i == 0 ? "  \"exclude\": [" : ", ") << jsonString(exclude[i]) << (i + 1 == exclude.size() ? "],\n" : "");
    }
    out << "  \"lists\": [\n";
    for (int l = 0; l < kResultListCount; ++l) {
        static const ResultList none;
        const ResultList& list = only < 0 || l == only ? lists[l] : none;
        out << "    {\n      \"index\": " << l << ",\n      \"caption\": " << jsonString(kListCaptions[l])
            << ",\n      \"count\": " << list.count() << ",\n      \"rows\": [";
        for (std::int64_t i = 0; i < list.count(); ++i) {
            const ResultRow& r = list.row(i);
            const std::string& folder = r.folder->path;
            out << (i == 0 ? "\n" : ",\n") << "        {\"group\": " << r.group.number() << ", \"size\": " << r.size
                << ", \"date\": " << jsonString(FormatFileDate(r.mtime)) << ", \"folder\": " << jsonString(folder)
                << ", \"name\": " << jsonString(r.name);
            if (!platform::isValidUtf8(folder)) {
                out << ", \"folder_hex\": \"" << hexBytes(folder) << '"';
            }
            if (!platform::isValidUtf8(r.name)) {
                out << ", \"name_hex\": \"" << hexBytes(r.name) << '"';
            }
            out << ", \"dev\": " << r.state.id.dev << ", \"ino\": " << r.state.id.ino << ", \"mtime_ns\": "
                << r.state.mtimeNs << ", \"ctime_ns\": " << r.state.ctimeNs << ", \"folder_dev\": " << r.folder->id.dev
                << ", \"folder_ino\": " << r.folder->id.ino << ", \"reference\": " << (r.reference ? "true" : "false")
                << '}';
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
            out += csvField(kListCaptions[l]) + ',' + std::to_string(r.group.number()) + ',' + std::to_string(r.size) + ',' +
                   csvField(FormatFileDate(r.mtime)) + ',' + csvField(r.folder->path) + ',' + csvField(r.name) + "\r\n";
        }
    }
    return out;
}

}  // namespace kormial
