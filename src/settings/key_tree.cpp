#include "settings/key_tree.h"

#include <charconv>

namespace kerfo::settings {

namespace {

enum class Field { kKeyPath, kValueName, kValueData };

bool mustEscape(unsigned char c, std::size_t index, std::size_t size, Field field) {
    if (c < 0x20 || c >= 0x7F || c == '%') return true;
    if (c == ' ' && (index == 0 || index + 1 == size)) return true;
    switch (field) {
        case Field::kKeyPath: return c == '[' || c == ']';
        case Field::kValueName:
            return c == '=' || c == ':' || (index == 0 && (c == '#' || c == ';' || c == '['));
        case Field::kValueData: return false;
    }
    return false;
}

void appendEscaped(std::string& out, std::string_view text, Field field) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (mustEscape(c, i, text.size(), field)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexDigit(text[i + 1]);
        const int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

}  // namespace

std::string foldCase(std::string_view text) {
    std::string out(text);
    for (auto& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

const StoredValue* StoredKey::findValue(std::string_view name) const {
    const auto folded = foldCase(name);
    for (const auto& value : values) {
        if (foldCase(value.name) == folded) return &value;
    }
    return nullptr;
}

void StoredKey::setValue(std::string_view name, std::uint32_t type, std::string data) {
    const auto folded = foldCase(name);
    for (auto& value : values) {
        if (foldCase(value.name) == folded) {
            value.type = type;
            value.data = std::move(data);
            return;
        }
    }
    values.push_back(StoredValue{std::string(name), type, std::move(data)});
}

const StoredKey* KeyTree::find(std::string_view path) const {
    const auto it = m_keys.find(foldCase(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

StoredKey* KeyTree::find(std::string_view path) {
    const auto it = m_keys.find(foldCase(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

StoredKey& KeyTree::create(std::string_view path, bool* changed) {
    // Every prefix that ends before a backslash is a key above this one.
    for (std::size_t end = path.find('\\'); end != std::string_view::npos; end = path.find('\\', end + 1)) {
        const auto parent = path.substr(0, end);
        if (m_keys.try_emplace(foldCase(parent), StoredKey{std::string(parent), {}}).second && changed) {
            *changed = true;
        }
    }
    const auto [it, inserted] = m_keys.try_emplace(foldCase(path), StoredKey{std::string(path), {}});
    if (inserted && changed) *changed = true;
    return it->second;
}

std::string KeyTree::format() const {
    std::string out(kStoreHeader);
    out += '\n';
    for (const auto& [folded, key] : m_keys) {
        out += '[';
        appendEscaped(out, key.path, Field::kKeyPath);
        out += "]\n";
        for (const auto& value : key.values) {
            appendEscaped(out, value.name, Field::kValueName);
            if (value.type != kRegSz) {
                out += ':';
                out += std::to_string(value.type);
            }
            out += '=';
            appendEscaped(out, value.data, Field::kValueData);
            out += '\n';
        }
    }
    return out;
}

std::optional<KeyTree> KeyTree::parse(std::string_view text) {
    if (text.empty() || text.back() != '\n') return std::nullopt;
    KeyTree tree;
    StoredKey* current = nullptr;
    bool first = true;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        auto line = text.substr(start, end - start);
        start = end + 1;
        // Tolerates a file saved by an editor that ends lines in CR LF.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            if (line != kStoreHeader) return std::nullopt;
            first = false;
            continue;
        }
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.size() < 3 || line.back() != ']') return std::nullopt;
            auto path = unescape(line.substr(1, line.size() - 2));
            if (!path || path->empty() || path->front() == '\\' || path->back() == '\\' ||
                path->find("\\\\") != std::string::npos) {
                return std::nullopt;
            }
            current = &tree.create(*path);
            continue;
        }
        const auto equals = line.find('=');
        if (current == nullptr || equals == std::string_view::npos) return std::nullopt;
        auto rawName = line.substr(0, equals);
        std::uint32_t type = kRegSz;
        if (const auto colon = rawName.find(':'); colon != std::string_view::npos) {
            const auto digits = rawName.substr(colon + 1);
            const auto* last = digits.data() + digits.size();
            const auto [ptr, ec] = std::from_chars(digits.data(), last, type);
            if (digits.empty() || ec != std::errc() || ptr != last) return std::nullopt;
            rawName = rawName.substr(0, colon);
        }
        auto name = unescape(rawName);
        auto data = unescape(line.substr(equals + 1));
        if (!name || !data) return std::nullopt;
        current->setValue(*name, type, std::move(*data));
    }
    if (first) return std::nullopt;
    return tree;
}

}  // namespace kerfo::settings
