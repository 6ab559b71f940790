#include "store/SentFaxes.h"

#include "app/Archive.h"
#include "app/Settings.h"
#include "app/StorePaths.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "service/JobState.h"
#include "store/Trace.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

bool IsFinal(std::int32_t state) {
    return state == kJobStateDelivered || state == kJobStateNotDelivered ||
           state == kJobStateNoFunds;
}

// The loader keeps a job file only beside its image ("stem.tif" or the first page file
// "stem_0001.tif"); a record whose image was removed meanwhile gets no new job file, which
// would only be an orphan.
bool ImageStillThere(const CFaxEntryBase& record, const std::string& sentDir) {
    const CAttach* attach = AttachOf(record);
    if (attach == nullptr || attach->m_path.empty()) {
        return false;
    }
    const std::string stem = platform::Stem(attach->StoreName());
    // A document sent as it was keeps its own extension (a PDF, an image).
    const std::string copy = platform::BaseName(attach->StoreName());
    const bool ownCopy = !platform::EqualsNoCase(platform::Extension(copy), ".fax") &&
                         platform::FindNoCase(platform::JoinPath(sentDir, copy)).has_value();
    return ownCopy ||
           platform::FindNoCase(platform::JoinPath(sentDir, stem + ".tif")).has_value() ||
           platform::FindNoCase(platform::JoinPath(sentDir, stem + "_0001.tif")).has_value();
}

// Where the entry's job file is in `directory`; "" for an entry without an image. An existing
// job file keeps its name (".FAX" from a send dialog is not doubled).
std::string JobFilePath(const CFaxEntryBase& entry, const std::string& directory,
                        const platform::CDirIndex* listing = nullptr) {
    const CAttach* attach = AttachOf(entry);
    if (attach == nullptr || attach->m_path.empty()) {
        return {};
    }
    const std::string name = platform::Stem(attach->StoreName()) + ".fax";
    if (listing != nullptr) {
        const platform::DirEntry* e = listing->Find(name);
        return platform::JoinPath(directory, e != nullptr ? e->name : name);
    }
    return platform::CompanionPath(platform::JoinPath(directory, name), ".fax");
}

constexpr std::size_t kJobsPerReader = 2000;
constexpr std::size_t kMaxReaders = 8;

} // namespace

std::int32_t PersonalListState(const CPersonalFaxEntry& mailing) {
    const auto& rs = mailing.m_recipients;
    if (rs.empty()) {
        return mailing.m_status;
    }
    auto all = [&](auto pred) { return std::all_of(rs.begin(), rs.end(), pred); };
    auto any = [&](std::int32_t state) {
        return std::any_of(rs.begin(), rs.end(),
                           [state](const CFaxEntry& r) { return r.m_status == state; });
    };
    if (all([](const CFaxEntry& r) { return r.m_status == kJobStateDelivered; })) {
        return kJobStateDelivered;
    }
    if (any(kJobStateNoFunds)) {
        return kJobStateNoFunds;
    }
    if (all([](const CFaxEntry& r) { return IsFinal(r.m_status); })) {
        return kJobStateNotDelivered;
    }
    if (any(kJobStateQueued)) {
        return kJobStateQueued;
    }
    return mailing.m_status;
}

std::string SentKey(const CFaxEntryBase& entry) {
    const CAttach* attach = AttachOf(entry);
    if (attach == nullptr || attach->m_path.empty()) {
        return {};
    }
    return platform::AsciiLower(platform::Stem(attach->StoreName())) + ".fax";
}

CFaxEntryBase* CSentFaxes::Find(const std::string& key) const {
    auto it = m_index.byKey.find(key);
    return it != m_index.byKey.end() ? it->second : nullptr;
}

void CSentFaxes::Publish(CSentChange::Kind kind, const CFaxEntryBase* entry, std::string key,
                         std::int32_t previousState) {
    CSentChange change;
    change.kind = kind;
    change.previousState = previousState;
    change.entry =
        kind == CSentChange::Kind::Added || kind == CSentChange::Kind::Changed ? entry : nullptr;
    change.key = entry != nullptr ? SentKey(*entry) : std::move(key);
    m_changes.Publish(change);
}

void CSentIndex::Add(CFaxEntryBase* entry) {
    byKey[SentKey(*entry)] = entry;
    for (std::int32_t id : StatusIdsOf(*entry)) {
        byJobId.emplace(id, entry);
    }
}

