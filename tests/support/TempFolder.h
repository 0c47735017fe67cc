#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace vk::test {

// A folder of its own for one test, removed afterwards.
class TempFolder {
public:
    TempFolder();
    const QString& path() const { return path_; }
    QString file(const QString& name) const;
    QString mkdir(const QString& name) const;
    QString write(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir dir_;
    QString path_;
};

QByteArray readAll(const QString& path);
bool exists(const QString& path);

}  // namespace vk::test
