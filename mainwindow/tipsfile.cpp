#include "mainwindow/tipsfile.h"

#include "platform/fs.h"

#include <cmath>

namespace kormial {

std::vector<std::string> SplitTipLines(std::string_view text)
{
    std::vector<std::string> tips;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            tips.emplace_back(text.substr(start, i - start));
            // CR LF is one line end.
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) {
        tips.emplace_back(text.substr(start));
    }
    return tips;
}

std::optional<std::vector<std::string>> ReadTipsFile(const std::string& path)
{
    if (path.empty()) {
        return std::nullopt;
    }
    // Only a regular file counts: a folder of that name is no tips file, and
    // a FIFO put in its place would block the window's start.
    const std::optional<std::string> text = platform::readRegularFile(path);
    if (!text) {
        return std::nullopt;
    }
    return SplitTipLines(*text);
}

std::string MissingTipsText()
{
    std::string text;
    text += "That the ";
    text += kTipsFileName;
    text += " file was not found? ";
    text += "\n\n";
    text += "Create a text file named ";
    text += kTipsFileName;
    text += " using NotePad with 1 tip per line. ";
    text += "Then place it in the same directory as the application. ";
    return text;
}

int TipIndexFor(double r, int count)
{
    if (count <= 0) {
        return 1;
    }
    const double drawn = std::floor(r * count + 1.0);
    if (!(drawn >= 1.0)) {  // also catches NaN
        return 1;
    }
    if (drawn > count) {
        return count;
    }
    return static_cast<int>(drawn);
}

}  // namespace kormial