void CSentIndex::Remove(const CFaxEntryBase* entry) {
    byKey.erase(SentKey(*entry));
    for (std::int32_t id : StatusIdsOf(*entry)) {
        auto [from, to] = byJobId.equal_range(id);
        for (auto it = from; it != to;) {
            it = it->second == entry ? byJobId.erase(it) : std::next(it);
        }
    }
}

void CSentIndex::AddRead(CFaxEntryBase* entry) {
    auto [it, added] = byKey.try_emplace(SentKey(*entry), entry);
    if (!added && entry->m_time >= it->second->m_time) {
        it->second = entry;
    }
    for (std::int32_t id : StatusIdsOf(*entry)) {
        byJobId.emplace(id, entry);
    }
}

void CSentIndex::Merge(CSentIndex& later) {
    // Nodes move across without being made anew; what stays behind is a key both have.
    byKey.merge(later.byKey);
    for (auto& [key, entry] : later.byKey) {
        CFaxEntryBase*& kept = byKey[key];
        if (entry->m_time >= kept->m_time) {
            kept = entry;
        }
    }
    later.byKey.clear();
    byJobId.merge(later.byJobId);
}

// --- loading ----------------------------------------------------------------------------

CSentStoreOptions CSentStoreOptions::FromSettings() {
    const CSettings& s = Settings();
    return {StorePath(kSentFolder), s.DeleteSentAfterDays != 0,
            std::max<std::int64_t>(0, s.SentDeleteDays)};
}

namespace {

// A job file read under another stem than its stored path has (copied, renamed, naming a file
// elsewhere) owns the files of its own stem: Delete removes those and changes are written
// there, never to the files another record has under the stored name.
void NameInStore(CFaxEntryBase& record, const std::string& jobName) {
    CAttach* attach = AttachOf(record);
    if (attach == nullptr || attach->m_path.empty()) {
        return;
    }
    const std::string stored = platform::Stem(attach->m_path);
    const std::string own = platform::Stem(jobName);
    if (platform::EqualsNoCase(stored, own)) {
        return;
    }
    attach->m_storeName = own + platform::Extension(attach->m_path);
    if (auto* personal = dynamic_cast<CPersonalFaxEntry*>(&record)) {
        // Each recipient's image is the list's stem and its number ("_0001.tif").
        for (CAttachFaxEntry& r : personal->m_recipients) {
            const std::string name = platform::BaseName(r.m_path);
            if (platform::EqualsNoCase(std::string_view(name).substr(0, stored.size()), stored)) {
                r.m_storeName = own + name.substr(stored.size());
            }
        }
    }
}

void ReadJobFile(CSentStore& store, const platform::CStoreFolder& folder, const std::string& path,
                 const std::string& name) {
    StoreTrace("ReadSentFaxDoc Start");
    try {
        std::string bytes;
        if (const int err = folder.ReadStoreFile(name, bytes, platform::kArchiveFileCap)) {
            throw CFileException(err, path, "cannot read " + path + ": " + std::strerror(err));
        }
        if (auto record = LoadSentRecord(bytes)) {
            NameInStore(*record, platform::BaseName(path));
            store.entries.push_back(std::move(record));
        }
    } catch (const std::exception&) {
        // The half-read record went with the exception; the file stays on disk.
        store.damaged.emplace_back(path, std::current_exception());
    }
    StoreTrace("ReadSentFaxDoc End");
}

bool ReadJobWithOwnCopy(CSentStore& store, const platform::CStoreFolder& folder,
                        const platform::CDirIndex& index, const platform::DirEntry& job) {
    // A document sent as it was (a PDF, an image) has its copy under the job's stem with its
    // own extension; the job file names it. A file elsewhere, or the job file itself, is no
    // copy of the entry.
    std::string bytes;
    if (folder.ReadStoreFile(job.name, bytes, platform::kArchiveFileCap) != 0) {
        return false;
    }
    std::unique_ptr<CFaxEntryBase> record;
    try {
        record = LoadSentRecord(bytes);
    } catch (const std::exception&) {
        return false; // a damaged job file without its image is an orphan like any other
    }
    const CAttach* attach = record ? AttachOf(*record) : nullptr;
    if (attach == nullptr) {
        return false;
    }
    const std::string copy = platform::BaseName(attach->m_path);
    const platform::DirEntry* found = index.Find(copy);
    if (found == nullptr || found->isDir || platform::EqualsNoCase(found->name, job.name) ||
        !platform::EqualsNoCase(platform::Stem(copy), platform::Stem(job.name))) {
        return false;
    }
    store.entries.push_back(std::move(record));
    return true;
}

} // namespace

