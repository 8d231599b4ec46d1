#include <string>

#include "file_system.h"

namespace vesk {
namespace {

class SweepCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "vesk"; }
    std::string message(int code) const override {
        switch (static_cast<SweepErrc>(code)) {
            case SweepErrc::notOrdinaryFile:
                return "Not an ordinary file";
            case SweepErrc::replaced:
                return "Replaced after the folder was listed";
            case SweepErrc::shrank:
                return "Shorter than when it was opened";
        }
        return "Unknown error";
    }
};

}  // namespace

std::error_code make_error_code(SweepErrc e) {
    static const SweepCategory category;
    return {static_cast<int>(e), category};
}

}  // namespace vesk
