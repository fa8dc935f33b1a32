#include "cli/cliargs.h"

#include "mainwindow/sizetext.h"

#include <algorithm>
#include <iterator>

namespace kormial::cli {

std::string usageText()
{
    return "Usage: kormial-cli [OPTION | FOLDER]...\n"
           "Find zero-size files, duplicates, files with the same name and portions.\n"
           "Options apply, left to right, to the folders that follow them.\n"
           "\n"
           "  -p, --pattern PATTERN   file-type pattern for the folders that follow (default \"*.*\")\n"
           "  -r, --subfolders        search the sub-folders of the folders that follow (default)\n"
           "  -R, --no-subfolders     do not search the sub-folders of the folders that follow\n"
           "      --keep FOLDER       search FOLDER like any other; its files are reference\n"
           "                          copies: never marked, never moved (the Keep box)\n"
           "      --min KB            minimum size in whole KB, exclusive, for every folder\n"
           "      --max KB            maximum size in whole KB, exclusive, for every folder\n"
           "      --exclude PATTERN   leave out every file and folder whose name matches\n"
           "                          PATTERN (wildcards as in -p), or, when it holds \"/\",\n"
           "                          whose path below its search folder does (\"src/build\");\n"
           "                          a folder left out is not entered; PATTERN ending in \"/\"\n"
           "                          leaves out folders only; for every folder; repeatable\n"
           "  -t, --types LIST        comma-separated: zero, dup, name, portions (default zero,dup,name)\n"
           "  -l, --tolerant          tolerate little differences\n"
           "  -f, --format FORMAT     text (default, for people), tsv or json\n"
           "  -h, --help              show this help\n"
           "      --version           show the version\n"
           "\n"
           "Reviewing a result (the File menu of the window, the same checks):\n"
           "      --load FILE         review a result saved with -f json (\"-\": stdin) instead\n"
           "                          of searching; --keep FOLDER protects its rows below FOLDER\n"
           "      --list NAME         the list to act on: dup (default), zero, name, portions\n"
           "      --mark RULE         all, older, newer (not on zero), smaller, larger (portions\n"
           "                          only), as the File menu marks; keep-newest, keep-oldest,\n"
           "                          keep-first mark every member of each group but one\n"
           "      --trash             move the marked files to the trash, each only when it is\n"
           "                          still the file listed (device, inode, size, last write and\n"
           "                          change time), its folder was not replaced, and a copy of\n"
           "                          its bytes stays: on dup an unmarked member of its group,\n"
           "                          on portions an unmarked larger one, that is another file,\n"
           "                          in no trash folder, with its bytes now (checked again\n"
           "                          after the move: the file is put back when the copy went)\n"
           "      --link hard         instead of --trash, on dup: make each marked file's name\n"
           "                          a hard link to its kept copy, after the same checks, so\n"
           "                          that every path stays; the names then share one content,\n"
           "                          owner, permissions and times (editing one edits all)\n"
           "      --link reflink      instead of --trash, on dup: share the blocks of each\n"
           "                          marked file with its kept copy's (the kernel compares\n"
           "                          the bytes); each file keeps its name, inode, permissions\n"
           "                          and times; Btrfs, XFS and the like, else skipped\n"
           "      --dry-run           make every check, the action's included; change nothing\n"
           "      --allow-all-copies  also move the last copies: files of which no copy of its\n"
           "                          bytes stays (every file on name, as no copy is known)\n"
           "  Each file is one line as it goes (text: \"trashed: PATH\", \"would trash: PATH\",\n"
           "  \"linked: PATH\", \"shared: PATH\" or \"skipped: PATH: REASON\"; tsv: ACTION,\n"
           "  PATH, REASON; json: an object), then\n"
           "  the totals on stderr, such as \"2 files, 2000 bytes moved to the trash; 1 stayed\".\n"
           "  One review runs at a time; another waits up to 3 seconds, then gives up (1).\n"
           "  A signal stops the review after the file in hand (130 SIGINT, 143 SIGTERM).\n"
           "  Example:\n"
           "    kormial-cli -f json ~/Music > result.json\n"
           "    kormial-cli --load result.json --mark keep-oldest --dry-run\n"
           "    kormial-cli --load result.json --keep ~/Music/originals --mark keep-oldest --trash\n"
           "    kormial-cli --load result.json --mark keep-oldest --link reflink\n"
           "\n"
           "The lists go to stdout; status texts and messages go to stderr. In a path,\n"
           "control characters (C0, DEL, C1) and bytes that are not UTF-8 are escaped:\n"
           "  text, stderr  \\e (ESC), \\t \\n \\r, \\\\ (backslash), \\xnn for each other byte\n"
           "  tsv           \\t \\n \\r \\\\, \\xnn for each other byte (ESC is \\x1b), decodable\n"
           "  json          \\t \\n \\r, \\u00nn for the other control characters; U+FFFD\n"
           "                for a byte that is not UTF-8, the exact bytes in \"name_hex\"\n"
           "                and \"folder_hex\"\n"
           "\n"
           "SIGINT (Ctrl+C), SIGTERM or SIGHUP stops the search and the lists found so far\n"
           "are printed, marked incomplete (\"complete\": false in json); a second signal\n"
           "ends the program at once.\n"
           "\n"
           "Exit status:\n"
           "  0      the search ran to the end (files and folders it could not read are\n"
           "         listed); in a review, every marked file was moved or linked (or\n"
           "         would be)\n"
           "  1      the output could not be written; in a review, a file was skipped, or\n"
           "         another review held the lock\n"
           "  2      bad input, such as a folder to search that does not exist, is not a\n"
           "         folder or cannot be opened (nothing is searched)\n"
           "  128+N  the search or the review was stopped by signal N (130 SIGINT, 143\n"
           "         SIGTERM, 129 SIGHUP)\n"
           "  141    the reader of the output went away (a closed pipe); no message\n";
}

namespace {

std::optional<std::string> sizeArgument(const std::string& opt, const std::string& value,
                                        std::string& error)
{
    if (!ConvertSizeText(value, false) || value.find_first_of(" \t") != std::string::npos) {
        error = "kormial-cli: " + opt + " needs a whole number of KB in the range -2147483648 to "
                "2147483647, not \"" + value + "\"";
        return std::nullopt;
    }
    return value;
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& args)
{
    ParseResult result;
    Options o;
    std::string pattern = "*.*";
    std::string minText;  // as given, for the messages
    std::string maxText;
    bool recursive = true;
    bool optionsEnded = false;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        std::string inlineValue;
        bool hasInline = false;
        if (!optionsEnded && a.rfind("--", 0) == 0 && a.size() > 2) {
            const auto eq = a.find('=');
            if (eq != std::string::npos) {
                inlineValue = a.substr(eq + 1);
                a = a.substr(0, eq);
                hasInline = true;
            }
        }
        auto value = [&](std::string& out) -> bool {
            if (hasInline) {
                out = inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        // switches take no value: "--tolerant=no" must not turn tolerance on
        if (hasInline && a == "--") {
            return fail("kormial-cli: unknown option \"" + args[i] + "\" (see kormial-cli --help)");
        }
        if (hasInline && (a == "--help" || a == "--version" || a == "--subfolders" || a == "--no-subfolders" || a == "--tolerant" ||
                          a == "--trash" || a == "--dry-run" || a == "--allow-all-copies")) {
            return fail("kormial-cli: " + a + " takes no value");
        }
        const bool keep = !optionsEnded && a == "--keep";
        if (keep && !value(a)) {
            return fail("kormial-cli: --keep needs a folder whose files are reference copies");
        }
        if (keep || optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            // a folder: one search entry with the pattern in force
            if (a.empty()) {
                return fail("kormial-cli: an empty folder name was given");
            }
            SearchEntry e{a, pattern, recursive, keep};
            if (e.folder.back() != '/') {
                e.folder += '/';
            }
            // the same path twice is passed over, as the [>] button does; Keep
            // given for either holds
            const auto known = std::find_if(o.request.entries.begin(), o.request.entries.end(),
                                            [&](const SearchEntry& x) {
                                                return x.folder == e.folder && x.pattern == e.pattern;
                                            });
            if (known == o.request.entries.end()) {
                o.request.entries.push_back(std::move(e));
            } else {
                known->keep = known->keep || keep;
            }
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "-r" || a == "--subfolders") {
            recursive = true;
        } else if (a == "-R" || a == "--no-subfolders") {
            recursive = false;
        } else if (a == "-l" || a == "--tolerant") {
            o.request.tolerant = true;
        } else if (a == "-p" || a == "--pattern") {
            if (!value(pattern)) {
                return fail("kormial-cli: " + a + " needs a pattern, such as \"*.mp3\"");
            }
            if (pattern.empty()) {
                return fail("kormial-cli: the pattern must not be empty (\"*.*\" selects every file)");
            }
            if (pattern.find('/') != std::string::npos) {
                return fail("kormial-cli: the pattern \"" + pattern + "\" must not contain \"/\"");
            }
        } else if (a == "--min" || a == "--max") {
            std::string v;
            if (!value(v)) {
                return fail("kormial-cli: " + a + " needs a size in whole KB");
            }
            const auto checked = sizeArgument(a, v, result.error);
            if (!checked) {
                return result;
            }
            (a == "--min" ? minText : maxText) = *checked;
            (a == "--min" ? o.request.minKb : o.request.maxKb) = *ConvertSizeText(*checked, false);
        } else if (a == "-t" || a == "--types") {
            std::string v;
            if (!value(v)) {
                return fail("kormial-cli: " + a + " needs a list such as zero,dup,name,portions");
            }
            SearchTypes types;
            std::size_t start = 0;
            while (true) {
                const auto comma = v.find(',', start);
                const std::string t = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                if (t == "zero") {
                    types.set(SearchType::ZeroSize);
                } else if (t == "dup") {
                    types.set(SearchType::Duplicates);
                } else if (t == "name") {
                    types.set(SearchType::SameName);
                } else if (t == "portions") {
                    types.set(SearchType::Portions);
                } else {
                    return fail("kormial-cli: unknown search type \"" + t +
                                "\" (choose from zero, dup, name, portions)");
                }
                if (comma == std::string::npos) {
                    break;
                }
                start = comma + 1;
            }
            o.request.types = types;
        } else if (a == "-f" || a == "--format") {
            std::string v;
            if (!value(v)) {
                return fail("kormial-cli: " + a + " needs a format: text, tsv or json");
            }
            if (v == "text") {
                o.format = Format::Text;
            } else if (v == "tsv") {
                o.format = Format::Tsv;
            } else if (v == "json") {
                o.format = Format::Json;
            } else {
                return fail("kormial-cli: unknown format \"" + v + "\" (choose text, tsv or json)");
            }
        } else if (a == "--exclude") {
            std::string v;
            if (!value(v) || v.empty()) {
                return fail("kormial-cli: --exclude needs a name or path to leave out, such as .git");
            }
            o.request.exclude.push_back(std::move(v));
        } else if (a == "--load") {
            if (!value(o.review.load) || o.review.load.empty()) {
                return fail("kormial-cli: --load needs a file saved with -f json, or - for stdin");
            }
        } else if (a == "--list") {
            std::string v;
            const char* const names[] = {"zero", "dup", "name", "portions"};
            const auto* at = value(v) ? std::find(std::begin(names), std::end(names), v) : std::end(names);
            if (at == std::end(names)) {
                return fail("kormial-cli: --list needs one of dup, zero, name, portions");
            }
            o.review.list = static_cast<int>(at - std::begin(names));
        } else if (a == "--mark") {
            std::string v;
            const char* const names[] = {"all", "older", "newer", "smaller", "larger",
                                         "keep-newest", "keep-oldest", "keep-first"};
            const auto* at = value(v) ? std::find(std::begin(names), std::end(names), v) : std::end(names);
            if (at == std::end(names)) {
                return fail("kormial-cli: --mark needs one of all, older, newer, smaller, larger, keep-newest, "
                            "keep-oldest, keep-first");
            }
            o.review.mark = static_cast<MarkRule>(at - std::begin(names) + 1);
        } else if (a == "--trash") {
            o.review.trash = true;
        } else if (a == "--link") {
            std::string v;
            if (!value(v) || (v != "hard" && v != "reflink")) {
                return fail("kormial-cli: --link needs hard or reflink");
            }
            o.review.link = v == "hard" ? Link::Hard : Link::SharedBlocks;
        } else if (a == "--dry-run") {
            o.review.dryRun = true;
        } else if (a == "--allow-all-copies") {
            o.review.allowAllCopies = true;
        } else {
            return fail("kormial-cli: unknown option \"" + a + "\" (see kormial-cli --help)");
        }
    }
    if (o.help || o.version) {
        result.options = std::move(o);
        return result;
    }
    if (o.request.entries.empty() && o.review.load.empty()) {
        return fail("kormial-cli: no folder to search (see kormial-cli --help)");
    }
    const bool searchFolders = std::any_of(o.request.entries.begin(), o.request.entries.end(),
                                           [](const SearchEntry& e) { return !e.keep; });
    if (searchFolders && !o.review.load.empty()) {
        return fail("kormial-cli: --load reviews a saved result; it takes no folders to search (--keep FOLDER "
                    "protects its rows below FOLDER)");
    }
    const Review& v = o.review;
    if (v.active() != (v.mark != MarkRule::None)) {
        return fail("kormial-cli: --mark goes with --trash, --link or --dry-run, and they with --mark");
    }
    if (v.link != Link::None && (v.trash || v.allowAllCopies || v.list != 1)) {
        return fail("kormial-cli: --link links files of --list dup to their kept copies; it goes with neither "
                    "--trash nor --allow-all-copies");
    }
    const bool byDate = v.mark == MarkRule::Older || v.mark == MarkRule::Newer;
    const bool bySize = v.mark == MarkRule::Smaller || v.mark == MarkRule::Larger;
    if ((byDate && v.list == 0) || (bySize && v.list != 3)) {
        return fail("kormial-cli: --mark older and newer do not apply to --list zero, smaller and larger "
                    "only to --list portions");
    }
    if (!minText.empty() && !maxText.empty()) {
        if (o.request.maxKb <= o.request.minKb) {
            return fail("kormial-cli: Max File Size(" + maxText + ") must be greater than Min File Size(" +
                        minText + ").");
        }
    }
    result.options = std::move(o);
    return result;
}

}  // namespace kormial::cli
