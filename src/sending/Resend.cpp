#include "sending/Resend.h"

#include "platform/Files.h"
#include "resources/Strings.h"
#include "sending/TiffPages.h"
#include "service/JobState.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_set>

namespace {

template <typename Recipients>
void AddUndelivered(const Recipients& recipients, std::vector<std::string>& lines) {
    std::unordered_set<std::string> seen;
    for (const CFaxEntry& r : recipients) {
        if (r.m_status != kJobStateNotDelivered || r.m_recipient.empty() ||
            !seen.insert(r.m_recipient).second) {
            continue;
        }
        lines.push_back(r.m_recipientLabel.empty() ? r.m_recipient
                                                   : r.m_recipient + " " + r.m_recipientLabel);
    }
}

} // namespace

std::vector<std::string> UndeliveredLines(const CFaxEntryBase& mailing) {
    std::vector<std::string> lines;
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&mailing)) {
        AddUndelivered(list->m_recipients, lines);
    } else if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&mailing)) {
        AddUndelivered(personal->m_recipients, lines);
    }
    return lines;
}

bool HasUndelivered(const CFaxEntryBase& entry) {
    auto failed = [](const CFaxEntry& r) { return r.m_status == kJobStateNotDelivered; };
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&entry)) {
        return std::any_of(list->m_recipients.begin(), list->m_recipients.end(), failed);
    }
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&entry)) {
        return std::any_of(personal->m_recipients.begin(), personal->m_recipients.end(), failed);
    }
    return false;
}

namespace {

constexpr unsigned kIdsResendUnreadable = 9460;
constexpr unsigned kIdsResendPagesDiffer = 9461;
constexpr unsigned kIdsResendNotWritten = 9462;

// Every page of one recipient's image, in order (read whole: a damaged page stops the run
// before anything of that recipient is written).
bool ReadAllPages(const std::string& path, std::vector<CTiffPage>& pages, std::string& error) {
    CTiffPageReader reader;
    if (!reader.Open(path, error)) {
        return false;
    }
    std::unordered_set<std::uint32_t> seen;
    std::uint64_t held = 0;
    for (std::uint32_t offset = reader.FirstDirectory(); offset != 0;) {
        if (!seen.insert(offset).second || pages.size() >= 0xFFFF) {
            error = "page directories form a loop";
            return false;
        }
        CTiffPage& page = pages.emplace_back();
        if (!reader.ReadPage(offset, page, offset, error)) {
            return false;
        }
        held += page.strips.size();
        if (held > reader.Size()) {
            error = "pages share their data";
            return false;
        }
    }
    return true;
}

} // namespace

std::string BuildResendRun(const CPersonalFaxEntry& mailing, const std::string& storeDir,
                           const std::string& dir, CResendRun& run) {
    run = CResendRun{platform::JoinPath(dir, "resend.tif"), platform::JoinPath(dir, "resend.txt"),
                     0, 0};
    std::vector<const CAttachFaxEntry*> failed;
    for (const CAttachFaxEntry& r : mailing.m_recipients) {
        if (r.m_status == kJobStateNotDelivered) {
            failed.push_back(&r);
        }
    }
    // Page counts first: unequal parts fail before anything is written.
    std::vector<std::string> images;
    for (const CAttachFaxEntry* r : failed) {
        images.push_back(FileInStore(storeDir, r->StoreName()));
        std::vector<CTiffPage> pages;
        std::string error;
        if (images.back().empty() || !ReadAllPages(images.back(), pages, error)) {
            return FormatString(LoadString(kIdsResendUnreadable), r->m_recipient,
                                error.empty() ? std::strerror(ENOENT) : error);
        }
        const auto count = static_cast<std::int32_t>(pages.size());
        if (run.pagesPerRecipient != 0 && count != run.pagesPerRecipient) {
            return FormatString(LoadString(kIdsResendPagesDiffer),
                                std::to_string(run.pagesPerRecipient), std::to_string(count));
        }
        run.pagesPerRecipient = count;
    }
    const std::size_t total = failed.size() * static_cast<std::size_t>(run.pagesPerRecipient);
    if (failed.empty() || total > 0xFFFF) {
        return FormatString(LoadString(kIdsResendNotWritten), run.runPath, std::strerror(EINVAL));
    }
    auto notWritten = [&](const std::string& path) {
        return FormatString(LoadString(kIdsResendNotWritten), path, std::strerror(errno));
    };
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(run.runPath.c_str(), "wb"),
                                                        &std::fclose);
    std::uint64_t position = 0;
    if (!out || !WriteTiffHeader(out.get(), position)) {
        return notWritten(run.runPath);
    }
    std::string recipients;
    std::int32_t index = 0;
    for (std::size_t i = 0; i < failed.size(); ++i) {
        std::vector<CTiffPage> pages;
        std::string error;
        if (!ReadAllPages(images[i], pages, error)) {
            return FormatString(LoadString(kIdsResendUnreadable), failed[i]->m_recipient, error);
        }
        for (CTiffPage& page : pages) {
            page.index = index++;
            if (!WriteTiffPage(out.get(), position, page, static_cast<std::size_t>(index) < total,
                               static_cast<std::uint16_t>(total))) {
                return notWritten(run.runPath);
            }
        }
        // The file's second and third fields are joined with a blank into the label again.
        const std::string& label = failed[i]->m_recipientLabel;
        const std::size_t blank = std::min(label.find(' '), label.size());
        recipients += failed[i]->m_recipient + ";" + label.substr(0, blank) + ";" +
                      label.substr(std::min(blank + 1, label.size())) + "\r\n";
    }
    if (std::fflush(out.get()) != 0 || std::ferror(out.get()) != 0) {
        return notWritten(run.runPath);
    }
    if (const int err = platform::AtomicWriteFile(run.recipientsPath, recipients); err != 0) {
        errno = err;
        return notWritten(run.recipientsPath);
    }
    run.recipients = static_cast<std::int32_t>(failed.size());
    return {};
}
