// The two preferences kept between runs: the main window's position and the state of its
// "Auto quit window" check box, as three decimal string values under `SettingsKey`.
//
// The window restores them as the first thing it does while loading (LoadPosition, then
// LoadCheck) and saves them in both its query-unload and unload events (SavePosition,
// then SaveCheck, in each). A run that ends during start-up saves nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/registry.h"

namespace kerfo::settings {

// The key that holds the preferences.
inline constexpr std::string_view SettingsKey = "HKEY_CURRENT_USER\\Software\\Tarnwick\\Kerfo";
inline constexpr std::string_view kLeftValue = "Left";
inline constexpr std::string_view kTopValue = "Top";
inline constexpr std::string_view kAutoquitValue = "Autoquit";

// Stored positions are in twips; a logical pixel is 15 twips.
inline constexpr std::int32_t kTwipsPerPixel = 15;
// Pixels to twips, saturating at the 32-bit range.
std::int32_t pixelsToTwips(std::int64_t pixels);
// Twips to pixels, rounded to the nearest pixel (halves away from zero).
std::int32_t twipsToPixels(std::int32_t twips);

// The window whose position is kept, in twips from the screen's top-left corner.
// Positions are applied as they are, off the screen too.
class PositionTarget {
public:
    virtual ~PositionTarget() = default;
    // Whether left() and top() tell where the window is. False where the desktop keeps that
    // from its windows (a native Wayland window): what they report then is no position.
    virtual bool known() const = 0;
    virtual std::int32_t left() const = 0;
    virtual void setLeft(std::int32_t twips) = 0;
    virtual std::int32_t top() const = 0;
    virtual void setTop(std::int32_t twips) = 0;
};

// The check box whose state is kept: 0 cleared, 1 ticked, 2 greyed.
class CheckTarget {
public:
    virtual ~CheckTarget() = default;
    virtual std::int16_t value() const = 0;
    // Shows `state`; returns false, changing nothing, for anything but 0, 1 or 2.
    virtual bool setValue(std::int16_t state) = 0;
};

// A read result as a whole number, the way the classic runtime converts text: blanks
// (spaces, tabs) around an optionally signed decimal number with an optional fraction and
// exponent; a fraction rounds to the nearest whole number, halves to the even one. The empty
// result gives 0. Anything else - "Error", an empty text, letters, a number outside the
// type's range - gives std::nullopt.
std::optional<std::int32_t> toLong(const std::optional<std::string>& result);
std::optional<std::int16_t> toInteger(const std::optional<std::string>& result);

class General {
public:
    // `registry` must outlive the object. Keep one object for the whole process: the values
    // it last read carry over from one load to the next.
    explicit General(Registry& registry);

    // Sets the window's left position from "Left", then its top position from "Top". Never
    // fails: a read that fails or does not convert leaves the position value as it was
    // (0 until something has been read), and the window gets that value - so a missing
    // "Top" repeats the "Left" just read.
    void LoadPosition(PositionTarget& window);
    // Sets the check box from "Autoquit". Never fails: a read that fails or does not convert
    // leaves the check value as it was (0 until something has been read); a value the box
    // refuses leaves the box as it was.
    void LoadCheck(CheckTarget& checkBox);

    // Creates the key if needed and writes "Left" and "Top" as decimal twips, each read
    // from the window just before it is written. Store failures are silent. A window whose
    // position is not known writes nothing: the stored position stays for the next run.
    void SavePosition(const PositionTarget& window);
    // Creates the key if needed and writes "Autoquit" as the box's decimal state.
    void SaveCheck(const CheckTarget& checkBox);

    std::int32_t positionValue() const { return m_positionValue; }
    std::int16_t checkValue() const { return m_checkValue; }

private:
    Registry& m_registry;
    std::int32_t m_positionValue = 0;
    std::int16_t m_checkValue = 0;
};

}  // namespace kerfo::settings
