#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace vk::test {

TempFolder::TempFolder() : dir_(QDir::tempPath() + QStringLiteral("/vk-test-XXXXXX")), path_(dir_.path()) {
    if (!dir_.isValid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
}

QString TempFolder::file(const QString& name) const {
    return path_ + u'/' + name;
}

QString TempFolder::mkdir(const QString& name) const {
    if (!QDir(path_).mkpath(name)) {
        throw std::runtime_error("cannot create folder");
    }
    return file(name);
}

QString TempFolder::write(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        throw std::runtime_error("cannot write test file");
    }
    return file(name);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read " + path.toStdString());
    }
    return f.readAll();
}

bool exists(const QString& path) {
    return QFileInfo::exists(path);
}

}  // namespace vk::test