CSentStore CSentFaxes::Read(const CSentStoreOptions& options) {
    StoreTrace("LoadSentFaxes Start");
    CSentStore store;
    const std::string& dir = options.dir;
    if (options.deleteOld) {
        platform::CDirIndex before(dir);
        const std::int64_t age = options.keepDays * kSecondsPerDay;
        const std::int64_t now = CurrentTime();
        for (const platform::DirEntry* image : platform::MatchingFiles(before, "*.tif")) {
            if (image->created + age > now) {
                continue;
            }
            platform::DeleteFile(platform::JoinPath(dir, image->name));
            for (const char* ext : {".fbl", ".fax"}) {
                if (const platform::DirEntry* c = before.Find(platform::Stem(image->name) + ext)) {
                    platform::DeleteFile(platform::JoinPath(dir, c->name));
                }
            }
        }
    }

    // Names are enough here: a store of 100,000 faxes is not worth 200,000 stats.
    platform::CDirIndex index(dir, platform::ListDetail::Names);
    const std::vector<const platform::DirEntry*> jobs = platform::MatchingFiles(index, "*.fax");
    const platform::CStoreFolder folder(dir);
    auto readRange = [&](CSentStore& part, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            const platform::DirEntry* job = jobs[i];
            const std::string stem = platform::Stem(job->name);
            const std::string path = platform::JoinPath(dir, job->name);
            if (index.Find(stem + ".tif") != nullptr || index.Find(stem + "_0001.tif") != nullptr) {
                ReadJobFile(part, folder, path, job->name);
            } else if (!ReadJobWithOwnCopy(part, folder, index, *job)) {
                platform::DeleteFile(path);
            }
        }
        // Indexed here, by each reader, not on the GUI thread that takes the entries.
        part.index.byKey.reserve(part.entries.size());
        part.index.byJobId.reserve(part.entries.size());
        for (const auto& e : part.entries) {
            part.index.AddRead(e.get());
        }
    };
    // Reading a job file is mostly the system's work on one small file, and waiting for the disk
    // when it is not cached: large stores are read by two threads per processor, each a range of
    // the names, joined in name order. Two, so that the reading keeps its pace beside another
    // program busy on a processor (one thread each: a fifth slower).
    const std::size_t threads =
        jobs.size() < kJobsPerReader
            ? 1
            : std::clamp<std::size_t>(2 * std::thread::hardware_concurrency(), 1, kMaxReaders);
    std::vector<CSentStore> parts(threads);
    std::vector<std::thread> readers;
    for (std::size_t t = 1; t < threads; ++t) {
        readers.emplace_back(readRange, std::ref(parts[t]), jobs.size() * t / threads,
                             jobs.size() * (t + 1) / threads);
    }
    readRange(parts[0], 0, jobs.size() / threads);
    for (std::thread& r : readers) {
        r.join();
    }
    store = std::move(parts[0]);
    for (std::size_t t = 1; t < threads; ++t) {
        std::move(parts[t].entries.begin(), parts[t].entries.end(),
                  std::back_inserter(store.entries));
        std::move(parts[t].damaged.begin(), parts[t].damaged.end(),
                  std::back_inserter(store.damaged));
        store.index.Merge(parts[t].index);
    }
    std::stable_sort(store.entries.begin(), store.entries.end(),
                     [](const auto& a, const auto& b) { return a->m_time < b->m_time; });
    StoreTrace("LoadSentFaxes End");
    return store;
}

void CSentFaxes::Adopt(CSentStore store) {
    // A fax sent while the store was being read is kept unless the reading found its job file.
    std::vector<CFaxEntryBase*> kept;
    if (!m_addedSinceAdopt.empty()) {
        for (auto& e : m_entries) {
            const std::string key = SentKey(*e);
            if (m_addedSinceAdopt.count(key) != 0 && store.index.byKey.count(key) == 0) {
                kept.push_back(e.get());
                store.entries.push_back(std::move(e));
            }
        }
        m_addedSinceAdopt.clear();
    }
    m_entries = std::move(store.entries);
    m_index = std::move(store.index);
    for (CFaxEntryBase* e : kept) {
        m_index.Add(e);
    }
    m_touched.clear();
    for (const auto& [path, error] : store.damaged) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            m_prompt.FileError(DescribeFileError(e, path));
        }
    }
    Publish(CSentChange::Kind::Reset, nullptr);
}

void CSentFaxes::AddWritten(const std::string& jobFilePath, std::string_view bytes) {
    std::unique_ptr<CFaxEntryBase> record = LoadSentRecord(bytes);
    if (record) {
        NameInStore(*record, platform::BaseName(jobFilePath));
        Add(std::move(record));
    }
}

