#include "filejobs/gate.h"

#include <array>

#include "filejobs/messages.h"
#include "filejobs/paths.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "texts/texts.h"

namespace kerfo::filejobs {
namespace {

using texts::Icon;
using texts::Message;

struct AttributeRefusal {
    int value;
    std::string_view reason;
    std::string_view advice;
};

// The texts of the refused attribute values. Any value with the read-only, hidden or system
// bit is refused: a listed value with its own text, any other with the text listed for its
// read-only, hidden, system and archive bits, or else for its first three bits alone.
constexpr std::array kRefusedAttributes{
    AttributeRefusal{1, texts::kReadOnly, texts::kChangeAttribute},
    AttributeRefusal{2, texts::kHidden, texts::kChangeAttribute},
    AttributeRefusal{3, texts::kReadOnlyHidden, texts::kChangeAttributes},
    AttributeRefusal{4, texts::kSystemFile, texts::kNoSystemFiles},
    AttributeRefusal{5, texts::kReadOnlySystem, texts::kNoSystemFiles},
    // Hidden and system, which the classic table left out: a system file all the same.
    AttributeRefusal{6, texts::kSystemFile, texts::kNoSystemFiles},
    AttributeRefusal{7, texts::kReadOnlyHidden, texts::kChangeAttributes},
    AttributeRefusal{33, texts::kReadOnlyCapital, texts::kChangeAttribute},
    AttributeRefusal{34, texts::kHidden, texts::kChangeAttribute},
    AttributeRefusal{35, texts::kReadOnlyHidden, texts::kChangeAttributes},
    AttributeRefusal{36, texts::kSystemFile, texts::kNoSystemFiles},
};

// The refusal for attribute value `value`, or null when it has none of the three bits.
const AttributeRefusal* attributeRefusal(int value) {
    const int bits =
        value & (platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem);
    if (bits == 0) return nullptr;
    for (const int key : {value & (bits | platform::kAttrArchive), bits}) {
        for (const auto& refused : kRefusedAttributes) {
            if (refused.value == key) return &refused;
        }
    }
    return nullptr;
}

struct NameRefusal {
    bool (*applies)(std::string_view path);
    std::string_view reason;
    std::string_view advice;
};

// Names Windows does not take as they are written: a device's name opens the device, and a
// trailing dot or space is dropped, so that another file would be read and removed.
#ifdef _WIN32
constexpr std::array kRefusedNames{
    NameRefusal{isDeviceName, texts::kDeviceName, texts::kNoDevices},
    NameRefusal{hasTrimmedPart, texts::kTrimmedName, texts::kTrimmedNameAdvice},
};
#else
constexpr std::array<NameRefusal, 0> kRefusedNames{};
#endif

// The attribute value as the gate sees it: 0 when it cannot be read or does not fit
// in the classic 16-bit value.
int attributeValue(platform::FileSystem& files, const std::string& path) {
    const auto value = files.attributes(path);
    return !value || *value < 0 || *value > 32767 ? 0 : *value;
}

// The first eight bytes, or spaces where the file is shorter or cannot be read (an
// unreadable file probes as plain; the job reports why it cannot be read).
std::string probe(platform::FileSystem& files, const std::string& path) {
    std::string head(kMarker.size(), ' ');
    const auto file = files.openRead(path);
    if (!file) return head;
    std::size_t got = 0;
    while (got < head.size()) {
        const auto n = (*file)->read(head.data() + got, head.size() - got);
        if (!n || *n == 0) break;
        got += *n;
    }
    return head;
}

}  // namespace

GateResult checkAll(const std::string& userFile, platform::FileSystem& files) {
    GateResult result;
    if (userFile.empty()) {
        result.refusal = Message{std::string(texts::kUsage), Icon::kWarning,
                                 std::string(texts::kAppTitle)};
        return result;
    }
    // What a killed job left in this folder goes now, before anyone looks at it: plain
    // text in a temporary file must not wait for the next job.
    files.removeStaleTemps(platform::directoryOf(userFile));

    for (const auto& refused : kRefusedNames) {
        if (refused.applies(userFile)) {
            result.refusal = fileWarning(userFile, refused.reason, refused.advice);
            return result;
        }
    }

    // A missing file, a directory or one whose length cannot be read counts as empty.
    const auto info = files.stat(userFile);
    const bool regular = info && info->type == platform::FileType::kRegular;
    if (!info || info->type == platform::FileType::kDirectory || (regular && info->size == 0)) {
        result.refusal = fileWarning(userFile, texts::kIsEmpty, texts::kEmptyAdvice);
        return result;
    }
    // A link would be left leading nowhere once its file is replaced: the user opens the
    // file itself.
    if (const auto name = files.entry(userFile);
        name && name->type == platform::FileType::kSymbolicLink) {
        std::string advice(texts::kOpenTargetLead);
        advice += files.resolve(userFile);
        advice += texts::kOpenTargetTail;
        result.refusal = fileWarning(userFile, texts::kIsSymbolicLink, advice);
        return result;
    }

    if (const auto* refused = attributeRefusal(attributeValue(files, userFile))) {
        result.refusal = fileWarning(userFile, refused->reason, refused->advice);
        return result;
    }
    // Whatever its attribute value, a device, FIFO or socket is never opened: reading a
    // FIFO would hang the program.
    if (!regular) {
        result.refusal = fileWarning(userFile, texts::kSystemFile, texts::kNoSystemFiles);
        return result;
    }

    result.mode = probe(files, userFile) == kMarker ? Mode::kDecrypt : Mode::kEncrypt;

    // Another name of the file would keep its text after the job removed this one.
    if (info->links > 1) {
        result.refusal = fileWarning(
            userFile,
            result.mode == Mode::kDecrypt ? texts::kOtherNamesEncrypted : texts::kOtherNamesPlain,
            texts::kNoLinkedFiles);
        return result;
    }

    // Anything under the output name that is not this file's own entry would be lost or
    // would receive the text: say so before the user types a password. The source's own
    // entry under that name (a case-insensitive folder) is replaced in place.
    try {
        const std::string target =
            replaceExtension(userFile, result.mode == Mode::kDecrypt ? ".txt" : ".kfo");
        if (files.entry(target) && !files.sameEntry(userFile, target)) {
            result.refusal = fileWarning(target, texts::kAlreadyExists, texts::kNoOverwrite);
            return result;
        }
    } catch (const platform::RuntimeError&) {
        // No output name can be made; the job reports it.
    }
    result.caption = std::string(texts::kCaptionPrefix) + GetFileName(userFile, kPathSeparator);
    return result;
}

GateResult checkAll(const std::string& userFile) {
    return checkAll(userFile, platform::realFileSystem());
}

}  // namespace kerfo::filejobs
