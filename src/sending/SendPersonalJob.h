#pragma once
// The personalised mass fax behind CSendPersonalListDlg: one long print run cut into one
// image per recipient, each submitted as its own fax, the run recorded as one list.
#include "sending/SendJob.h"
#include "store/FaxRecords.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CSendPersonalJob : public CSendJobBase {
public:
    CSendPersonalJob(std::string printRunPath, IPrompt& prompt, ISentRecords& records);

    void Open(std::int64_t now);

    std::string m_listName;
    std::string m_recipientFilePath;
    std::int32_t m_pagesPerRecipient = 1;
    std::vector<std::string> m_lines;
    std::string m_printRunPath;
    std::string m_baseName;
    std::int32_t m_recipientCount = 0;

    // "...": asks for the recipient file.
    void BrowseRecipientFile();
    void SpinPages(int delta);

    // Reads the recipient file into m_lines: the number of lines, or -1 (message shown).
    int ReadRecipients();

    bool Done();

    // One recipient's submission.
    struct CItem {
        std::string number;
        std::string label;
        std::string imagePath;
        bool ready = false; // moved and signed
        std::int32_t faxId = 0;
        SendFaxRequest request;
    };
    struct CPersonalPosting {
        std::vector<CItem> items;
        ServiceEndpoint endpoint;
    };

    // Issues the list id and the fax ids, reserves the job file, moves and signs every part
    // (GUI thread). nullopt when the job file could not be reserved (the user was told).
    std::optional<CPersonalPosting> PrepareSend();
    // Posts every ready part, one after the other (any thread, no UI). `progress` (may be
    // empty) is told the index of each finished recipient.
    static std::vector<CSubmitResult> Post(const CPersonalPosting& posting,
                                           const std::function<void(int)>& progress = {});
    // Messages, the record and its job file (GUI thread). Always Submitted.
    SendOutcome FinishSend(const CPersonalPosting& posting,
                           const std::vector<CSubmitResult>& results);
    SendOutcome Send();

    const CPersonalFaxEntry* Record() const { return m_record.get(); }

private:
    CAttachFaxEntry RecipientOf(const CItem& item, std::int32_t faxId) const;

    std::unique_ptr<CPersonalFaxEntry> m_record;
};
