#pragma once
// The sent faxes: the one owner of the sent records and their job files in SentFaxes. It
// loads, holds, changes and saves them, and announces every change as a typed event carrying
// the record's stable key. Everything here runs on the GUI thread.
#include "app/Events.h"
#include "app/Ports.h"
#include "store/FaxRecords.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace platform {
class CDirIndex;
struct DirEntry;
} // namespace platform

using SentList = std::vector<std::unique_ptr<CFaxEntryBase>>;

// An entry's key: the name of its job file in SentFaxes, lower case ("fax0001.fax"). It stays
// the same across reloads and is what crosses threads; "" for a record without an image.
std::string SentKey(const CFaxEntryBase& entry);

struct CSentChange {
    enum class Kind {
        Reset,   // the whole list was loaded again: rebuild from Entries()
        Added,   // a new entry, the newest
        Changed, // the entry's state or marks changed
        Removed, // the entry and its files are gone
    };
    Kind kind = Kind::Reset;
    std::string key;
    // The entry itself for Added and Changed, valid during the call; null otherwise.
    const CFaxEntryBase* entry = nullptr;
    // For Changed: the entry's state before the change (its state now when only marks changed).
    std::int32_t previousState = -1;
};

// The state a personalised list takes from its recipients' states: 2 when every recipient is
// 2; else 6 when any is 6; else 3 when every recipient has a final state (2, 3 or 6); else 4
// when any is 4; else the list's own state stays (also for a list without recipients).
std::int32_t PersonalListState(const CPersonalFaxEntry& mailing);

// Where the entries are found: by key, and by the job ids a status reply can be about (a fax
// id, a list id, a personalised recipient's fax id), so that a reply costs the same however
// many faxes were sent.
struct CSentIndex {
    std::unordered_map<std::string, CFaxEntryBase*> byKey;
    std::unordered_multimap<std::int32_t, CFaxEntryBase*> byJobId;

    // The entry takes its key from any before it.
    void Add(CFaxEntryBase* entry);
    void Remove(const CFaxEntryBase* entry);
    // As a reading finds them, in name order: of two entries with one key the one sent later
    // keeps it (at the same time, the later name), as if they were added oldest first.
    void AddRead(CFaxEntryBase* entry);
    // The index of the names after this one's, under the same rule; `later` is left empty.
    void Merge(CSentIndex& later);
};

// What a reading of SentFaxes found: the entries, oldest first, their index, and the job files
// that could not be read with the reason (reported when the entries are taken).
struct CSentStore {
    SentList entries;
    CSentIndex index;
    std::vector<std::pair<std::string, std::exception_ptr>> damaged;
};

// What reading SentFaxes needs of the settings, taken on the GUI thread.
struct CSentStoreOptions {
    std::string dir;
    bool deleteOld = false; // remove faxes older than keepDays first
    std::int64_t keepDays = 0;
    static CSentStoreOptions FromSettings();
};

// Job files to write: each one's path and bytes.
using JobFileWrites = std::vector<std::pair<std::string, std::string>>;

// One status reply: a job id and the state the service gave it.
using JobStates = std::vector<std::pair<std::int32_t, std::int32_t>>;

// Where a send job hands the record of an accepted submission once its job file is written:
// the sent faxes' owner in the window, a tool's own check elsewhere. Called on the thread that
// finishes the send (the GUI thread in the window).
// A send of the same image to the same number found among the sent faxes.
struct CEarlierSend {
    std::string number;
    std::int64_t time = 0;
    std::int32_t state = -1;
};
constexpr std::int64_t kEarlierSendWindow = 7 * 24 * 3600;

// The signature digest of a signed fax image: the last 16 bytes of its trailer, a digest of the
// account's password and the image's bytes. "" when the file cannot be read or is too short.
std::string ImageDigest(const std::string& path);

// The latest entry of `sent` made within kEarlierSendWindow before `now` that sent an image
// whose digest is `digest` to one of `numbers`; images are found in `storeDir`.
std::optional<CEarlierSend> FindEarlierSend(const SentList& sent, const std::string& storeDir,
                                            const std::string& digest,
                                            const std::vector<std::string>& numbers,
                                            std::int64_t now);

