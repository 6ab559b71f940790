#include "addressbook/AddrBook.h"

#include "addressbook/AddressBooks.h"

#include "app/Ports.h"
#include "app/Settings.h"
#include "app/StorePaths.h"
#include "platform/Files.h"
#include "resources/Strings.h"

#include <algorithm>
#include <unordered_set>

namespace {

constexpr unsigned kIdsLoadingBooks = 103;
// Progress is reported in about this many steps per book, not per record: a frame call may
// wait for the GUI thread.
constexpr std::size_t kProgressSteps = 100;

std::size_t ReadCount(CArchive& ar, std::size_t minBytesEach) {
    std::int32_t n = ar.ReadI32();
    if (n < 0) {
        throw CArchiveException(CArchiveException::kBadFormat, "negative element count");
    }
    ar.Require(static_cast<std::size_t>(n) * minBytesEach);
    return static_cast<std::size_t>(n);
}

} // namespace

std::size_t GuidHash::operator()(const Guid& g) const noexcept {
    std::uint32_t w[4];
    w[0] = g.Data1;
    w[1] = static_cast<std::uint32_t>(g.Data2) | (static_cast<std::uint32_t>(g.Data3) << 16);
    w[2] = 0;
    w[3] = 0;
    for (int i = 0; i < 4; ++i) {
        w[2] |= static_cast<std::uint32_t>(g.Data4[i]) << (8 * i);
        w[3] |= static_cast<std::uint32_t>(g.Data4[i + 4]) << (8 * i);
    }
    std::uint64_t h = (static_cast<std::uint64_t>(w[0] ^ w[2]) << 32) | (w[1] ^ w[3]);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return static_cast<std::size_t>(h);
}

void WriteGuid(CArchive& ar, const Guid& g) {
    ar.WriteU32(g.Data1);
    ar.WriteU16(g.Data2);
    ar.WriteU16(g.Data3);
    ar.WriteBytes(g.Data4.data(), g.Data4.size());
}

Guid ReadGuid(CArchive& ar) {
    Guid g;
    g.Data1 = ar.ReadU32();
    g.Data2 = ar.ReadU16();
    g.Data3 = ar.ReadU16();
    ar.ReadBytes(g.Data4.data(), g.Data4.size());
    return g;
}

// --- entries ----------------------------------------------------------------------------

CAddrBookEntry::CAddrBookEntry(std::string name)
    : m_name(std::move(name)), m_guid(platform::NewGuid()) {}

void CAddrBookEntry::ExportText(std::string& out) const {
    out += m_name;
    out += "; ";
}

void CAddrBookEntry::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        WriteGuid(ar, m_guid);
        ar.WriteString(m_name);
    } else {
        m_guid = ReadGuid(ar);
        m_name = ar.ReadString();
    }
}

void CAddrBookEntry::CopyFrom(const CAddrBookEntry& other) {
    m_owner = other.m_owner;
    m_name = other.m_name;
    m_guid = other.m_guid;
}

void CAddrBookEntry::MarkChanged() {
    if (auto* book = dynamic_cast<CAddrBook*>(this)) {
        book->NoteChange();
    } else if (m_owner != nullptr) {
        m_owner->NoteChange();
    }
}

BookChangedHook& BookChangedNotifier() {
    static BookChangedHook hook;
    return hook;
}

CContactEntry::CContactEntry(std::string number) : CAddrBookEntry(std::move(number)) {
    m_countryCode = platform::TelephoneCountryCode().value_or(0);
    m_areaCode = Settings().LastAreaCode;
}

void CContactEntry::ExportText(std::string& out) const {
    out += m_name;
    out += "; ";
    out += m_company;
    out += "; ";
    out += m_person;
    out += "\r\n";
}

void CContactEntry::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteU8(m_domestic);
        ar.WriteString(m_person);
        ar.WriteString(m_company);
    } else {
        m_domestic = ar.ReadU8();
        m_person = ar.ReadString();
        m_company = ar.ReadString();
    }
    CAddrBookEntry::Serialize(ar);
}

void CContactEntry::CopyFrom(const CContactEntry& other) {
    CAddrBookEntry::CopyFrom(other);
    m_domestic = other.m_domestic;
    m_company = other.m_company;
    m_person = other.m_person;
}

void CGroupEntry::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteI32(static_cast<std::int32_t>(m_members.size()));
        for (const Guid& g : m_members) {
            WriteGuid(ar, g);
        }
    } else {
        std::size_t n = ReadCount(ar, 16);
        m_members.clear();
        m_members.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            m_members.push_back(ReadGuid(ar));
        }
    }
    CAddrBookEntry::Serialize(ar);
}

void CGroupEntry::CopyFrom(const CGroupEntry& other) {
    CAddrBookEntry::CopyFrom(other);
    m_members = other.m_members;
}

// --- book -------------------------------------------------------------------------------

void CAddrBook::NoteChange() {
    ++m_changes;
    if (const BookChangedHook& hook = BookChangedNotifier()) {
        hook(*this);
    }
}

