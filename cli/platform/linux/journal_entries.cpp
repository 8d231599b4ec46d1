#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>

#include <string>
#include <vector>

#include "journal.h"

namespace vesk {
namespace {

using SendV = decltype(&sd_journal_sendv);

// libsystemd is loaded only where an entry is to be sent: linked in, it would cost every run
// the loading of it and its own libraries, about a millisecond and a half, as much as a
// small folder's whole sweep.
SendV sendv() {
    static const SendV loaded = [] {
        void* library = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        return library != nullptr ? reinterpret_cast<SendV>(::dlsym(library, "sd_journal_sendv"))
                                  : nullptr;
    }();
    return loaded;
}

}  // namespace

bool sendToJournal(const JournalEntry& entry) {
    // libsystemd drops an entry in silence, as if sent, where the socket is missing.
    struct stat socket {};
    const SendV send = sendv();
    if (send == nullptr || ::stat("/run/systemd/journal/socket", &socket) != 0 ||
        !S_ISSOCK(socket.st_mode)) {
        return false;
    }
    // Each "NAME=value" whole; libsystemd sends a value with a line end in it by its length, so
    // that every byte, NUL included, reaches the journal as it is.
    std::vector<std::string> fields;
    fields.reserve(entry.fields.size() + 3);
    fields.push_back("MESSAGE=" + entry.message);
    fields.push_back("PRIORITY=" + std::to_string(static_cast<int>(entry.priority)));
    fields.emplace_back("SYSLOG_IDENTIFIER=veskparser-sweep");
    for (const auto& [name, value] : entry.fields) {
        fields.push_back(std::string(name) + "=" + value);
    }
    std::vector<iovec> parts;
    parts.reserve(fields.size());
    for (auto& field : fields) {
        parts.push_back({field.data(), field.size()});
    }
    return send(parts.data(), static_cast<int>(parts.size())) >= 0;
}

}  // namespace vesk
