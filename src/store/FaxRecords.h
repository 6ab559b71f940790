#pragma once
// The records of every listed item, built from a few pieces, and their job-file form.
// Each piece has its own Serialize (called qualified, CFaxEntry::Serialize(ar)); a record's
// Serialize always means the whole record.
#include "app/Archive.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// GetType codes, also the first 32-bit value of a sent job file.
constexpr std::int32_t kTypeDocument = 0;
constexpr std::int32_t kTypeSingle = 1;
constexpr std::int32_t kTypeList = 2;
constexpr std::int32_t kTypePersonal = 3;

std::int64_t CurrentTime();

// One delivery attempt.
class CSendStatistics {
public:
    std::int32_t m_attempt = 0;
    std::int32_t m_result = 0;
    std::int32_t m_duration = 0;
    std::int64_t m_time = 0;

    void Serialize(CArchive& ar);
    bool operator==(const CSendStatistics&) const = default;
};

// The description of an outgoing item.
class CFaxEntryBase {
public:
    CFaxEntryBase() = default;
    CFaxEntryBase(std::int64_t time, std::string title) : m_time(time), m_title(std::move(title)) {}
    virtual ~CFaxEntryBase() = default;

    virtual std::int32_t GetType() const { return kTypeDocument; }
    // Takes delivery results from another record; nothing here.
    virtual void UpdateFrom(const CFaxEntryBase& /*other*/) {}
    virtual void Serialize(CArchive& ar);
    // A copy of the whole record.
    virtual std::unique_ptr<CFaxEntryBase> Clone() const = 0;

    std::int64_t m_time = 0;
    std::string m_title;

protected:
    CFaxEntryBase(const CFaxEntryBase&) = default;
    CFaxEntryBase& operator=(const CFaxEntryBase&) = default;
};

// The delivery result of one fax to one number.
class CFaxEntry {
public:
    CFaxEntry() = default;
    virtual ~CFaxEntry() = default;
    CFaxEntry(const CFaxEntry&) = default;
    CFaxEntry& operator=(const CFaxEntry&) = default;
    // Lists of a million recipients grow and move without copying every one.
    CFaxEntry(CFaxEntry&&) noexcept = default;
    CFaxEntry& operator=(CFaxEntry&&) noexcept = default;

    // Server id, pages, status and a copy of the attempts.
    virtual void CopyFrom(const CFaxEntry& other);
    virtual void Serialize(CArchive& ar);

    std::int32_t m_status = -1;
    std::int32_t m_faxId = 0;
    std::string m_serverId;
    std::string m_recipient;
    std::string m_recipientLabel;
    std::int64_t m_created = 0;
    std::int64_t m_lastAttempt = 0;
    std::int32_t m_pages = 0;
    std::vector<CSendStatistics> m_attempts;
};

// A file in the fax store.
class CAttach {
public:
    CAttach() = default;
    explicit CAttach(std::string path) : m_path(std::move(path)) {}
    virtual ~CAttach() = default;
    CAttach(const CAttach&) = default;
    CAttach& operator=(const CAttach&) = default;
    CAttach(CAttach&&) noexcept = default;
    CAttach& operator=(CAttach&&) noexcept = default;

    virtual std::string CompanionExtension() const { return ".fax"; }
    // Removes the image and its companion file, each found by its StoreName in `directory`
    // (empty: the stored path's own directory), never where a stored path points elsewhere.
    // Stops at the first failure other than "not found" and returns its errno, with the
    // file's path in `failed`; such a file is copied into "temp" beside it. 0 when all went.
    virtual int DeleteFiles(const std::string& directory, std::string* failed);
    virtual void Serialize(CArchive& ar);

    std::string CompanionFile() const;
    // The file name the store knows the image by: m_storeName, else the stored path's.
    const std::string& StoreName() const { return m_storeName.empty() ? m_path : m_storeName; }

    std::string m_path;
    std::uint8_t m_unread = 1;
    // Not in the file: the image's name in the store when the job file was read under another
    // stem than the stored path has (a path elsewhere, a renamed job file). The record's own
    // files are found by it, never another record's of that stored name.
    std::string m_storeName;
};

// The description of a received fax.
class CFaxCore {
public:
    CFaxCore() = default;
    virtual ~CFaxCore() = default;
    CFaxCore(const CFaxCore&) = default;
    CFaxCore& operator=(const CFaxCore&) = default;

    virtual void Serialize(CArchive& ar);

    std::string m_to;
    std::string m_from;
    std::string m_serverId;
    std::int32_t m_pages = 0;
    std::int32_t m_duration = 0;
    std::int64_t m_received = 0;
};

// A printed or saved document.
class CFaxDocument : public CFaxEntryBase, public CAttach {
public:
    CFaxDocument() = default;
    CFaxDocument(std::string path, std::int64_t time, std::string title)
        : CFaxEntryBase(time, std::move(title)), CAttach(std::move(path)) {}
    CFaxDocument(const CFaxDocument&) = default;

    std::int32_t GetType() const override { return kTypeDocument; }
    std::string CompanionExtension() const override { return ".tag"; }
    void Serialize(CArchive& ar) override;
    std::unique_ptr<CFaxEntryBase> Clone() const override;
};

