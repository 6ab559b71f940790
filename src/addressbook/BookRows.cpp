#include "addressbook/BookRows.h"
#include "addressbook/AddressBooks.h"

#include <algorithm>
#include <unordered_set>

CBookRow MakeBookRow(const CAddrBookEntry& entry) {
    CBookRow row;
    row.guid = entry.m_guid;
    row.type = entry.GetType();
    row.name = entry.m_name;
    if (row.type == kEntryTypeContact) {
        const auto& c = static_cast<const CContactEntry&>(entry);
        row.company = c.m_company;
        row.person = c.m_person;
    }
    return row;
}

std::size_t CountContacts(const CAddrBook& book) {
    std::size_t n = 0;
    book.ForEachEntry([&n](const CAddrBookEntry& e) {
        if (e.GetType() == kEntryTypeContact) {
            ++n;
        }
    });
    return n;
}

CFillResult BuildEntryRows(const CAddrBookEntry& source, std::vector<CBookRow>& rows,
                           const std::function<bool()>& stop) {
    rows.clear();
    auto stopped = [&stop] { return stop && stop(); };
    if (source.GetType() == kEntryTypeBook) {
        const auto& book = static_cast<const CAddrBook&>(source);
        if (CountContacts(book) > kMaxListedContacts) {
            return CFillResult::TooMany;
        }
        rows.reserve(book.Size());
        for (CAddrBookEntry* e : book.Entries()) {
            if (stopped()) {
                return CFillResult::Stopped;
            }
            rows.push_back(MakeBookRow(*e));
        }
        return CFillResult::Done;
    }
    if (source.GetType() == kEntryTypeGroup) {
        const auto& group = static_cast<const CGroupEntry&>(source);
        for (const Guid& g : group.m_members) {
            if (stopped()) {
                return CFillResult::Stopped;
            }
            if (const CAddrBookEntry* e = FindEntryInAllBooks(g)) {
                rows.push_back(MakeBookRow(*e));
            }
        }
    }
    return CFillResult::Done;
}

std::vector<CBookRow> BuildPickerRows(const CAddrBook& book, bool showNumbers, bool showGroups) {
    std::vector<CBookRow> rows;
    book.ForEachEntry([&](const CAddrBookEntry& e) {
        const int type = e.GetType();
        if ((type == kEntryTypeContact && showNumbers) || (type == kEntryTypeGroup && showGroups)) {
            rows.push_back(MakeBookRow(e));
        }
    });
    return rows;
}

namespace {

void SortNodes(std::vector<CTreeNode>& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(), [](const CTreeNode& a, const CTreeNode& b) {
        return CompareText(a.text, b.text) < 0;
    });
}

using GuidSet = std::unordered_set<Guid, GuidHash>;

const CGroupEntry* AsGroup(const Guid& guid) {
    const CAddrBookEntry* e = FindEntryInAllBooks(guid);
    return e != nullptr && e->GetType() == kEntryTypeGroup ? static_cast<const CGroupEntry*>(e)
                                                           : nullptr;
}

// Whether `group` lists a group that is not among `above`; only one such member is looked
// for, so the cost is at most one pass over the members.
bool HasNestedGroup(const CGroupEntry& group, const GuidSet& above) {
    return std::any_of(group.m_members.begin(), group.m_members.end(), [&above](const Guid& g) {
        return above.count(g) == 0 && AsGroup(g) != nullptr;
    });
}

CTreeNode GroupNode(const CGroupEntry& group, int image, GuidSet& above) {
    CTreeNode node;
    node.text = group.m_name;
    node.book = group.m_owner;
    node.guid = group.m_guid;
    node.image = image;
    const bool added = above.insert(group.m_guid).second;
    node.hasChildren = HasNestedGroup(group, above);
    if (added) {
        above.erase(group.m_guid);
    }
    return node;
}

} // namespace

std::vector<CTreeNode> BuildBookTree(const std::vector<CAddrBook*>& books,
                                     const std::function<bool()>& stop, bool* stopped) {
    std::vector<CTreeNode> roots;
    if (stopped != nullptr) {
        *stopped = false;
    }
    for (CAddrBook* book : books) {
        if (book == nullptr) {
            continue;
        }
        CTreeNode root;
        root.text = book->m_name;
        root.book = book;
        root.guid = book->m_guid;
        root.image = kTreeImageBook;
        for (CAddrBookEntry* e : book->Entries()) {
            if (stop && stop()) {
                if (stopped != nullptr) {
                    *stopped = true;
                }
                return {};
            }
            if (e->GetType() != kEntryTypeGroup) {
                continue;
            }
            GuidSet above;
            CTreeNode node = GroupNode(static_cast<const CGroupEntry&>(*e), kTreeImageGroup, above);
            node.book = book;
            root.children.push_back(std::move(node));
        }
        SortNodes(root.children);
        roots.push_back(std::move(root));
    }
    SortNodes(roots);
    return roots;
}

std::vector<CTreeNode> NestedGroupNodes(const CGroupEntry& group, const std::vector<Guid>& above) {
    GuidSet path(above.begin(), above.end());
    path.insert(group.m_guid);
    std::vector<CTreeNode> nodes;
    for (const Guid& g : group.m_members) {
        const CGroupEntry* member = AsGroup(g);
        if (member == nullptr || path.count(g) != 0) {
            continue;
        }
        nodes.push_back(GroupNode(*member, kTreeImageNestedGroup, path));
    }
    SortNodes(nodes);
    return nodes;
}

std::vector<CAddrBook*> BookPointers() {
    std::vector<CAddrBook*> out;
    for (const auto& b : AddressBooks()) {
        out.push_back(b.get());
    }
    return out;
}

int CompareText(const std::string& a, const std::string& b) {
    // char_traits<char> compares as unsigned char, like memcmp.
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void CSortState::Click(int newColumn) {
    if (newColumn == column) {
        direction = direction == 1 ? 2 : 1;
    } else {
        column = newColumn;
        direction = 1;
    }
}

int CompareRows(const CBookRow& a, const CBookRow& b, int column, bool missingAsEmpty) {
    if (column == 0) {
        return CompareText(a.name, b.name);
    }
    if (!missingAsEmpty && (!a.IsContact() || !b.IsContact())) {
        return 0;
    }
    // Rows of groups carry empty company and person: that is the picker's "missing".
    return column == 1 ? CompareText(a.company, b.company) : CompareText(a.person, b.person);
}

void SortRows(std::vector<CBookRow>& rows, const CSortState& state, bool missingAsEmpty) {
    const int column = state.column;
    const bool descending = state.direction == 2;
    std::stable_sort(rows.begin(), rows.end(), [&](const CBookRow& a, const CBookRow& b) {
        const int r = CompareRows(a, b, column, missingAsEmpty);
        return descending ? r > 0 : r < 0;
    });
}