void CSentFaxes::Add(std::unique_ptr<CFaxEntryBase> entry) {
    if (!entry) {
        return;
    }
    m_entries.push_back(std::move(entry));
    CFaxEntryBase* added = m_entries.back().get();
    m_addedSinceAdopt.insert(SentKey(*added));
    m_index.Add(added);
    Publish(CSentChange::Kind::Added, added);
}

// --- changes ----------------------------------------------------------------------------

bool CSentFaxes::Remove(const CFaxEntryBase* entry) {
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [&](const auto& p) { return p.get() == entry; });
    if (it == m_entries.end()) {
        return false;
    }
    if (CAttach* attach = AttachOf(**it); attach != nullptr && !attach->m_path.empty()) {
        // The files are looked for in the store only: a job file may name any path.
        std::string failed;
        if (int err = attach->DeleteFiles(StorePath(kSentFolder), &failed)) {
            m_prompt.FileError(NotDeletedText(err, failed));
            return false;
        }
    }
    const std::string key = SentKey(**it);
    m_index.Remove(it->get());
    m_touched.erase(key);
    m_entries.erase(it);
    Publish(CSentChange::Kind::Removed, nullptr, key);
    return true;
}

int CSentFaxes::ApplyJobStates(const JobStates& states, JobFileWrites* writeLater) {
    if (states.empty()) {
        return 0;
    }
    std::unordered_map<std::int32_t, std::int32_t> stateOf;
    for (const auto& [id, state] : states) {
        stateOf[id] = state; // a later reply about the same job wins
    }
    // The entries the replies are about, in the order of the replies.
    std::vector<CFaxEntryBase*> candidates;
    std::unordered_set<const CFaxEntryBase*> seen;
    for (const auto& [id, state] : states) {
        auto [from, to] = m_index.byJobId.equal_range(id);
        for (auto it = from; it != to; ++it) {
            if (seen.insert(it->second).second) {
                candidates.push_back(it->second);
            }
        }
    }
    std::vector<std::pair<CFaxEntryBase*, std::int32_t>> changed; // with the state before
    for (CFaxEntryBase* entry : candidates) {
        const std::int32_t before = EntryState(*entry);
        bool hit = false;
        if (auto* single = dynamic_cast<CSingleFaxEntry*>(entry)) {
            if (auto s = stateOf.find(single->m_faxId); s != stateOf.end()) {
                single->m_status = s->second;
                hit = true;
            }
        } else if (auto* list = dynamic_cast<CGroupFaxEntry*>(entry)) {
            if (auto s = stateOf.find(list->m_listId); s != stateOf.end()) {
                list->m_status = s->second;
                if (s->second >= 1) {
                    for (CFaxEntry& r : list->m_recipients) {
                        r.m_status = s->second;
                    }
                }
                hit = true;
            }
        } else if (auto* personal = dynamic_cast<CPersonalFaxEntry*>(entry)) {
            // A reply gives its state to the first recipient with that fax id.
            std::unordered_set<std::int32_t> used;
            for (CFaxEntry& r : personal->m_recipients) {
                auto s = stateOf.find(r.m_faxId);
                if (s != stateOf.end() && used.insert(r.m_faxId).second) {
                    r.m_status = s->second;
                    hit = true;
                }
            }
            if (hit) {
                personal->m_status = PersonalListState(*personal);
            }
        }
        if (hit) {
            changed.emplace_back(entry, before);
        }
    }
    // The job files of a batch are flushed to disk together: one flush per reply batch, not
    // one per fax, keeps a synchronisation of thousands of faxes from waiting on the disk.
    const std::string sentDir = StorePath(kSentFolder);
    JobFileWrites files;
    for (auto [entry, before] : changed) {
        if (ImageStillThere(*entry, sentDir)) {
            files.emplace_back(JobFilePath(*entry, sentDir), StoreRecord(*entry));
        }
    }
    if (writeLater != nullptr) {
        std::move(files.begin(), files.end(), std::back_inserter(*writeLater));
    } else {
        ReportUnwritten(WriteJobFiles(files));
    }
    for (auto [entry, before] : changed) {
        m_touched.erase(SentKey(*entry));
        Publish(CSentChange::Kind::Changed, entry, {}, before);
    }
    return static_cast<int>(changed.size());
}

std::vector<std::pair<std::string, int>> CSentFaxes::WriteJobFiles(const JobFileWrites& files) {
    const std::vector<int> errs = platform::AtomicWriteFiles(files);
    std::vector<std::pair<std::string, int>> failed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (errs[i] != 0) {
            failed.emplace_back(files[i].first, errs[i]);
        }
    }
    return failed;
}

