// The target-file gate on an arbitrary file: its first byte is the attribute value the
// file reports, the second the length of its name (the name follows), the rest its content.
//
// Holds when: the gate never throws; an empty file and any attribute value with the
// read-only, hidden or system bit are refused; otherwise the mode follows the first eight bytes alone and the caption is
// "Kerfo / " and the name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filejobs/gate.h"
#include "fakes/memory_file_system.h"
#include "invariant.h"

namespace {

using kerfo::fuzz::broken;

enum Outcome { kEncryptMode, kDecryptMode, kRefusal };
kerfo::fuzz::Outcomes<3>& outcomes() {
    static kerfo::fuzz::Outcomes<3> counts({"encrypt mode", "decrypt mode", "refused"});
    return counts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int attributes = data[0];
    const std::size_t nameLength = std::min<std::size_t>(data[1] % 32, size - 2);
    std::string name(reinterpret_cast<const char*>(data + 2), nameLength);
    if (name.empty() || name.find('/') != std::string::npos) name = "doc.txt";
    const std::string content(reinterpret_cast<const char*>(data + 2 + nameLength),
                              size - 2 - nameLength);

    kerfo::fuzz::MemoryFileSystem files;
    const std::string path = "/mem/" + name;
    files.files[path] = content;
    files.attributeValue = attributes;
    const auto gate = kerfo::filejobs::checkAll(path, files);

    // Any value with the read-only, hidden or system bit is refused, alone or combined.
    constexpr int kRefusedBits = 1 | 2 | 4;
    const bool mustRefuse = content.empty() || (attributes & kRefusedBits) != 0;
    outcomes().add(gate.refusal                                   ? kRefusal
                   : gate.mode == kerfo::filejobs::Mode::kDecrypt ? kDecryptMode
                                                                  : kEncryptMode);
    if (mustRefuse != gate.refusal.has_value()) broken("refusal");
    if (gate.refusal) {
        if (gate.refusal->text.rfind(path, 0) != 0) broken("refusal does not name the file");
        return 0;
    }
    const bool marked = content.size() >= 8 && content.compare(0, 8, "[Kerfod]") == 0;
    if ((gate.mode == kerfo::filejobs::Mode::kDecrypt) != marked) broken("mode");
    if (gate.caption != "Kerfo / " + name) broken("caption");
    if (files.files.size() != 1 || files.files[path] != content) broken("the gate changed a file");
    return 0;
}
