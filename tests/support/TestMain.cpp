#include <QCoreApplication>

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
    // The tests run under the "C" locale, as a service or CI does, so nothing may depend on it.
    qputenv("LC_ALL", "C");
    std::setlocale(LC_ALL, "C");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
