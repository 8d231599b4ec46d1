#pragma once

#include <QString>
#include <QVariant>
#include <filesystem>

// File names cross into Qt here and only here. A name is kept as the platform's own bytes (or
// UTF-16 units) inside a QVariant, so that nothing is lost on the way back; a QString made
// from a name is for showing it.
namespace native_path {

QVariant toVariant(const std::filesystem::path& path);
std::filesystem::path fromVariant(const QVariant& value);
QString displayName(const std::filesystem::path& path);
// A path that Qt found, such as a mount point, in the platform's own form.
std::filesystem::path fromQt(const QString& path);

}  // namespace native_path
