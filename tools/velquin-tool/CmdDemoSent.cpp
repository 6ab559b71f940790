// velquin-tool demo-sent IMAGE: fills the sent faxes of the demo store with a few example
// faxes (a single fax per state, a list and a personalised list) made from one fax image.
#include "ToolCommand.h"

#include "app/Settings.h"
#include "platform/Files.h"
#include "service/JobState.h"
#include "store/FaxRecords.h"

#include <cstdio>
#include <string>

namespace {

bool Place(const std::string& image, const std::string& dir, const std::string& stem,
           CAttach& attach, CFaxEntryBase& record) {
    attach.m_path = platform::JoinPath(dir, stem + ".tif");
    if (platform::CopyFile(image, attach.m_path, false) != 0) {
        std::fprintf(stderr, "velquin-tool demo-sent: cannot copy %s\n", image.c_str());
        return false;
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

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("demo-sent");
    if (args.size() != 1 || IsHelpFlag(args[0])) {
        return ToolUsageError(cmd, "expected the fax image to use");
    }
    CToolPrompt prompt;
    if (!LoadToolSettings(prompt)) {
        return 1;
    }
    const std::string dir = platform::JoinPath(Settings().DataDir, "SentFaxes");
    platform::CreateDir(dir);
    const std::int64_t now = CurrentTime();
    struct Single {
        const char* title;
        const char* number;
        const char* label;
        std::int32_t state;
        std::int64_t age;
    };
    const Single singles[] = {
        {"Коммерческое предложение", "88125550101", "ООО «Северный ветер»", kJobStateDelivered,
         3 * 86400},
        {"Счёт № 118", "84955550123", "", kJobStateNotDelivered, 2 * 86400},
        {"Акт сверки", "88125550177", "Бухгалтерия", kJobStateQueued, 3600},
        {"Договор поставки", "84955550190", "", kJobStateNone, 600},
    };
    std::int32_t id = 1000000101;
    int n = 0;
    for (const Single& s : singles) {
        CSingleFaxEntry e(s.title);
        e.m_time = now - s.age;
        static_cast<CFaxEntry&>(e) = Recipient(s.number, s.label, id++, s.state, e.m_time);
        if (!Place(args[0], dir, "Demo" + std::to_string(++n), e, e)) {
            return 1;
        }
    }
    CGroupFaxEntry list("Прайс-лист на декабрь");
    list.m_time = now - 86400;
    list.m_listId = 2000000101;
    list.m_status = kJobStateDelivered;
    list.m_recipients = {Recipient("88125550111", "Склад", id++, kJobStateDelivered, list.m_time),
                         Recipient("88125550112", "Магазин", id++, kJobStateDelivered, list.m_time),
                         Recipient("84955550113", "", id++, kJobStateDelivered, list.m_time)};
    if (!Place(args[0], dir, "Demo" + std::to_string(++n), list, list)) {
        return 1;
    }
    CPersonalFaxEntry personal("Уведомления клиентам");
    personal.m_time = now - 7200;
    personal.m_listId = 2000000102;
    personal.m_status = kJobStateQueued;
    for (const auto& r :
         {Recipient("88125550121", "Иванов И. И.", id++, kJobStateDelivered, personal.m_time),
          Recipient("88125550122", "Петров П. П.", id++, kJobStateQueued, personal.m_time)}) {
        CAttachFaxEntry a;
        static_cast<CFaxEntry&>(a) = r;
        personal.m_recipients.push_back(a);
    }
    if (!Place(args[0], dir, "Demo" + std::to_string(++n), personal, personal)) {
        return 1;
    }
    std::printf("%d sent faxes written to %s\n", n, dir.c_str());
    return 0;
}

const ToolCommandRegistration reg{"demo-sent", "fill the sent faxes with example faxes",
                                  "velquin-tool demo-sent IMAGE\n"
                                  "Writes example sent faxes (job files and copies of IMAGE) "
                                  "into DataDir/SentFaxes.",
                                  Run};

} // namespace
