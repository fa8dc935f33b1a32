#include "cli/output.h"

#include "platform/textfold.h"

#include <cstdio>
#include <sstream>

namespace kormial::cli {

const char* const kListCaptions[kResultListCount] = {"Zero Size", "Duplicates", "Same Name", "Portions",
                                                     "Report - read errors"};

namespace {

std::string trimmed(const std::string& cell)
{
    const auto b = cell.find_first_not_of(' ');
    if (b == std::string::npos) {
        return std::string();
    }
    return cell.substr(b, cell.find_last_not_of(' ') - b + 1);
}

std::string tsvEscape(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

// A JSON string; bytes that are not UTF-8 become U+FFFD (the exact bytes are
// given in a separate hex field by the caller).
std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    std::size_t pos = 0;
    while (pos < s.size()) {
        const std::size_t start = pos;
        const char32_t cp = platform::nextCodePoint(s, pos);
        if (cp > 0x10FFFF) {
            out += "\\ufffd";
            continue;
        }
        if (cp == '"') {
            out += "\\\"";
        } else if (cp == '\\') {
            out += "\\\\";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(s, start, pos - start);
        }
    }
    out += '"';
    return out;
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

// Printable for a terminal: control characters and invalid bytes escaped.
std::string printable(const std::string& s)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        const std::size_t start = pos;
        const char32_t cp = platform::nextCodePoint(s, pos);
        char buf[16];
        if (cp > 0x10FFFF) {
            std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(cp - 0x110000));
            out += buf;
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp < 0x20 || cp == 0x7f) {
            std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(s, start, pos - start);
        }
    }
    return out;
}

bool groupedList(int index)
{
    return index == kListDuplicates || index == kListPortions || index == kListSameName;
}

}  // namespace

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
            out += trimmed(r.subItem(kColGroup));
            out += '\t';
            out += trimmed(r.subItem(kColSize));
            out += '\t';
            out += r.subItem(kColDate);
            out += '\t';
            out += tsvEscape(r.subItem(kColFolder));
            out += '\t';
            out += tsvEscape(r.text);
            out += '\n';
        }
    }
    return out;
}

std::string formatText(const ResultList* lists)
{
    std::ostringstream out;
    for (int l = 0; l < kResultListCount; ++l) {
        const ResultList& list = lists[l];
        out << kListCaptions[l] << " (" << list.count() << ")\n";
        if (list.count() == 0) {
            out << "  (none)\n\n";
            continue;
        }
        std::string previousKey;
        bool first = true;
        for (std::int64_t i = 0; i < list.count(); ++i) {
            const ResultRow& r = list.row(i);
            if (groupedList(l)) {
                const bool byName = l == kListSameName;
                const std::string& key = byName ? r.text : r.subItem(kColGroup);
                const bool sameGroup = !first && (byName ? platform::equalFolded(key, previousKey)
                                                         : key == previousKey);
                if (!sameGroup) {
                    if (!first) {
                        out << '\n';
                    }
                    std::int64_t members = 0;
                    for (std::int64_t j = i; j < list.count(); ++j) {
                        const ResultRow& m = list.row(j);
                        const std::string& mk = byName ? m.text : m.subItem(kColGroup);
                        if (byName ? !platform::equalFolded(mk, key) : mk != key) {
                            break;
                        }
                        ++members;
                    }
                    if (byName) {
                        out << "  Name \"" << printable(r.text) << "\": " << members << " files\n";
                    } else {
                        out << "  Group " << trimmed(key) << ": " << members << " files\n";
                    }
                }
                previousKey = key;
            }
            first = false;
            long long size = 0;
            try {
                size = std::stoll(trimmed(r.subItem(kColSize)));
            } catch (...) {
            }
            char sizeBuf[32];
            std::snprintf(sizeBuf, sizeof sizeBuf, "%10s", readableSize(size).c_str());
            out << "    " << sizeBuf << "  " << r.subItem(kColDate) << "  "
                << printable(r.subItem(kColFolder) + r.text) << '\n';
        }
        out << '\n';
    }
    return out.str();
}

std::string formatJson(const ResultList* lists)
{
    std::ostringstream out;
    out << "{\n  \"lists\": [\n";
    for (int l = 0; l < kResultListCount; ++l) {
        const ResultList& list = lists[l];
        out << "    {\n      \"index\": " << l << ",\n      \"caption\": " << jsonString(kListCaptions[l])
            << ",\n      \"count\": " << list.count() << ",\n      \"rows\": [";
        for (std::int64_t i = 0; i < list.count(); ++i) {
            const ResultRow& r = list.row(i);
            out << (i == 0 ? "\n" : ",\n") << "        {\"group\": " << trimmed(r.subItem(kColGroup))
                << ", \"size\": " << trimmed(r.subItem(kColSize))
                << ", \"date\": " << jsonString(r.subItem(kColDate))
                << ", \"folder\": " << jsonString(r.subItem(kColFolder))
                << ", \"name\": " << jsonString(r.text);
            const std::string& folder = r.subItem(kColFolder);
            if (!platform::isValidUtf8(folder)) {
                out << ", \"folder_hex\": \"" << hexBytes(folder) << '"';
            }
            if (!platform::isValidUtf8(r.text)) {
                out << ", \"name_hex\": \"" << hexBytes(r.text) << '"';
            }
            out << '}';
        }
        out << (list.count() > 0 ? "\n      ]\n" : "]\n") << "    }" << (l + 1 < kResultListCount ? "," : "")
            << '\n';
    }
    out << "  ]\n}\n";
    return out.str();
}

}  // namespace kormial::cli
