#include "window/batch.h"

#include <algorithm>

#include "filejobs/messages.h"
#include "texts/texts.h"

namespace kerfo::window {

namespace {

// Paragraphs of a box, a blank line between them.
void addParagraph(std::string& text, std::string_view paragraph) {
    if (!text.empty()) {
        text += texts::kCrLf;
        text += texts::kCrLf;
    }
    text += paragraph;
}

// A box's text as one entry of a list: without the blank lines that part its paragraphs.
std::string withoutBlankLines(std::string text) {
    const std::string blank = std::string(texts::kCrLf) + std::string(texts::kCrLf);
    for (std::size_t at = text.find(blank); at != std::string::npos; at = text.find(blank, at)) {
        text.erase(at, texts::kCrLf.size());
    }
    return text;
}

texts::Message warning(std::string text) {
    return texts::Message{std::move(text), texts::Icon::kWarning, std::nullopt};
}

}  // namespace

std::vector<std::string> targetFiles(const std::vector<std::string>& arguments,
                                     const std::function<bool(const std::string&)>& exists) {
    if (arguments.size() > 1 && std::all_of(arguments.begin(), arguments.end(), exists)) {
        return arguments;
    }
    std::string joined;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) joined += ' ';
        joined += arguments[i];
    }
    return {joined};
}

std::string filesCaption(std::size_t count) {
    return std::string(texts::kCaptionPrefix) + std::to_string(count) +
           std::string(texts::kCaptionFiles);
}

Selection selectFiles(const std::vector<std::string>& files, Gate& gate) {
    Selection selection;
    if (files.size() == 1) {
        // One file: exactly what the window always did with it.
        filejobs::GateResult result = gate.check(files.front());
        if (result.refusal) {
            selection.box = std::move(result.refusal);
        } else {
            selection.files = files;
            selection.mode = result.mode;
            selection.caption = std::move(result.caption);
        }
        return selection;
    }

    std::vector<std::string> refusals;
    std::vector<std::string> plain;
    std::vector<std::string> encrypted;
    std::string firstCaption;
    std::optional<filejobs::Mode> firstMode;
    for (const std::string& file : files) {
        const filejobs::GateResult result = gate.check(file);
        if (result.refusal) {
            refusals.push_back(result.refusal->text);
            continue;
        }
        if (!firstMode) {
            firstMode = result.mode;
            firstCaption = result.caption;
        }
        (result.mode == filejobs::Mode::kDecrypt ? encrypted : plain).push_back(file);
    }

    if (!plain.empty() && !encrypted.empty()) {
        // Which files do not belong: the fewer, or on a tie those unlike the first.
        const bool nameEncrypted =
            encrypted.size() < plain.size() ||
            (encrypted.size() == plain.size() && firstMode == filejobs::Mode::kEncrypt);
        std::string text(nameEncrypted ? texts::kMixedEncryptedLead : texts::kMixedPlainLead);
        for (const std::string& file : nameEncrypted ? encrypted : plain) {
            text += texts::kCrLf;
            text += file;
        }
        addParagraph(text, texts::kMixedAdvice);
        selection.box = warning(std::move(text));
        return selection;
    }

    selection.files = plain.empty() ? std::move(encrypted) : std::move(plain);
    if (!refusals.empty()) selection.box = refusalsBox(refusals, !selection.files.empty());
    if (!selection.files.empty()) {
        selection.mode = *firstMode;
        selection.caption =
            selection.files.size() == 1 ? firstCaption : filesCaption(selection.files.size());
    }
    return selection;
}

texts::Message refusalsBox(const std::vector<std::string>& refusals, bool othersGoOn) {
    std::string text;
    for (const std::string& refusal : refusals) addParagraph(text, refusal);
    if (othersGoOn) addParagraph(text, texts::kOthersGoOn);
    return warning(std::move(text));
}

texts::Message batchSummary(const std::vector<FileOutcome>& outcomes) {
    std::string done(texts::kBatchDone);
    std::string notDone(texts::kBatchNotDone);
    bool anyDone = false;
    bool anyLeft = false;
    for (const FileOutcome& outcome : outcomes) {
        if (outcome.done) {
            done += texts::kCrLf;
            done += outcome.text;
            anyDone = true;
        } else {
            notDone += texts::kCrLf;
            notDone += filejobs::aboutFile(outcome.file, withoutBlankLines(outcome.text));
            anyLeft = true;
        }
    }
    std::string text;
    if (anyDone) addParagraph(text, done);
    if (anyLeft) addParagraph(text, notDone);
    return texts::Message{std::move(text),
                          anyLeft ? texts::Icon::kWarning : texts::Icon::kInformation,
                          std::string(texts::kAppTitle)};
}

}  // namespace kerfo::window
