#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("LC_ALL", "C.UTF-8");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
