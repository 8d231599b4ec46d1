#include "window/native_path.h"

namespace native_path {

QVariant toVariant(const std::filesystem::path& path) {
    return QString::fromStdWString(path.native());
}

std::filesystem::path fromVariant(const QVariant& value) {
    return value.toString().toStdWString();
}

QString displayName(const std::filesystem::path& path) {
    return QString::fromStdWString(path.native());
}

std::filesystem::path fromQt(const QString& path) {
    return std::filesystem::path(path.toStdWString()).make_preferred();
}

}  // namespace native_path
