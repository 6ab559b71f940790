#pragma once
// The single fax job behind CSendFaxDlg: one printed document (already copied into SentFaxes)
// to one number. The dialog binds its widgets to the fields and calls the steps.
#include "sending/SendJob.h"
#include "store/FaxRecords.h"

#include <cstdint>
#include <optional>
#include <string>

class CSendFaxJob : public CSendJobBase {
public:
    CSendFaxJob(std::string imagePath, std::string imageName, std::string description,
                IPrompt& prompt, ISentRecords& records);

    // Initial values from the settings (loaded by the caller).
    void Open(std::int64_t now);

    std::string m_number;
    bool m_singlePages = false;
    std::string m_description;
    std::string m_jobLine;
    std::string m_imagePath;
    std::string m_imageName;
    std::string m_recipientLabel;
    std::int32_t m_faxNumber = 0;
    std::int32_t m_pages = 0;

    // Typing in the number field: clears the recipient label.
    void SetNumber(std::string text);
    // Leaving the number field: filtered, completed when it has five digits or more.
    void LeaveNumberField();
    // "Выбрать": an address book contact was chosen.
    void PickContact(const std::string& number, const std::string& company,
                     const std::string& person);

    // "Готово": false when a message stopped it (the dialog stays as it is).
    bool Done();

    // "Отправить", in three steps (see SendJob.h), or all at once.
    // nullopt when the job file could not be reserved (the user was told): nothing is posted.
    std::optional<CPosting> PrepareSend();
    static CSubmitResult Post(const CPosting& posting) {
        return PostSubmission(posting.request, posting.endpoint);
    }
    SendOutcome FinishSend(const CSubmitResult& result);
    SendOutcome Send();

    // The hidden "Сохранить": the job file as a successful send writes it, without posting.
    bool Save();

    // The job file written by the last successful Send or Save.

private:
    // The job file's record; the fax id is the service's once accepted.
    CSingleFaxEntry Record() const;
};
