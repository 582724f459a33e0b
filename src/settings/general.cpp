#include "settings/general.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>

namespace kerfo::settings {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The number a text reads as, or nullopt. Checks the whole form first so that nothing the
// library parser would also take ("inf", "nan", hex) slips through.
std::optional<double> readNumber(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::size_t i = 0;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t exponentStart = i;
        while (i < text.size() && isDigit(text[i])) ++i;
        if (i == exponentStart) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;

    // from_chars takes no '+', and a leading '.' only in the general format used here.
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return negative ? -value : value;
}

template <typename Integer>
std::optional<Integer> toWhole(const std::optional<std::string>& result) {
    if (!result) return Integer{0};
    const auto number = readNumber(*result);
    if (!number) return std::nullopt;
    // Halves go to the even neighbour, as the classic runtime rounds.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(*number);
    std::fesetround(previous);
    if (rounded < static_cast<double>(std::numeric_limits<Integer>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Integer>::max())) {
        return std::nullopt;
    }
    return static_cast<Integer>(rounded);
}

}  // namespace

std::int32_t pixelsToTwips(std::int64_t pixels) {
    const std::int64_t twips = pixels * kTwipsPerPixel;
    if (twips > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (twips < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(twips);
}

std::int32_t twipsToPixels(std::int32_t twips) {
    const std::int64_t half = kTwipsPerPixel / 2;
    const std::int64_t value = twips;
    return static_cast<std::int32_t>(value >= 0 ? (value + half) / kTwipsPerPixel
                                                : -((-value + half) / kTwipsPerPixel));
}

std::optional<std::int32_t> toLong(const std::optional<std::string>& result) {
    return toWhole<std::int32_t>(result);
}

std::optional<std::int16_t> toInteger(const std::optional<std::string>& result) {
    return toWhole<std::int16_t>(result);
}

General::General(Registry& registry) : m_registry(registry) {}

namespace {

// The loads run with errors ignored: a statement that fails is skipped and the next one
// runs, as each load statement of the original design did.
template <typename Statement>
void skipOnError(Statement statement) {
    try {
        statement();
    } catch (const std::exception&) {
    }
}

// Reads `name` into `value` when it converts; a read that fails by throwing (a value that
// trims to nothing) or by not converting leaves `value` as it was.
template <typename Integer>
void loadValue(Registry& registry, std::string_view name, Integer& value) {
    skipOnError([&] {
        const auto read = registry.GetKeyValue(std::string(SettingsKey), std::string(name));
        if (const auto number = toWhole<Integer>(read)) value = *number;
    });
}

}  // namespace

void General::LoadPosition(PositionTarget& window) {
    loadValue(m_registry, kLeftValue, m_positionValue);
    skipOnError([&] { window.setLeft(m_positionValue); });
    loadValue(m_registry, kTopValue, m_positionValue);
    skipOnError([&] { window.setTop(m_positionValue); });
}

void General::LoadCheck(CheckTarget& checkBox) {
    loadValue(m_registry, kAutoquitValue, m_checkValue);
    // The box takes only its three states; anything else is refused and skipped.
    skipOnError([&] {
        if (m_checkValue >= 0 && m_checkValue <= 2) checkBox.setValue(m_checkValue);
    });
}

void General::SavePosition(const PositionTarget& window) {
    if (!window.known()) {
        return;
    }
    m_registry.CreateNewKey(std::string(SettingsKey));
    m_registry.SetKeyValue(std::string(SettingsKey), std::string(kLeftValue), std::to_string(window.left()));
    m_registry.SetKeyValue(std::string(SettingsKey), std::string(kTopValue), std::to_string(window.top()));
}

void General::SaveCheck(const CheckTarget& checkBox) {
    m_registry.CreateNewKey(std::string(SettingsKey));
    m_registry.SetKeyValue(std::string(SettingsKey), std::string(kAutoquitValue),
                           std::to_string(checkBox.value()));
}

}  // namespace kerfo::settings
