// Temporary folders with real files, for the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kormial::test {

// A fresh folder under `under` (by default $TMPDIR, or /tmp), removed with
// everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& under = std::string());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The folder, ending in "/".
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + rel; }

private:
    std::string path_;
};

// Deterministic pseudo-random bytes.
std::string randomBytes(std::uint64_t seed, std::size_t n);

// Writes `content` to `path`, creating the folders on the way.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
void makeDirs(const std::string& path);

// Runs `body` as an unprivileged user (in a child process as "nobody" when the
// tests run as root, since root reads everything) and returns what it returned.
std::string runUnprivileged(const std::function<std::string()>& body);

// kormial-cli run to completion with its output captured; a run that takes
// longer than `timeoutSeconds` is ended (timedOut).
struct CliRun {
    int status = -1;
    bool timedOut = false;
    std::string out;
    std::string err;
};
CliRun runCli(const std::vector<std::string>& args, const std::string& cwd = std::string(),
              unsigned timeoutSeconds = 120);

// Makes `path` and everything in it readable by an unprivileged user.
void openToEveryone(const std::string& path);

}  // namespace kormial::test
