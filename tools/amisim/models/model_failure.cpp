#include "tools/amisim/models/model_failure.h"

#include <cstdio>
#include <cstring>

namespace amisim {

namespace {

std::string signal_text(int signal) {
    const char *abbreviation = sigabbrev_np(signal);
    const char *description = strsignal(signal);
    std::string text = "signal " + std::to_string(signal);
    if (abbreviation != nullptr) {
        text += std::string(" (SIG") + abbreviation +
                (description != nullptr ? std::string(", ") + description : std::string()) + ")";
    }
    return text;
}

std::string what_happened(const ModelFailure &failure) {
    switch (failure.kind) {
        case ModelFailure::Kind::kSignal:
            return "was ended by " + signal_text(failure.signal);
        case ModelFailure::Kind::kExit:
            return "exited with status " + std::to_string(failure.exit_status);
        case ModelFailure::Kind::kHang: {
            char limit[32];
            std::snprintf(limit, sizeof limit, "%.3g", failure.limit_seconds);
            return std::string("hung: no return within its limit of ") + limit +
                   " s, and its host was killed";
        }
        case ModelFailure::Kind::kOverrun:
            return "wrote past the end of " + failure.array + " (room for " +
                   std::to_string(failure.array_size) + ")";
        case ModelFailure::Kind::kHostError:
            break;
    }
    return "could not be served: " + failure.detail;
}

}  // namespace

std::string describe(const ModelFailure &failure, const std::string &model_path) {
    std::string call = failure.entry;
    if (failure.call > 0) {
        call += " (call " + std::to_string(failure.call);
        if (failure.entry != "AMI_Close") {
            call += ", " + std::to_string(failure.samples) + " samples";
        }
        call += ")";
    }
    const std::string message = failure.last_message.empty()
                                    ? "the model left no message"
                                    : "the model's last message: \"" + failure.last_message + "\"";
    return model_path + ": " + call + " " + what_happened(failure) + "; " + message;
}

}  // namespace amisim
