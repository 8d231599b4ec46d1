#include "window/mounted_drives.h"

#include <QStorageInfo>
#include <algorithm>

#include "window/native_path.h"

std::vector<Volume> mountedVolumes() {
    std::vector<Volume> volumes;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (info.isValid()) {
            volumes.push_back({native_path::fromQt(info.rootPath()), info.device().toStdString(),
                               info.fileSystemType().toStdString(), info.name().toStdString()});
        }
    }
    return volumes;
}

int driveOf(const std::vector<Drive>& drives, const std::filesystem::path& folder) {
    int best = -1;
    std::size_t bestDepth = 0;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const auto& root = drives[i].root;
        const auto [rootEnd, folderAt] =
            std::mismatch(root.begin(), root.end(), folder.begin(), folder.end());
        const auto depth = static_cast<std::size_t>(std::distance(root.begin(), root.end()));
        const bool contains = rootEnd == root.end() || (std::next(rootEnd) == root.end() &&
                                                        rootEnd->empty());  // trailing separator
        if (contains && (best < 0 || depth > bestDepth)) {
            best = static_cast<int>(i);
            bestDepth = depth;
        }
    }
    return best;
}
