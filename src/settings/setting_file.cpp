#include "settings/setting_file.hpp"


#include "common/console.hpp"
#include "common/messages.hpp"
#include "common/text_file.hpp"
#include "settings/setting_keys.hpp"

namespace tavrel {
namespace {

constexpr char kByteFF = '\xFF';

class Cursor {
public:
    explicit Cursor(std::string_view line) : line_(line) {}

    bool atEnd() const { return pos_ >= line_.size(); }
    char peek() const { return line_[pos_]; }
    void skipBlanks() {
        while (!atEnd() && isBlank(line_[pos_])) ++pos_;
    }
    bool skipIf(char c) {
        if (atEnd() || line_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    // Characters up to, not including, the first one for which stop() holds.
    template <class Stop>
    std::string_view takeUntil(Stop stop) {
        const std::size_t from = pos_;
        while (!atEnd() && !stop(line_[pos_])) ++pos_;
        return line_.substr(from, pos_ - from);
    }

private:
    std::string_view line_;
    std::size_t pos_ = 0;
};

bool endsPairs(const Cursor& cur) {
    if (cur.atEnd()) return true;
    const char c = cur.peek();
    return c == kByteFF || c == '\r' || c == '\n' || c == '#' || c == '*' || c == '%';
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view takeValue(Cursor& cur) {
    if (cur.skipIf('"')) {
        const std::string_view value = cur.takeUntil([](char c) { return c == '"' || c == kByteFF; });
        cur.skipIf('"');
        return value;
    }
    if (cur.skipIf('{')) {
        const std::string_view value = cur.takeUntil([](char c) { return c == '}' || c == kByteFF; });
        cur.skipIf('}');
        return value;
    }
    const std::string_view value =
        cur.takeUntil([](char c) { return isBlank(c) || c == ';' || c == kByteFF; });
    cur.skipIf(';');
    return value;
}

}  // namespace

void scanSettingLine(std::string_view line, SettingMap& settings, Observer& observer) {
    Cursor cur(line);
    while (!endsPairs(cur)) {
        cur.skipBlanks();
        const std::string key =
            lowerCase(cur.takeUntil([](char c) { return isBlank(c) || c == '=' || c == kByteFF; }));
        cur.skipBlanks();
        cur.skipIf('=');
        cur.skipBlanks();
        const std::string_view value = takeValue(cur);

        if (const auto canonical = canonicalKey(key)) {
            settings[std::string(*canonical)] = std::string(value);
        } else if (isRetiredKey(key)) {
            warn(observer, "Sorry, parameter \"", key, "\" is not supported now.");
        } else {
            warn(observer, "Parameter \"", key, "\" is unknown.");
        }

        cur.skipBlanks();
        cur.skipIf(';');
        cur.skipBlanks();
    }
}

void readSettingFile(const std::string& fileName, SettingMap& settings, Observer& observer) {
    LineReader reader(fileName);
    std::string_view line;
    while (reader.next(line)) scanSettingLine(line, settings, observer);
}

}  // namespace tavrel
