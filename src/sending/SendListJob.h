#pragma once
// The mass fax from a phone list: the recipient list editing of CEditListDlg and the job
// behind CSendListDlg (one document, one submission with a number list).
#include "sending/PhoneListFile.h"
#include "sending/SendJob.h"
#include "store/FaxRecords.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CAddrBookEntry;

// Caption of the progress window while a phone list is read.
constexpr unsigned kIdsReadingPhoneList = 9310;

// The list box of CEditListDlg: edits the calling dialog's lines in place.
class CEditList {
public:
    CEditList(std::vector<std::string>& lines, IPrompt& prompt)
        : m_lines(lines), m_prompt(prompt) {}

    enum class AddResult { Added, Ignored, Duplicate };
    // "В список": Duplicate means the dialog beeps; Ignored, a number of four digits or less.
    AddResult AddTyped(std::string_view typed);
    // "Удалить": returns the line to select next (-1 when the list is empty).
    int DeleteAt(int index);
    // "Удалить все".
    void DeleteAll() { m_lines.clear(); }
    // "Адресная книга": contacts and groups (members found through all books, each group
    // once however the groups nest), then message 2045 once when a number was skipped.
    void AddEntries(const std::vector<const CAddrBookEntry*>& entries);
    // "CSV файл" with the chosen path: messages 1020 / 1019, then 2045 once when a number
    // was skipped. False when nothing could be read. A dialog runs the steps one by one, so
    // that a long list is read off the GUI thread:
    bool AddFromFile(const std::string& path);
    std::optional<std::string> AskFilePath(); // the file dialog, then message 1020
    bool CheckFilePath(const std::string& path);
    CPhoneListRead StartFileRead(const std::string& path) const;                       // GUI thread
    static void ReadFile(CPhoneListRead& read, const ListReadProgress& progress = {}); // any thread
    bool TakeFileRead(CPhoneListRead&& read); // messages 1019 / 2045; false when nothing was taken

    const std::vector<std::string>& Lines() const { return m_lines; }

private:
    std::vector<std::string>& m_lines;
    IPrompt& m_prompt;
};

class CSendListJob : public CSendJobBase {
public:
    CSendListJob(std::string imagePath, std::string imageName, std::int32_t pages, IPrompt& prompt,
                 ISentRecords& records);

    void Open(std::int64_t now);

    std::int32_t m_numberCount = 0;
    bool m_notifyFailure = false;
    bool m_notifySuccess = false;
    std::string m_listName;
    std::vector<std::string> m_lines;
    // Done() lets go of m_lines as it writes the record (a command that sends at once).
    bool m_dropLinesWhenDone = false;
    std::string m_jobLine;
    std::string m_imagePath, m_imageName;
    std::string m_sendListPath, m_sendListName;
    std::string m_numberListPath, m_numberListName;
    std::int32_t m_pages = 0;

    // After "Редактировать" (the lines were edited through CEditList).
    void LinesEdited();
    bool DoneEnabled() const { return m_numberCount > 0; }

    bool Done();

    // nullopt when the job file could not be reserved (the user was told): nothing is posted.
    std::optional<CPosting> PrepareSend();
    static CSubmitResult Post(const CPosting& posting) {
        return PostSubmission(posting.request, posting.endpoint);
    }
    SendOutcome FinishSend(const CSubmitResult& result);
    SendOutcome Send();

    // The job file's bytes made by "Готово" (empty before).
    std::string_view RecordBytes() const {
        return m_recordBytes ? std::string_view(m_recordBytes->Bytes()) : std::string_view();
    }

private:
    std::unique_ptr<CGroupFaxEntry> m_record; // the header: its recipients are in the bytes
    std::unique_ptr<CListRecordBytes> m_recordBytes;
};

constexpr std::size_t kMaxListNameChars = 128;

// The bytes of the send list (".FBL", before its trailer) and of the number list (".csv")
// for recipient lines whose fax ids start at `firstFaxId`: Windows-1251, CR LF line ends.
void BuildListFiles(const std::vector<std::string>& lines, std::int32_t firstFaxId,
                    std::string& sendList, std::string& numberList);