void CAddrBook::AddEntry(std::unique_ptr<CAddrBookEntry> entry) {
    if (!entry) {
        return;
    }
    Insert(std::move(entry));
    NoteChange();
}

void CAddrBook::Insert(std::unique_ptr<CAddrBookEntry> entry) {
    entry->m_owner = this;
    CAddrBookEntry* raw = entry.get();
    auto [it, inserted] = m_index.try_emplace(raw->m_guid);
    if (!inserted) {
        m_order[it->second.order] = nullptr;
        ++m_holes;
        m_replaced.push_back(std::move(it->second.entry));
    }
    it->second.entry = std::move(entry);
    it->second.order = m_order.size();
    m_order.push_back(raw);
    if (m_holes > 64 && m_holes > m_order.size() / 2) {
        Compact();
    }
}

CAddrBookEntry* CAddrBook::FindEntry(const Guid& guid) const {
    auto it = m_index.find(guid);
    return it == m_index.end() ? nullptr : it->second.entry.get();
}

bool CAddrBook::RemoveEntry(const Guid& which) {
    const Guid guid = which; // `which` may be the GUID of the entry about to go
    auto it = m_index.find(guid);
    if (it == m_index.end()) {
        return false;
    }
    const bool group = it->second.entry->GetType() == kEntryTypeGroup;
    m_order[it->second.order] = nullptr;
    ++m_holes;
    m_index.erase(it);
    if (m_holes > 64 && m_holes > m_order.size() / 2) {
        Compact();
    }
    if (group) {
        ForgetMember(guid);
    }
    m_removedSinceSave.insert(guid);
    NoteChange();
    return true;
}

bool CAddrBook::ForgetMember(const Guid& guid) {
    std::size_t erased = 0;
    ForEachEntry([&](CAddrBookEntry& e) {
        if (e.GetType() == kEntryTypeGroup) {
            erased += std::erase(static_cast<CGroupEntry&>(e).m_members, guid);
        } else if (auto* c = dynamic_cast<CContactEntry*>(&e)) {
            erased += std::erase(c->m_groups, guid);
        }
    });
    if (erased != 0) {
        NoteChange();
    }
    return erased != 0;
}

void CAddrBook::Compact() {
    std::vector<CAddrBookEntry*> order;
    order.reserve(m_index.size());
    for (CAddrBookEntry* e : m_order) {
        if (e != nullptr) {
            m_index[e->m_guid].order = order.size();
            order.push_back(e);
        }
    }
    m_order = std::move(order);
    m_holes = 0;
}

std::vector<CAddrBookEntry*> CAddrBook::Entries() const {
    std::vector<CAddrBookEntry*> out;
    out.reserve(m_index.size());
    ForEachEntry([&](CAddrBookEntry& e) { out.push_back(&e); });
    return out;
}

std::string CAddrBook::FileName() const {
    return platform::GuidToText(m_guid) + ".abk";
}

std::string CAddrBook::GetFilePath() const {
    if (!m_filePath.empty()) {
        return m_filePath;
    }
    return platform::JoinPath(StorePath(kAddressBookFolder), FileName());
}

void CAddrBook::MergeFrom(const CAddrBook& disk) {
    bool added = false;
    disk.ForEachEntry([&](const CAddrBookEntry& e) {
        if (FindEntry(e.m_guid) != nullptr || m_removedSinceSave.count(e.m_guid) != 0) {
            return;
        }
        if (e.GetType() == kEntryTypeContact) {
            Insert(std::make_unique<CContactEntry>(static_cast<const CContactEntry&>(e)));
        } else if (e.GetType() == kEntryTypeGroup) {
            Insert(std::make_unique<CGroupEntry>(static_cast<const CGroupEntry&>(e)));
        } else {
            return;
        }
        added = true;
    });
    if (added) {
        FixGroupLists();
        ++m_changes;
    }
}

void CAddrBook::Serialize(CArchive& ar) {
    CAddrBookEntry::Serialize(ar);
    if (ar.IsStoring()) {
        ar.WriteI32(static_cast<std::int32_t>(m_index.size()));
        ForEachEntry([&](CAddrBookEntry& e) {
            ar.WriteI32(e.GetType());
            e.Serialize(ar);
        });
        return;
    }
    ReadEntries(ar, CBookReadHooks{});
}

