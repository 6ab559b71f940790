// The import reader on a worker of the thread control: it waits for the other address-book
// workers, stops on a stop request, and always gives the dialog its last call.
#include "addressbook/Import.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

class CThreadedDialog : public IImportDialog {
public:
    explicit CThreadedDialog(std::string path) : m_path(std::move(path)) {}
    bool GetPreview() override { return true; }
    std::string GetPath() override { return m_path; }
    std::string GetSeparator() override { return ";"; }
    bool GetIgnoreFlag() override { return true; }
    CFieldMap GetFieldMap() override {
        CImportFields f;
        f.SetInput({kFieldNumber, kFieldCompany});
        return f.FieldMap();
    }
    void ProgressStart(std::uint64_t) override {}
    void ProgressStep(std::uint64_t) override {}
    void ProgressEnd() override {}
    void RowsAdded(std::vector<CImportRow>&& batch, std::size_t) override {
        std::lock_guard lock(m_mutex);
        rows += batch.size();
        if (onBatch) {
            onBatch();
        }
    }
    void OpenFailed() override { End(false, false); }
    void Finished(bool, bool notStopped) override { End(true, notStopped); }

    void Wait() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return ends > 0; });
    }

    std::function<void()> onBatch;
    std::size_t rows = 0;
    int ends = 0;
    bool finished = false;
    bool complete = false;

private:
    void End(bool f, bool c) {
        std::lock_guard lock(m_mutex);
        ++ends;
        finished = f;
        complete = c;
        m_cv.notify_all();
    }
    std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

std::string BigFile(const std::string& path, int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += "8812" + std::to_string(1000000 + i) + ";Firm\n";
    }
    testing_support::WriteFile(path, text);
    return path;
}

TEST(ImportReaderThreadTest, ReadsOnAWorkerAfterTheLoader) {
    testing_support::TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    CThreadControl control;
    control.busy = 1; // the book loader still runs
    CThreadedDialog dlg(BigFile(dir / "in.txt", 2000));
    StartImportReader(dlg, control);
    control.busy = 0;
    dlg.Wait();
    control.Shutdown();
    EXPECT_EQ(dlg.ends, 1);
    EXPECT_TRUE(dlg.finished);
    EXPECT_TRUE(dlg.complete);
    EXPECT_EQ(dlg.rows, 2000u);
}

TEST(ImportReaderThreadTest, StopRequestEndsTheReading) {
    testing_support::TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    CThreadControl control;
    CThreadedDialog dlg(BigFile(dir / "in.txt", 20000));
    dlg.onBatch = [&] { control.stopRequest = 1; }; // Cancel pressed while rows come in
    StartImportReader(dlg, control);
    dlg.Wait();
    control.Shutdown();
    EXPECT_EQ(dlg.ends, 1);
    EXPECT_FALSE(dlg.complete);
    EXPECT_LT(dlg.rows, 20000u);
}

TEST(ImportReaderThreadTest, ClosingBeforeTheWorkerStartsStillEndsTheDialog) {
    testing_support::TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    CThreadControl control;
    control.busy = 1; // never cleared: the reader never gets its turn
    CThreadedDialog dlg(BigFile(dir / "in.txt", 10));
    StartImportReader(dlg, control);
    control.Shutdown();
    dlg.Wait();
    EXPECT_EQ(dlg.ends, 1);
    EXPECT_FALSE(dlg.complete);
    EXPECT_EQ(dlg.rows, 0u);
}

} // namespace
