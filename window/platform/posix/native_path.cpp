#include "window/native_path.h"

#include <QByteArray>
#include <QFile>

namespace native_path {

QVariant toVariant(const std::filesystem::path& path) {
    const std::string& bytes = path.native();
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::filesystem::path fromVariant(const QVariant& value) {
    const QByteArray bytes = value.toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString displayName(const std::filesystem::path& path) {
    // Bytes that are not UTF-8 show as U+FFFD; the name itself stays in the variant.
    return QString::fromUtf8(path.native());
}

std::filesystem::path fromQt(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace native_path
