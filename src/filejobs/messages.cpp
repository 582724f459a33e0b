#include "filejobs/messages.h"

#include "texts/texts.h"

namespace kerfo::filejobs {

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
    std::string text(texts::kErrorReportLead);
    text += ' ';
    text += std::to_string(error.code());
    text += texts::kErrorReportMiddle;
    text += texts::kCrLf;
    text += texts::kCrLf;
    text += error.description();
    text += texts::kCrLf;
    text += texts::kErrorReportCause;
    return texts::Message{std::move(text), texts::Icon::kError,
                             std::string(texts::kErrorReportTitle)};
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

}  // namespace kerfo::filejobs