// A sent fax to one number.
class CSingleFaxEntry : public CFaxEntry, public CFaxEntryBase, public CAttach {
public:
    CSingleFaxEntry() : CSingleFaxEntry(std::string()) {}
    explicit CSingleFaxEntry(std::string title);
    CSingleFaxEntry(const CSingleFaxEntry&) = default;

    std::int32_t GetType() const override { return kTypeSingle; }
    void UpdateFrom(const CFaxEntryBase& other) override;
    void Serialize(CArchive& ar) override;
    std::unique_ptr<CFaxEntryBase> Clone() const override;
};

// A sent fax to a list of numbers.
class CGroupFaxEntry : public CFaxEntryBase, public CAttach {
public:
    CGroupFaxEntry() : CGroupFaxEntry(std::string()) {}
    explicit CGroupFaxEntry(std::string title);
    CGroupFaxEntry(const CGroupFaxEntry&) = default;

    std::int32_t GetType() const override { return kTypeList; }
    void UpdateFrom(const CFaxEntryBase& other) override;
    void Serialize(CArchive& ar) override;
    std::unique_ptr<CFaxEntryBase> Clone() const override;
    // Also removes the send list file (".fbl").
    int DeleteFiles(const std::string& directory, std::string* failed) override;

    std::int32_t m_status = -1;
    std::int32_t m_listId = 0;
    std::vector<CFaxEntry> m_recipients;
};

// One recipient of a personalised list, with its own image.
class CAttachFaxEntry : public CFaxEntry, public CAttach {
public:
    CAttachFaxEntry() = default;
    CAttachFaxEntry(const CAttachFaxEntry&) = default;
    CAttachFaxEntry& operator=(const CAttachFaxEntry&) = default;
    CAttachFaxEntry(CAttachFaxEntry&&) noexcept = default;
    CAttachFaxEntry& operator=(CAttachFaxEntry&&) noexcept = default;
    void Serialize(CArchive& ar) override;
};

// A personalised mass fax: one page set per recipient.
class CPersonalFaxEntry : public CFaxEntryBase, public CAttach {
public:
    CPersonalFaxEntry() : CPersonalFaxEntry(std::string()) {}
    explicit CPersonalFaxEntry(std::string title);
    CPersonalFaxEntry(const CPersonalFaxEntry&) = default;

    std::int32_t GetType() const override { return kTypePersonal; }
    void UpdateFrom(const CFaxEntryBase& other) override;
    void Serialize(CArchive& ar) override;
    std::unique_ptr<CFaxEntryBase> Clone() const override;
    // Also removes every recipient's own image (first, so a failure keeps the job file).
    int DeleteFiles(const std::string& directory, std::string* failed) override;

    std::int32_t m_status = -1;
    std::int32_t m_listId = 0;
    std::vector<CAttachFaxEntry> m_recipients;
};

// A received fax.
class CReceivedFax : public CFaxCore, public CAttach {
public:
    CReceivedFax() = default;
    explicit CReceivedFax(std::string path) : CAttach(std::move(path)) {}
    CReceivedFax(const CReceivedFax&) = default;
    CReceivedFax& operator=(const CReceivedFax&) = default;

    void Serialize(CArchive& ar) override;

    std::string m_faxId;
};

// The file a stored path names, looked up by its file name (any case) in `directory`: the
// store's files are found where the store is now, and a path edited to point elsewhere is
// not followed. An empty `directory` keeps the stored path's own. "" when the stored path
// names no file.
std::string FileInStore(const std::string& directory, const std::string& storedPath);

// The message for a record whose file `path` could not be deleted (errno `error`); the record
// stays listed.
std::string NotDeletedText(int error, const std::string& path);

// The file part of a sent record (every sent record has one), or nullptr.
CAttach* AttachOf(CFaxEntryBase& record);
const CAttach* AttachOf(const CFaxEntryBase& record);

// The state shown for an entry (single: its recipient's, lists: the list's own).
std::int32_t EntryState(const CFaxEntryBase& entry);
// True for a personalised list.
bool IsPersonalList(const CFaxEntryBase& entry);
// The ids one sent entry puts into the status query queue, in order: a single fax its fax id,
// a list its list id, a personalised list every recipient's fax id. An id of 0 is an id.
std::vector<std::int32_t> StatusIdsOf(const CFaxEntryBase& entry);

// Job files: the record's archive form, and the reader that picks the class by type code.
std::string StoreRecord(CFaxEntryBase& record);
// nullptr for an empty buffer or a type code other than 1-3; throws on a damaged record.
std::unique_ptr<CFaxEntryBase> LoadSentRecord(std::string_view bytes);

// The job file of a list whose recipients are written one by one after its header, so a list
// of a million numbers is never a CFaxEntry per number: the header's own recipients stay empty.
// The header may be written again over the bytes when only its fixed-width fields changed (the
// list's id and state after the service's answer).
class CListRecordBytes {
public:
    CListRecordBytes(CGroupFaxEntry& header, std::size_t reserve);
    void Add(CFaxEntry& recipient);
    // The bytes as a job file holds them, all recipients counted.
    const std::string& Finish(CGroupFaxEntry& header);
    void WriteHeader(CGroupFaxEntry& header);
    const std::string& Bytes() const { return m_bytes; }

private:
    CArchive m_archive;
    std::string m_bytes;
    std::size_t m_headerSize = 0;
    std::int32_t m_count = 0;
};