void CSentFaxes::ReportUnwritten(const std::vector<std::pair<std::string, int>>& failed) {
    for (const auto& [path, err] : failed) {
        m_prompt.FileError(
            DescribeFileError(CFileException(err, path, "cannot write " + path), path));
    }
}

void CSentFaxes::MarkRead(CFaxEntryBase& entry, int recipient) {
    CAttach* file = AttachOf(entry);
    if (recipient >= 0) {
        auto* personal = dynamic_cast<CPersonalFaxEntry*>(&entry);
        file = personal != nullptr &&
                       static_cast<std::size_t>(recipient) < personal->m_recipients.size()
                   ? &personal->m_recipients[static_cast<std::size_t>(recipient)]
                   : nullptr;
    }
    if (file != nullptr) {
        file->m_unread = 0;
        Touched(entry);
    }
}

void CSentFaxes::Touched(const CFaxEntryBase& entry) {
    m_touched.insert(SentKey(entry));
    Publish(CSentChange::Kind::Changed, &entry, {}, EntryState(entry));
}

void CSentFaxes::SaveTouched() {
    if (m_touched.empty()) {
        return;
    }
    const std::string dir = StorePath(kSentFolder);
    platform::CDirIndex listing(dir);
    // In list order; one that could not be written (reported) stays to be written later.
    std::unordered_set<std::string> failed;
    for (auto& entry : m_entries) {
        const std::string key = SentKey(*entry);
        if (m_touched.count(key) != 0 && !SaveJobFile(*entry, dir, &listing)) {
            failed.insert(key);
        }
    }
    m_touched = std::move(failed);
}

bool CSentFaxes::SaveJobFile(CFaxEntryBase& entry, const std::string& directory,
                             const platform::CDirIndex* listing) {
    const std::string path = JobFilePath(entry, directory, listing);
    if (path.empty()) {
        return false;
    }
    try {
        WriteArchiveFile(path, StoreRecord(entry));
        return true;
    } catch (const std::exception& e) {
        m_prompt.FileError(DescribeFileError(e, path));
        return false;
    }
}

std::string ImageDigest(const std::string& path) {
    const int fd = platform::OpenRegularFile(path, platform::kImageFileCap);
    if (fd < 0) {
        return {};
    }
    std::string digest(16, '\0');
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const bool ok = size >= 40 && ::pread(fd, digest.data(), 16, size - 16) == 16;
    ::close(fd);
    return ok ? digest : std::string();
}

std::optional<CEarlierSend> FindEarlierSend(const SentList& sent, const std::string& storeDir,
                                            const std::string& digest,
                                            const std::vector<std::string>& numbers,
                                            std::int64_t now) {
    if (digest.empty() || numbers.empty()) {
        return std::nullopt;
    }
    const std::unordered_set<std::string> wanted(numbers.begin(), numbers.end());
    std::optional<CEarlierSend> latest;
    // Only entries of the last days are looked at, and only an image sent to a wanted number
    // is read, once.
    std::unordered_map<std::string, bool> sameImage;
    auto same = [&](const CAttach& attach) {
        const std::string path = FileInStore(storeDir, attach.StoreName());
        auto [it, added] = sameImage.try_emplace(path, false);
        if (added && !path.empty()) {
            it->second = ImageDigest(path) == digest;
        }
        return it->second;
    };
    auto consider = [&](const CFaxEntryBase& e, const CFaxEntry& r, const CAttach& image) {
        if ((!latest || e.m_time > latest->time) && wanted.count(r.m_recipient) != 0 &&
            same(image)) {
            latest = CEarlierSend{r.m_recipient, e.m_time, r.m_status};
        }
    };
    for (const auto& e : sent) {
        if (!e || e->m_time < now - kEarlierSendWindow || e->m_time > now) {
            continue;
        }
        if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(e.get())) {
            consider(*e, *single, *single);
        } else if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(e.get())) {
            for (const CFaxEntry& r : list->m_recipients) {
                consider(*e, r, *list);
            }
        } else if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(e.get())) {
            for (const CAttachFaxEntry& r : personal->m_recipients) {
                consider(*e, r, r);
            }
        }
    }
    return latest;
}

std::optional<CEarlierSend> CSentFaxes::EarlierSend(const std::string& digest,
                                                    const std::vector<std::string>& numbers) {
    return FindEarlierSend(m_entries, StorePath(kSentFolder), digest, numbers, CurrentTime());
}
