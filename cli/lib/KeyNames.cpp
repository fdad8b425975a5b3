#include "KeyNames.h"

#include <fstream>

#include "HexDigit.h"
#include "Text.h"

namespace velnorcli {

namespace {

// Long enough for any line of usb.ids; a longer one is cut and cannot be a usage line.
constexpr std::size_t kLongestLine = 512;

// "X and Y (words)" with X and Y one character each: the words in brackets only spell out X and
// Y, so they are dropped. Other brackets ("Return (Enter)") stay.
std::string Shorten(std::string_view name) {
    const std::size_t open = name.rfind(" (");
    if (open == std::string_view::npos || name.back() != ')') return std::string(name);
    const std::string_view head = name.substr(0, open);
    const std::size_t and_ = head.find(" and ");
    const auto oneCharacter = [](std::string_view text) {
        if (text.empty() || text.size() > 4) return false;
        std::size_t characters = 0;
        for (char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        return characters == 1;
    };
    if (and_ == std::string_view::npos || !oneCharacter(head.substr(0, and_)) || !oneCharacter(head.substr(and_ + 5))) {
        return std::string(name);
    }
    return std::string(head);
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool ReadBoundedLine(std::istream& in, std::string& line) {
    line.clear();
    bool any = false;
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        any = true;
        if (c == '\n') return true;
        if (line.size() < kLongestLine) line += static_cast<char>(c);
    }
    return any;
}

}  // namespace

bool ParseUsageLine(std::string_view line, unsigned& code, std::string& name) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 7 || line[0] != '\t' || line[4] != ' ' || line[5] != ' ') return false;
    unsigned value = 0;
    for (std::size_t i = 1; i < 4; ++i) {
        const int digit = velnorbackup::HexDigit(line[i]);
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    std::string_view text = line.substr(6);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty()) return false;
    code = value;
    name = EscapeControl(Shorten(text));
    return true;
}

KeyNames KeyNames::Read(std::istream& in) {
    KeyNames names;
    std::string line;
    bool inSection = false;
    while (ReadBoundedLine(in, line)) {
        if (!inSection) {
            inSection = line.rfind("HUT 07", 0) == 0 && line.size() > 6 && (line[6] == ' ' || line[6] == '\t');
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        if (line[0] != '\t') break;  // the next section
        unsigned code = 0;
        std::string name;
        if (ParseUsageLine(line, code, name) && code < names.names_.size()) names.names_[code] = std::move(name);
    }
    return names;
}

KeyNames KeyNames::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return Read(in);
}

bool KeyNames::Empty() const {
    for (const std::string& name : names_) {
        if (!name.empty()) return false;
    }
    return true;
}

std::vector<std::uint8_t> KeyNames::CodesNamed(std::string_view name) const {
    std::vector<std::uint8_t> codes;
    // The names are held as shown, a backslash doubled: \ and | is found as typed and as shown (\\ and |).
    const std::string typed = Lower(name);
    const std::string shown = Lower(EscapeControl(std::string(name)));
    for (std::size_t code = 0; code < names_.size(); ++code) {
        const std::string held = Lower(names_[code]);
        if (!held.empty() && (held == typed || held == shown)) codes.push_back(static_cast<std::uint8_t>(code));
    }
    return codes;
}

std::vector<std::uint8_t> KeyNames::Resembling(std::string_view text, std::size_t most) const {
    std::vector<std::uint8_t> beginning;
    std::vector<std::uint8_t> holding;
    const std::string wanted = Lower(EscapeControl(std::string(text)));
    if (wanted.empty()) return {};
    for (std::size_t code = 0; code < names_.size(); ++code) {
        const std::size_t at = Lower(names_[code]).find(wanted);
        if (at == 0) beginning.push_back(static_cast<std::uint8_t>(code));
        if (at != std::string::npos && at != 0) holding.push_back(static_cast<std::uint8_t>(code));
    }
    beginning.insert(beginning.end(), holding.begin(), holding.end());
    if (beginning.size() > most) beginning.resize(most);
    return beginning;
}

}  // namespace velnorcli
