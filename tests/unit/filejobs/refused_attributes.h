// The attribute values the gate refuses, with the exact text each refusal shows after the
// path: every value with the read-only, hidden or system bit. Written out here rather than
// taken from the code, so a changed message fails.
#pragma once

#include <map>
#include <string>

namespace kerfo::test {

inline const std::map<int, std::string>& refusedAttributeTexts() {
    static const std::string attr = "change this file attribute and try again.";
    static const std::string attrs = "change these file attributes and try again.";
    static const std::string sys = "Kerfo will NOT work with system files.";
    static const std::map<int, std::string> refused = {
        {1, " is Read-only:\r\n" + attr},
        {2, " is Hidden:\r\n" + attr},
        {3, " is Read-only and Hidden:\r\n" + attrs},
        {4, " is a System file:\r\n" + sys},
        {5, " is Read-only and belongs to the System:\r\n" + sys},
        {7, " is Read-only and Hidden:\r\n" + attrs},
        {33, " is Read-Only:\r\n" + attr},
        {34, " is Hidden:\r\n" + attr},
        {35, " is Read-only and Hidden:\r\n" + attrs},
        {36, " is a System file:\r\n" + sys},
        // The combinations the classic table left out take the text of the same bits.
        {6, " is a System file:\r\n" + sys},
        {37, " is Read-only and belongs to the System:\r\n" + sys},
        {38, " is a System file:\r\n" + sys},
        {39, " is Read-only and Hidden:\r\n" + attrs},
        {0x2001, " is Read-only:\r\n" + attr},
        {0x2021, " is Read-Only:\r\n" + attr},
        {0x1026, " is a System file:\r\n" + sys},
    };
    return refused;
}

}  // namespace kerfo::test
