#pragma once
// The owners of the store's folder lists: the printed documents (FaxDir), the saved documents
// (DataDir/SavedFiles) and the received faxes (DataDir/ReceivedFaxes). Each loads, holds,
// changes and removes its records and announces every change as a typed event carrying the
// record's stable key. The owners live on the GUI thread; only reading a folder (the free
// functions) may run on another.
#include "app/Events.h"
#include "app/Ports.h"
#include "store/DocumentIntake.h"
#include "store/FaxRecords.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A record's key: its image file's name within its folder, lower case ("doc0001.tif"). It
// stays the same across reloads, unlike the record's address.
std::string FileKey(const CAttach& record);

// Why `source` was not added to the new faxes: AddFile's error and the path at fault.
std::string NotAddedText(const std::string& source, int error, const std::string& failed);

// What reading a folder found: its records, oldest first, and the file errors to report.
template <class Record> struct CFolderRead {
    std::vector<std::unique_ptr<Record>> records;
    std::vector<std::string> errors;
};

template <class Record> struct CRecordChange {
    enum class Kind {
        Reset,   // the folder was read again: rebuild from Records()
        Added,   // a new record, in its place by time
        Changed, // the record's marks changed
        Removed, // the record and its files are gone
    };
    Kind kind = Kind::Reset;
    std::string key;
    // The record for Added and Changed, valid during the call; null otherwise.
    const Record* record = nullptr;
};

// The folder's documents: every file with a document extension, titled by its name file.
CFolderRead<CFaxDocument> ReadDocuments(const std::string& directory);
// Every job file of received faxes in the folder; a damaged one is an error, not a record.
CFolderRead<CReceivedFax> ReadReceivedFaxes(const std::string& directory);

template <class Record> class CRecordOwner {
public:
    using List = std::vector<std::unique_ptr<Record>>;
    using Change = CRecordChange<Record>;
    using CSubscription = typename CEventChannel<Change>::CSubscription;
    using Reader = CFolderRead<Record> (*)(const std::string& directory);

    // `directory` tells where the folder is now (the settings may move it).
    CRecordOwner(IPrompt& prompt, std::function<std::string()> directory, Reader read)
        : m_prompt(prompt), m_directory(std::move(directory)), m_read(read) {}
    CRecordOwner(const CRecordOwner&) = delete;
    CRecordOwner& operator=(const CRecordOwner&) = delete;

    [[nodiscard]] CSubscription Subscribe(std::function<void(const Change&)> handler) {
        return m_changes.Subscribe(std::move(handler));
    }

    // The records, oldest first. Changes go through the functions below, which announce them.
    const List& Records() const { return m_records; }
    Record* Find(const std::string& key) const;
    // Where the folder is now; reading it (ReadDocuments, ReadReceivedFaxes) may run on a
    // worker, and Adopt then takes the result on this thread.
    std::string Directory() const { return m_directory(); }

    // Reads the folder and adopts what it found.
    void Load() { Adopt(m_read(Directory())); }
    // Takes over the records read from the folder, reports the errors; announces Reset.
    void Adopt(CFolderRead<Record> read);
    // Removes the record's files and then the record; announces Removed. A file that cannot
    // be deleted is reported and the record stays: false.
    bool Remove(const Record* record);
    // The record was opened: its unread mark goes; announces Changed.
    void MarkRead(const Record& record);

protected:
    bool RemoveFiles(CAttach& files);
    void Publish(typename Change::Kind kind, const Record* record, std::string key = {});

    IPrompt& m_prompt;
    std::function<std::string()> m_directory;
    Reader m_read;
    List m_records;
    CEventChannel<Change> m_changes;
};

using CDocumentChange = CRecordChange<CFaxDocument>;

// The printed or the saved documents.
class CDocuments : public CRecordOwner<CFaxDocument> {
public:
    CDocuments(IPrompt& prompt, std::function<std::string()> directory)
        : CRecordOwner(prompt, std::move(directory), &ReadDocuments) {}

    // Copies `source` into the folder by AddDocumentFile's rule and lists it; announces Added.
    // 0 or errno, which the caller reports (`failed`: the path at fault).
    int AddFile(const std::string& source, const std::optional<std::string>& title = std::nullopt,
                std::string* failed = nullptr);
    // Asks for a file and adds it; a refused file is reported. False when nothing was added.
    bool AddChosenFile();
    // Copies a sent or saved image in as a new document titled "FW: title" (or after the
    // record's recipient); a failure is reported.
    void Forward(const std::string& title, const std::string& imagePath,
                 const CSingleFaxEntry* record);
    // Lists the document just placed into the folder as `fileName`; announces Added.
    void AddPlaced(const std::string& fileName);
    // Removes the document whose image is `imagePath`: its files, and its record when it is
    // listed. A file that cannot be deleted is reported: false.
    bool RemoveImage(const std::string& imagePath);
};

using CReceivedFaxes = CRecordOwner<CReceivedFax>;
