#pragma once
// A fax store in a temporary directory with the settings pointed at it, and job files put
// straight onto disk.
#include "FaultSupport.h"

#include "addressbook/AddrBook.h"
#include "addressbook/AddressBooks.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "platform/Files.h"
#include "store/FaxRecords.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace faults {

class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(root.Path());
        ResetSettingsForTest();
        CSettings& s = Settings();
        s.DataDir = root / "data";
        s.FaxDir = root / "fax";
        for (const char* d : {"data", "data/SentFaxes", "data/ReceivedFaxes", "data/SavedFiles",
                              "data/AddressBook", "fax"}) {
            ASSERT_EQ(platform::CreateDir(root / d), 0);
        }
        CThreadControl::Instance().stopRequest = 0;
        CThreadControl::Instance().busy = 0;
        AddressBooks().MakeCurrent(nullptr);
        AddressBooks().Clear();
    }
    void TearDown() override {
        // A read-only test must not leave directories the temporary tree cannot lose.
        for (const char* d : {"data/SentFaxes", "data/AddressBook", "registry", "fax"}) {
            MakeWritable(root / d);
        }
        AddressBooks().MakeCurrent(nullptr);
        AddressBooks().Clear();
        CThreadControl::Instance().stopRequest = 0;
        ResetSettingsForTest();
    }

    std::string SentDir() const { return root / "data/SentFaxes"; }
    std::string Sent(const std::string& name) const { return SentDir() + "/" + name; }
    std::string BookDir() const { return root / "data/AddressBook"; }
    std::string RegistryDir() const { return root / "registry"; }

    // A job file and its image in SentFaxes.
    void Put(CFaxEntryBase& record, const std::string& stem, std::int64_t time) {
        record.m_time = time;
        AttachOf(record)->m_path = Sent(stem + ".tif");
        testing_support::WriteFile(Sent(stem + ".fax"), StoreRecord(record));
        testing_support::WriteFile(Sent(stem + ".tif"), "II*");
    }
    void PutSingle(const std::string& stem, std::int64_t time, std::int32_t faxId) {
        CSingleFaxEntry e("single " + stem);
        e.m_faxId = faxId;
        e.m_recipient = "88123" + std::to_string(faxId);
        Put(e, stem, time);
    }
    void PutList(const std::string& stem, std::int64_t time, std::int32_t listId,
                 const std::vector<std::int32_t>& recipients) {
        CGroupFaxEntry e("list " + stem);
        e.m_listId = listId;
        for (std::int32_t id : recipients) {
            CFaxEntry r;
            r.m_faxId = id;
            r.m_recipient = "8495" + std::to_string(id);
            e.m_recipients.push_back(r);
        }
        Put(e, stem, time);
    }

    testing_support::TempDir root;
};

// Lines of a child's report.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            nl = text.size();
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

} // namespace faults
