// One QApplication on the offscreen platform for every address-book GUI test.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string runtime = "/tmp/velquin-abk-runtime-XXXXXX";
    if (char* made = ::mkdtemp(runtime.data())) {
        ::chmod(made, 0700);
        ::setenv("XDG_RUNTIME_DIR", made, 1);
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    ::rmdir(runtime.c_str());
    return rc;
}
