#include "results/jsonstream.h"

namespace kormial {

namespace {

void appendUtf8(std::string& out, char32_t cp)
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

}  // namespace

JsonStream::JsonStream(const Source& source, int maxDepth, std::int64_t firstAllowance, const std::string& overFirst)
    : source_(source), maxDepth_(maxDepth), block_(std::size_t{1} << 16)
{
    allow(firstAllowance, overFirst);
}

void JsonStream::allow(std::int64_t bytes, const std::string& overLimit)
{
    limit_ = used_ + bytes;
    overLimit_ = &overLimit;
}

void JsonStream::fail(const std::string& why) const
{
    throw JsonRefusal{JsonRefusal::Kind::Malformed, why + where()};
}

void JsonStream::beyond(const std::string& why) const
{
    throw JsonRefusal{JsonRefusal::Kind::BeyondLimits, why + where()};
}

bool JsonStream::fill()
{
    if (ended_) {
        return false;
    }
    const std::int64_t got = source_(block_.data(), block_.size());
    if (got < 0) {
        throw JsonRefusal{JsonRefusal::Kind::Unreadable, "cannot be read to its end"};
    }
    ended_ = got == 0;
    at_ = 0;
    end_ = static_cast<std::size_t>(got);
    return !ended_;
}

// The next byte without taking it, or -1 at the end.
int JsonStream::peek()
{
    if (at_ == end_ && !fill()) {
        return -1;
    }
    return static_cast<unsigned char>(block_[at_]);
}

// Takes the next byte; the end is a fault here.
char JsonStream::take()
{
    if (peek() < 0) {
        fail("it ends in the middle");
    }
    if (used_ == limit_) {
        beyond(*overLimit_);
    }
    ++used_;
    const char c = block_[at_++];
    line_ += c == '\n' ? 1 : 0;
    return c;
}

void JsonStream::blank()
{
    for (int c = peek(); c == ' ' || c == '\t' || c == '\n' || c == '\r'; c = peek()) {
        take();
    }
}

bool JsonStream::eat(char c)
{
    blank();
    return peek() == static_cast<unsigned char>(c) && (take(), true);
}

void JsonStream::expect(char c, std::string_view what)
{
    if (!eat(c)) {
        fail(std::string(what) + " expected");
    }
}

void JsonStream::end()
{
    blank();
    if (peek() >= 0) {
        fail("more after the end of the document");
    }
}

void JsonStream::nest(int depth)
{
    if (depth > maxDepth_) {
        beyond("values nested more than " + std::to_string(maxDepth_) + " deep");
    }
}

void JsonStream::object(int depth, const std::function<bool(const std::string&)>& member)
{
    nest(depth);
    expect('{', "an object");
    if (eat('}')) {
        return;
    }
    std::string key;
    do {
        expect('"', "a member name");
        key.clear();
        stringRest(&key);
        expect(':', "\":\"");
        if (!member(key)) {
            skipValue(depth + 1);
        }
    } while (eat(','));
    expect('}', "\",\" or \"}\"");
}

void JsonStream::array(int depth, const std::function<void()>& item)
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

void JsonStream::skipValue(int depth)
{
    blank();
    switch (peek()) {
    case '{': object(depth, [](const std::string&) { return false; }); return;
    case '[': array(depth, [&] { skipValue(depth + 1); }); return;
    case '"': take(), stringRest(nullptr); return;
    case 't': word("true"); return;
    case 'f': word("false"); return;
    case 'n': word("null"); return;
    default: number(); return;
    }
}

void JsonStream::word(std::string_view w)
{
    for (const char c : w) {
        if (take() != c) {
            fail("not JSON");
        }
    }
}

bool JsonStream::boolean(std::string_view key)
{
    blank();
    const int c = peek();
    if (c != 't' && c != 'f') {
        fail("\"" + std::string(key) + "\" is not true or false");
    }
    word(c == 't' ? "true" : "false");
    return c == 't';
}

void JsonStream::text(std::string& out, std::string_view key)
{
    blank();
    if (peek() != '"') {
        fail("\"" + std::string(key) + "\" is not a string");
    }
    take();
    stringRest(&out);
}

bool JsonStream::digits()
{
    bool any = false;
    for (int c = peek(); c >= '0' && c <= '9'; c = peek()) {
        number_ += take();
        any = true;
    }
    return any;
}

// A number's literal, into number_.
void JsonStream::number()
{
    number_.clear();
    if (peek() == '-') {
        number_ += take();
    }
    bool ok = digits();
    if (ok && peek() == '.') {
        number_ += take();
        ok = digits();
    }
    if (ok && (peek() == 'e' || peek() == 'E')) {
        number_ += take();
        if (peek() == '+' || peek() == '-') {
            number_ += take();
        }
        ok = digits();
    }
    if (!ok) {
        fail("not JSON");
    }
}

char32_t JsonStream::hex4()
{
    char32_t cp = 0;
    for (int i = 0; i < 4; ++i) {
        const int h = take() | 0x20;
        const int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : -1;
        if (d < 0) {
            fail("a \\u escape without four hexadecimal digits");
        }
        cp = cp * 16 + static_cast<char32_t>(d);
    }
    return cp;
}

// The character that an escape stands for, after its backslash.
char32_t JsonStream::escape()
{
    switch (const char e = take()) {
    case '"':
    case '\\':
    case '/': return static_cast<char32_t>(e);
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'u': break;
    default: fail("an unknown escape in a string");
    }
    char32_t cp = hex4();
    if (cp >= 0xD800 && cp < 0xDC00) {
        const char32_t low = take() == '\\' && take() == 'u' ? hex4() : 0;
        cp = low >= 0xDC00 && low < 0xE000 ? 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00) : 0xDC00;
    }
    if (cp >= 0xDC00 && cp < 0xE000) {
        fail("a lone surrogate in a string");
    }
    return cp;
}

// The rest of a string after its opening quote, into `out` when given.
void JsonStream::stringRest(std::string* out)
{
    for (char c = take(); c != '"'; c = take()) {
        if (static_cast<unsigned char>(c) < 0x20) {
            fail("a control character inside a string");
        }
        const char32_t cp = c == '\\' ? escape() : static_cast<unsigned char>(c);
        if (out == nullptr) {
            continue;
        }
        if (c == '\\') {
            appendUtf8(*out, cp);
        } else {
            *out += c;  // the bytes as they are, UTF-8 or not
        }
    }
}

}  // namespace kormial
