#include "cli/output.h"

#include "platform/textfold.h"
#include "results/resultrows.h"

#include <cstdio>
#include <sstream>

namespace kormial::cli {

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

namespace {

bool groupedList(int index)
{
    return index == kListDuplicates || index == kListPortions || index == kListSameName;
}

}  // namespace

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

std::string readableSize(long long bytes)
{
    static const char* const units[] = {"bytes", "KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1024) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    double v = static_cast<double>(bytes);
    int u = 0;
    while (v >= 1024.0 && u < 5) {
        v /= 1024.0;
        ++u;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, v < 10 ? "%.1f %s" : "%.0f %s", v, units[u]);
    return buf;
}

std::string formatTsv(const ResultList* lists)
{
    std::string out;
    for (int l = 0; l < kResultListCount; ++l) {
        for (const ResultRow& r : lists[l].rows()) {
            out += std::to_string(l);
            out += '\t';
            out += std::to_string(r.group);
            out += '\t';
            out += std::to_string(r.size);
            out += '\t';
            out += FormatFileDate(r.mtime);
            out += '\t';
            out += escaped(r.folder->path, Escape::Tsv);
            out += '\t';
            out += escaped(r.name, Escape::Tsv);
            out += '\n';
        }
    }
    return out;
}

std::string formatText(const ResultList* lists, bool complete)
{
    std::ostringstream out;
    for (int l = 0; l < kResultListCount; ++l) {
        const ResultList& list = lists[l];
        out << kListCaptions[l] << " (" << list.count() << ")\n";
        if (list.count() == 0) {
            out << "  (none)\n\n";
            continue;
        }
        const bool byName = l == kListSameName;
        // rows of one group: "#" equal, on "Same Name" names equal but for case
        const auto together = [byName](const ResultRow& a, const ResultRow& b) {
            return byName ? platform::equalFolded(a.name, b.name) : a.group == b.group;
        };
        for (std::int64_t i = 0; i < list.count(); ++i) {
            const ResultRow& r = list.row(i);
            if (groupedList(l) && (i == 0 || !together(list.row(i - 1), r))) {
                if (i > 0) {
                    out << '\n';
                }
                std::int64_t members = 1;
                while (i + members < list.count() && together(list.row(i + members), r)) {
                    ++members;
                }
                if (byName) {
                    out << "  Name \"" << escaped(r.name, Escape::Terminal) << "\": " << members << " files\n";
                } else {
                    out << "  Group " << r.group << ": " << members << " files\n";
                }
            }
            char sizeBuf[32];
            std::snprintf(sizeBuf, sizeof sizeBuf, "%10s", readableSize(r.size).c_str());
            out << "    " << sizeBuf << "  " << FormatFileDate(r.mtime) << "  "
                << escaped(r.path(), Escape::Terminal) << '\n';
        }
        out << '\n';
    }
    if (!complete) {
        out << "The search was stopped: the lists are incomplete.\n";
    }
    return out.str();
}

std::string formatJson(const ResultList* lists, bool complete)
{
    std::ostringstream out;
    out << "{\n  \"complete\": " << (complete ? "true" : "false") << ",\n  \"lists\": [\n";
    for (int l = 0; l < kResultListCount; ++l) {
        const ResultList& list = lists[l];
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

}  // namespace kormial::cli
