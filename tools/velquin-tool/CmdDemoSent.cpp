// velquin-tool demo-sent [--count N] IMAGE: fills the sent faxes of the demo store with example
// faxes (a single fax per state, a list and a personalised list) made from one fax image; with
// --count, as many as a benchmark store needs.
#include "ToolCommand.h"

#include "app/Settings.h"
#include "app/StorePaths.h"
#include "platform/Files.h"
#include "service/JobState.h"
#include "store/FaxRecords.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The first image is a copy of `image`; the later ones are hard links to it, so a store of
// thousands of faxes does not take thousands of copies.
bool Place(const std::string& image, const std::string& dir, const std::string& stem,
           CAttach& attach, CFaxEntryBase& record, std::string& firstCopy) {
    attach.m_path = platform::JoinPath(dir, stem + ".tif");
    std::error_code ec;
    if (!firstCopy.empty()) {
        std::filesystem::remove(attach.m_path, ec);
        std::filesystem::create_hard_link(firstCopy, attach.m_path, ec);
    }
    if (firstCopy.empty() || ec) {
        if (platform::CopyFile(image, attach.m_path, false) != 0) {
            std::fprintf(stderr, "velquin-tool demo-sent: cannot copy %s\n", image.c_str());
            return false;
        }
        if (firstCopy.empty()) {
            firstCopy = attach.m_path;
        }
    }
    return platform::AtomicWriteFile(platform::JoinPath(dir, stem + ".fax"), StoreRecord(record)) ==
           0;
}

CFaxEntry Recipient(const char* number, const char* label, std::int32_t id, std::int32_t state,
                    std::int64_t when) {
    CFaxEntry r;
    r.m_recipient = number;
    r.m_recipientLabel = label;
    r.m_faxId = id;
    r.m_status = state;
    r.m_created = when;
    r.m_lastAttempt = when;
    r.m_pages = 2;
    return r;
}

// The six examples: four single faxes (one per state), a list and a personalised list.
constexpr int kExamples = 6;
constexpr int kMaxCount = 1000000;

// Writes example `k` (0..5) as stem Demo<n>, sent at `when`; ids go on from `id`.
bool WriteExample(int k, int n, std::int64_t when, std::int32_t& id, std::int32_t listId,
                  const std::string& image, const std::string& dir, std::string& firstCopy) {
    struct Single {
        const char* title;
        const char* number;
        const char* label;
        std::int32_t state;
    };
    static const Single singles[] = {
        {"Коммерческое предложение", "88125550101", "ООО «Северный ветер»", kJobStateDelivered},
        {"Счёт № 118", "84955550123", "", kJobStateNotDelivered},
        {"Акт сверки", "88125550177", "Бухгалтерия", kJobStateQueued},
        {"Договор поставки", "84955550190", "", kJobStateNone},
    };
    const std::string stem = "Demo" + std::to_string(n);
    if (k < 4) {
        const Single& s = singles[k];
        CSingleFaxEntry e(s.title);
        e.m_time = when;
        static_cast<CFaxEntry&>(e) = Recipient(s.number, s.label, id++, s.state, e.m_time);
        return Place(image, dir, stem, e, e, firstCopy);
    }
    if (k == 4) {
        CGroupFaxEntry list("Прайс-лист на декабрь");
        list.m_time = when;
        list.m_listId = listId;
        list.m_status = kJobStateDelivered;
        list.m_recipients = {
            Recipient("88125550111", "Склад", id++, kJobStateDelivered, list.m_time),
            Recipient("88125550112", "Магазин", id++, kJobStateDelivered, list.m_time),
            Recipient("84955550113", "", id++, kJobStateDelivered, list.m_time)};
        return Place(image, dir, stem, list, list, firstCopy);
    }
    CPersonalFaxEntry personal("Уведомления клиентам");
    personal.m_time = when;
    personal.m_listId = listId;
    personal.m_status = kJobStateQueued;
    for (const auto& r :
         {Recipient("88125550121", "Иванов И. И.", id++, kJobStateDelivered, personal.m_time),
          Recipient("88125550122", "Петров П. П.", id++, kJobStateQueued, personal.m_time)}) {
        CAttachFaxEntry a;
        static_cast<CFaxEntry&>(a) = r;
        personal.m_recipients.push_back(a);
    }
    return Place(image, dir, stem, personal, personal, firstCopy);
}

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("demo-sent");
    std::string image;
    std::string countText;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool missing = false;
        if (IsHelpFlag(args[i])) {
            return ToolUsageError(cmd, "");
        }
        if (TakeOption(args, i, "--count", countText, missing)) {
            if (missing) {
                return ToolUsageError(cmd, "--count needs a number");
            }
            continue;
        }
        if (!image.empty()) {
            return ToolUsageError(cmd, "expected one fax image");
        }
        image = args[i];
    }
    if (image.empty()) {
        return ToolUsageError(cmd, "expected the fax image to use");
    }
    int count = kExamples;
    if (!countText.empty()) {
        const char* end = countText.data() + countText.size();
        auto r = std::from_chars(countText.data(), end, count);
        if (r.ec != std::errc() || r.ptr != end || count < 1 || count > kMaxCount) {
            return ToolUsageError(cmd, "--count must be a number from 1 to 1000000");
        }
    }
    CToolPrompt prompt;
    if (!LoadToolSettings(prompt) || !PrepareToolStore()) {
        return 1;
    }
    const std::string dir = StorePath(kSentFolder);
    const std::int64_t now = CurrentTime();
    // How long ago each example was sent; a larger run goes further back, ten minutes a fax.
    static const std::int64_t kAges[kExamples] = {3 * 86400, 2 * 86400, 3600, 600, 86400, 7200};
    std::int32_t id = 1000000101;
    std::string firstCopy;
    for (int i = 0; i < count; ++i) {
        const int k = i % kExamples;
        const std::int64_t when = now - kAges[k] - static_cast<std::int64_t>(i / kExamples) * 3600;
        if (!WriteExample(k, i + 1, when, id, 2000000101 + i, image, dir, firstCopy)) {
            return 1;
        }
    }
    std::printf("%d sent faxes written to %s\n", count, dir.c_str());
    return 0;
}

const ToolCommandRegistration reg{"demo-sent", "fill the sent faxes with example faxes",
                                  "usage: velquin-tool demo-sent [--count N] IMAGE\n"
                                  "Writes example sent faxes (job files and copies of IMAGE)\n"
                                  "into DataDir/SentFaxes: six by default, N with --count (the\n"
                                  "examples repeated further back in time, the images hard\n"
                                  "links to one copy where the file system allows).\n",
                                  Run};

} // namespace
