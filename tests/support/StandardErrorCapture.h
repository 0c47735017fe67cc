#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>

namespace vk::test {

// Standard error goes into a file while it exists; text() ends the capture and gives what came.
class StandardErrorCapture {
public:
    StandardErrorCapture() {
        EXPECT_TRUE(file_.open());
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(file_.handle(), STDERR_FILENO);
    }
    ~StandardErrorCapture() { restore(); }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    QString text() {
        restore();
        QFile f(file_.fileName());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromLocal8Bit(f.readAll());
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

}  // namespace vk::test
