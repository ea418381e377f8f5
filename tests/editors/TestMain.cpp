#include <QApplication>
#include <gtest/gtest.h>

// In a thread-sanitizer build: Qt's own hand-overs are not visible to the sanitizer (Qt is not
// built with it), so they are suppressed; races in our code are still reported.
extern "C" const char* __tsan_default_options()
{
    return "suppressions=" TESSEL_TSAN_SUPPRESSIONS;
}

// Widgets and fonts need an application object; tests run on the offscreen platform.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
