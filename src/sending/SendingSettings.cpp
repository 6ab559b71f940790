// The entry points that read the settings record; kept apart so that code and tests which pass
// the directories and the prefix themselves do not need the settings.
#include "app/Settings.h"
#include "platform/Files.h"
#include "sending/FaxImage.h"
#include "sending/PhoneNumbers.h"

bool AddAreaPrefix(std::string& text) {
    return AddAreaPrefix(text, Settings().DefaultAreaCode);
}

std::optional<std::string> CopyDocumentToSent(const std::string& documentPath, IPrompt& prompt) {
    return CopyDocumentToSent(documentPath, platform::JoinPath(Settings().DataDir, "SentFaxes"),
                              prompt);
}

CSplitResult SplitPerRecipient(const std::string& inputPath, int pagesPerRecipient) {
    return SplitPerRecipient(inputPath, pagesPerRecipient,
                             platform::JoinPath(Settings().DataDir, "Merge"));
}