class ISentRecords {
public:
    virtual ~ISentRecords() = default;
    // The last send of an image with `digest` to one of `numbers` lately (none where the sent
    // faxes are not at hand).
    virtual std::optional<CEarlierSend> EarlierSend(const std::string& /*digest*/,
                                                    const std::vector<std::string>& /*numbers*/) {
        return std::nullopt;
    }
    // `bytes` are what the job file at `jobFilePath` holds as written: the record is taken from
    // them as the next start takes it, and the disk may be checked against them.
    virtual void AddWritten(const std::string& jobFilePath, std::string_view bytes) = 0;
};

class CSentFaxes : public ISentRecords {
public:
    using CSubscription = CEventChannel<CSentChange>::CSubscription;

    explicit CSentFaxes(IPrompt& prompt) : m_prompt(prompt) {}
    CSentFaxes(const CSentFaxes&) = delete;
    CSentFaxes& operator=(const CSentFaxes&) = delete;

    [[nodiscard]] CSubscription Subscribe(std::function<void(const CSentChange&)> handler) {
        return m_changes.Subscribe(std::move(handler));
    }

    // The entries, oldest first. Changes go through the functions below, which announce them.
    const SentList& Entries() const { return m_entries; }
    std::optional<CEarlierSend> EarlierSend(const std::string& digest,
                                            const std::vector<std::string>& numbers) override;
    CFaxEntryBase* Find(const std::string& key) const;

    // Reads every job file of SentFaxes (after removing faxes older than the settings keep
    // them). Touches no owner: runs on any thread.
    static CSentStore Read(const CSentStoreOptions& options);
    // Takes what Read found, reports the damaged job files and announces Reset. Entries added
    // while the reading ran, and not found by it, stay.
    void Adopt(CSentStore store);
    // Both at once, on the GUI thread.
    void Load() { Adopt(Read(CSentStoreOptions::FromSettings())); }
    // Adds an entry whose job file is already written; announces Added.
    void Add(std::unique_ptr<CFaxEntryBase> entry);
    void AddWritten(const std::string& jobFilePath, std::string_view bytes) override;
    // Removes the entry's files (found by their names in SentFaxes) and then the entry;
    // announces Removed. A file that cannot be deleted is reported, the entry stays: false.
    bool Remove(const CFaxEntryBase* entry);
    // Gives each job id its state: a single fax with that fax id, a list with that list id
    // (and, for states of 1 and above, its recipients), or the first recipient of a
    // personalised list with that fax id (the list then derives its own state). Each entry
    // changed has its job file written once (unless its image is gone from SentFaxes, so no
    // orphan job file is made) and is announced once. Returns the number of entries changed.
    // With `writeLater`, the job files are not written but added there, for WriteJobFiles on
    // another thread.
    int ApplyJobStates(const JobStates& states, JobFileWrites* writeLater = nullptr);
    // Writes job files (path, bytes), all flushed to disk together; any thread. The paths
    // that could not be written, with errno.
    static std::vector<std::pair<std::string, int>> WriteJobFiles(const JobFileWrites& files);
    // Reports job files that could not be written, naming each.
    void ReportUnwritten(const std::vector<std::pair<std::string, int>>& failed);
    // The entry was shown: its file (or, with `recipient` >= 0, that recipient's of a
    // personalised list) is no longer unread. Announced and saved like Touched.
    void MarkRead(CFaxEntryBase& entry, int recipient = -1);
    // The entry was changed in place: announced, and saved at the latest on SaveTouched.
    void Touched(const CFaxEntryBase& entry);
    // Writes the job files of entries touched since they were last written.
    void SaveTouched();

    // Writes the entry's job file beside its image in `directory` (atomically); the name of
    // an existing job file is kept. Reports a failure: false.
    bool SaveJobFile(CFaxEntryBase& entry, const std::string& directory,
                     const platform::CDirIndex* listing = nullptr);

private:
    void Publish(CSentChange::Kind kind, const CFaxEntryBase* entry, std::string key = {},
                 std::int32_t previousState = -1);

    IPrompt& m_prompt;
    SentList m_entries;
    CSentIndex m_index;
    std::unordered_set<std::string> m_touched;
    std::unordered_set<std::string> m_addedSinceAdopt; // keys
    CEventChannel<CSentChange> m_changes;
};
