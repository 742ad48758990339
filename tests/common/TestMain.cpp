#ifdef ZEB_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#define ZEB_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEB_ASAN 1
#endif
#endif

#if defined(ZEB_TEST_GUI) && defined(ZEB_ASAN)
// Qt's offscreen platform plugin never frees its screen and cursor; those are not ours. Full
// stacks are needed to see where an allocation came from through Qt's libraries.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:QGuiApplicationPrivate::createPlatformIntegration\n";
}
#endif

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
