#include "filejobs/messages.h"

#include "filejobs/jobs.h"
#include "texts/texts.h"

namespace kerfo::filejobs {
namespace {

using platform::ErrorNumber;

// The report's last line for a failure the file's content cannot have caused.
std::string_view causeBesideTheFile(const JobResult& result) {
    const ErrorNumber number = result.error ? result.error->number() : ErrorNumber::kDeviceIo;
    const bool opening = result.step == JobStep::kOpening;
    switch (number) {
        case ErrorNumber::kFileNotFound:
        case ErrorNumber::kPathNotFound:
            return texts::kCauseMoved;
        case ErrorNumber::kFileAlreadyOpen:
            return texts::kCauseInUse;
        case ErrorNumber::kFileAlreadyExists:
            return texts::kCauseNameTaken;
        case ErrorNumber::kDiskFull:
            return texts::kCauseDiskFull;
        case ErrorNumber::kDeviceIo:
            return opening ? texts::kErrorReportCause : texts::kCauseDiskFailed;
        case ErrorNumber::kPathFileAccess:
            return opening ? texts::kCauseReplaced : texts::kCauseNoWrite;
        case ErrorNumber::kPermissionDenied:
            return opening ? texts::kCauseNoRead : texts::kCauseNoWrite;
        default:
            return opening ? texts::kErrorReportCause : texts::kCauseNotWritten;
    }
}

// Where the new file was named: which file now holds what.
std::string afterNaming(const JobResult& result, const std::string& userFile, bool encrypting) {
    std::string text(texts::kNewFileLead);
    text += result.newPath;
    text += texts::kNewFileComplete;
    text += userFile;
    if (result.step == JobStep::kRemoved) {
        text += texts::kRemovedWhileOpened;
    } else {
        text += encrypting ? texts::kNotRemovedPlain : texts::kNotRemovedEncrypted;
    }
    return text;
}

bool named(const JobResult& result) {
    return !result.newPath.empty() &&
           (result.step == JobStep::kRemoving || result.step == JobStep::kRemoved);
}

platform::RuntimeError errorOf(const JobResult& result) {
    return result.error.value_or(platform::RuntimeError(ErrorNumber::kDeviceIo));
}

// "An error # N was generated:", the description, then `last`.
texts::Message errorReport(const platform::RuntimeError& error, std::string_view last) {
    std::string text(texts::kErrorReportLead);
    text += ' ';
    text += std::to_string(error.code());
    text += texts::kErrorReportMiddle;
    text += texts::kCrLf;
    text += texts::kCrLf;
    text += error.description();
    text += texts::kCrLf;
    text += last;
    return texts::Message{std::move(text), texts::Icon::kError,
                          std::string(texts::kErrorReportTitle)};
}

}  // namespace

texts::Message fileWarning(const std::string& path, std::string_view reason, std::string_view advice) {
    std::string text = path;
    text += reason;
    text += texts::kCrLf;
    text += advice;
    return texts::Message{std::move(text), texts::Icon::kWarning, std::nullopt};
}

texts::Message wrongPasswordMessage() {
    return texts::Message{std::string(texts::kAccessDenied), texts::Icon::kWarning,
                             std::string(texts::kAppTitle)};
}

texts::Message decryptErrorReport(const platform::RuntimeError& error) {
    return errorReport(error, texts::kErrorReportCause);
}

texts::Message encryptFailureMessage(const platform::RuntimeError& error) {
    std::string text(texts::kRunTimeErrorLead);
    text += std::to_string(error.code());
    text += texts::kRunTimeErrorMiddle;
    text += texts::kCrLf;
    text += texts::kCrLf;
    text += error.description();
    return texts::Message{std::move(text), texts::Icon::kError,
                             std::string(texts::kAppTitle)};
}

texts::Message decryptErrorReport(const JobResult& result, const std::string& userFile) {
    if (named(result)) return errorReport(errorOf(result), afterNaming(result, userFile, false));
    if (result.step == JobStep::kReading) return decryptErrorReport(errorOf(result));
    std::string last(causeBesideTheFile(result));
    last += texts::kCrLf;
    last += texts::kNothingChanged;
    return errorReport(errorOf(result), last);
}

texts::Message encryptFailureMessage(const JobResult& result, const std::string& userFile) {
    texts::Message message = encryptFailureMessage(errorOf(result));
    if (named(result)) {
        message.text += texts::kCrLf;
        message.text += texts::kCrLf;
        message.text += afterNaming(result, userFile, true);
    }
    return message;
}

texts::Message jobEndMessage(bool encrypting, const JobResult& result,
                             const std::string& userFile) {
    if (result.status == JobStatus::kWrongPassword) return wrongPasswordMessage();
    return encrypting ? encryptFailureMessage(result, userFile)
                      : decryptErrorReport(result, userFile);
}

std::string aboutFile(const std::string& path, std::string_view text) {
    std::string line = path;
    line += ": ";
    line += text;
    return line;
}

}  // namespace kerfo::filejobs