void CAddrBook::ReadEntries(CArchive& ar, const CBookReadHooks& hooks) {
    const int countryCode = platform::TelephoneCountryCode().value_or(0);
    const std::string areaCode = Settings().LastAreaCode;
    std::int32_t n = ar.ReadI32();
    std::size_t total = n > 0 ? static_cast<std::size_t>(n) : 0;
    std::size_t stride = std::max<std::size_t>(1, total / kProgressSteps);
    // A contact record takes at least 24 bytes: never reserve more than the file can hold.
    m_index.reserve(std::min(total, ar.Remaining() / 24));
    m_order.reserve(m_order.size() + std::min(total, ar.Remaining() / 24));
    if (hooks.frame != nullptr) {
        hooks.frame->ProgressStart(static_cast<int>(total));
        hooks.frame->SetStatusText(LoadString(kIdsLoadingBooks));
    }
    for (std::size_t i = 0; i < total; ++i) {
        if (hooks.stopRequested && hooks.stopRequested()) {
            if (hooks.cutShort != nullptr) {
                *hooks.cutShort = true;
            }
            m_readOnly = true;
            break;
        }
        std::int32_t tag = ar.ReadI32();
        std::unique_ptr<CAddrBookEntry> e;
        if (tag == kEntryTypeContact) {
            auto c = std::make_unique<CContactEntry>(LoadingTag{});
            c->m_countryCode = countryCode;
            c->m_areaCode = areaCode;
            e = std::move(c);
        } else if (tag == kEntryTypeGroup) {
            e = std::make_unique<CGroupEntry>(LoadingTag{});
        } else {
            // Nothing tells how long an unknown record is: the book ends here, and what
            // follows would be lost if it were written back.
            m_readOnly = true;
            break;
        }
        e->Serialize(ar);
        Insert(std::move(e));
        if (hooks.frame != nullptr && ((i + 1) % stride == 0 || i + 1 == total)) {
            hooks.frame->ProgressStep(static_cast<int>(i + 1));
        }
    }
    if (hooks.frame != nullptr) {
        hooks.frame->ProgressEnd();
    }
    FixGroupLists();
}

void CAddrBook::FixGroupLists() {
    ForEachEntry([](CAddrBookEntry& e) {
        if (auto* c = dynamic_cast<CContactEntry*>(&e)) {
            c->m_groups.clear();
        }
    });
    ForEachEntry([this](CAddrBookEntry& e) {
        if (e.GetType() != kEntryTypeGroup) {
            return;
        }
        const auto& group = static_cast<CGroupEntry&>(e);
        for (const Guid& m : group.m_members) {
            if (auto* c = dynamic_cast<CContactEntry*>(FindEntry(m))) {
                c->m_groups.push_back(group.m_guid);
            }
        }
    });
}

void CountEntries(const CAddrBook& book, int& contacts, int& groups) {
    contacts = 0;
    groups = 0;
    book.ForEachEntry([&](const CAddrBookEntry& e) {
        if (e.GetType() == kEntryTypeContact) {
            ++contacts;
        } else if (e.GetType() == kEntryTypeGroup) {
            ++groups;
        }
    });
}

// --- walks ------------------------------------------------------------------------------

void WalkGroup(const CGroupEntry& root, const CGroupWalk& walk) {
    struct Frame {
        const CGroupEntry* group;
        std::size_t next;
    };
    std::vector<Frame> stack;
    std::unordered_set<const CGroupEntry*> entered;
    auto enter = [&](const CGroupEntry& g) {
        if (entered.insert(&g).second && (!walk.enter || walk.enter(g))) {
            stack.push_back({&g, 0});
        }
    };
    enter(root);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next >= f.group->m_members.size()) {
            const CGroupEntry& done = *f.group;
            stack.pop_back();
            if (walk.leave) {
                walk.leave(done);
            }
            continue;
        }
        const CAddrBookEntry* e = FindEntryInAllBooks(f.group->m_members[f.next++]);
        if (e == nullptr) {
            continue;
        }
        if (const auto* group = dynamic_cast<const CGroupEntry*>(e)) {
            enter(*group);
        } else if (walk.member && !walk.member(*e)) {
            return;
        }
    }
}

std::string AddressBookDir() {
    const std::string& dataDir = Settings().DataDir;
    if (dataDir.empty() || platform::CreateDir(dataDir) != 0) {
        return {};
    }
    std::string dir = StorePath(dataDir, kAddressBookFolder);
    if (platform::CreateDir(dir) != 0) {
        return {};
    }
    return dir;
}

// --- file form --------------------------------------------------------------------------

std::unique_ptr<CAddrBook> ReadBook(std::string_view bytes, const CBookReadHooks& hooks) {
    CArchive ar(bytes);
    if (ar.ReadU16() != kAbkMagic) {
        return nullptr;
    }
    auto book = std::make_unique<CAddrBook>(LoadingTag{});
    book->CAddrBookEntry::Serialize(ar);
    book->ReadEntries(ar, hooks);
    return book;
}

std::string WriteBook(CAddrBook& book) {
    CArchive ar;
    ar.WriteU16(kAbkMagic);
    book.Serialize(ar);
    return ar.TakeBuffer();
}

std::unique_ptr<CAddrBook> ReadBookFile(const std::string& path, std::string& error,
                                        const CBookReadHooks& hooks) {
    error.clear();
    if (path.empty()) {
        return nullptr;
    }
    try {
        // Taken before the read: a change made while reading shows as a change at the save.
        const auto stamp = platform::StampOf(path);
        std::string bytes = ReadArchiveFile(path);
        auto book = ReadBook(bytes, hooks);
        if (book) {
            book->SetFile(path, stamp);
        }
        return book;
    } catch (const std::exception& e) {
        if (hooks.frame != nullptr) {
            hooks.frame->ProgressEnd();
        }
        error = DescribeFileError(e, path);
        return nullptr;
    }
}
