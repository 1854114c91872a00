// The desktop tests run in an X server of their own, which this entry point starts first.
#include "ServeurX.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    ServeurX serveur;
    const bool liste = argc > 1 && QByteArray(argv[1]).startsWith("--gtest_list_tests");
    if (!liste && !serveur.demarre()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    if (liste) {
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    qputenv("DISPLAY", serveur.display().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
