// The IBIS-AMI entry points of Halvorin_7314_Tx and its instance record.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Halvorin_7314_Tx.h"
#include "common/message_scratch.h"
#include "model/preemphasis_blocks.h"
#include "tree/capped_parse.h"

namespace {

constexpr char kModelName[] = "Halvorin_7314_Tx";
constexpr int32_t kParamCount = 2;
constexpr int kCornerEntry = 0;
constexpr int kPreemphEntry = 1;

// Handed back when an instance cannot be built. Simulators only read these.
constexpr char kOutOfMemoryMessage[] =
    "**Error** Halvorin_7314_Tx: out of memory in AMI_Init; the model is not initialised.\n";
constexpr char kNoHandleMessage[] =
    "**Error** Halvorin_7314_Tx: AMI_Init was given no memory handle; the model is not "
    "initialised.\n";
constexpr char kNoParameters[] = "";

// A hostile parameter string can make the reader report on nearly every
// character. Its reports are kept up to this many bytes; the model's own
// lines after them, and the count of those left out, stay well within the
// remaining 1 KiB, so one AMI_Init's message is at most 64 KiB.
constexpr std::size_t kReaderMessageLimit = 64 * 1024 - 1024;

void append_scratch(char *&msg, ami::MessageScratch &scratch) {
    msg = string_cat(msg, scratch.text());
    scratch.clear();
}

// The pre-emphasis filter holds one configuration per corner.
constexpr int32_t kCornerCount = 3;

// Filters samples in place with the configuration of the selected corner,
// either from rest (leaving the filter at rest) or continuing its state.
void apply_preemphasis(AmiMemory &self, double *samples, long count, bool from_rest) {
    ami::filter_in_chunks(self.filter, TxTapPZFGetIndex(self.tx_corner), samples, count, from_rest);
}

void release_instance(AmiMemory *self) {
    DeletePeakingFilter(self->filter);
    FreeTree(self->params.name, self->params.count, self->params.entries);
    std::free(self->params.entries);
    std::free(self->params_out);
    std::free(self->msg);
    std::free(self);
}

// Nothing half-built is handed out: the simulator gets a null instance (on
// which AMI_GetWave and AMI_Close do nothing), an explanation and the
// standard's failure result.
long fail_init(AmiMemory *partial, const char *reason, char **parameters_out, void **memory_handle,
               char **msg) {
    if (partial != nullptr) {
        release_instance(partial);
    }
    if (memory_handle != nullptr) {
        *memory_handle = nullptr;
    }
    if (parameters_out != nullptr) {
        *parameters_out = const_cast<char *>(kNoParameters);
    }
    if (msg != nullptr) {
        *msg = const_cast<char *>(reason);
    }
    return 0;
}

long fail_out_of_memory(AmiMemory *partial, char **parameters_out, void **memory_handle,
                        char **msg) {
    return fail_init(partial, kOutOfMemoryMessage, parameters_out, memory_handle, msg);
}

// The filter design needs a sample interval it can divide by.
bool refuse_sample_interval(double sample_interval, char *&msg) {
    if (std::isfinite(sample_interval) && sample_interval > 0.0) {
        return false;
    }
    char line[192];
    (void)std::snprintf(line, sizeof line,
                        "**Error** Halvorin_7314_Tx: sample_interval %g s is not a finite time "
                        "above 0; the model is not initialised and AMI_GetWave passes samples "
                        "through.\n",
                        sample_interval);
    msg = string_cat(msg, line);
    return true;
}

// Invalid values fall back to 0 in the tree, so the echo shows what is used.
void validate_parameters(AmiMemory &self, ami::MessageScratch &scratch) {
    ParamValue &corner = self.params.entries[kCornerEntry].value;
    if (corner.as_int < -1 || corner.as_int > 1) {
        corner.as_int = 0;
        WarnPrt(scratch.data(), ami::MessageScratch::kAnnouncedSize, "Invalid TX_Corner\n\n");
        append_scratch(self.msg, scratch);
    }
    ParamValue &preemph = self.params.entries[kPreemphEntry].value;
    if (static_cast<uint32_t>(preemph.as_int) > 1) {
        preemph.as_int = 0;
        WarnPrt(scratch.data(), ami::MessageScratch::kAnnouncedSize, "Invalid TX_Preemph\n\n");
        append_scratch(self.msg, scratch);
    }
}

}  // namespace

long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
              double /*bit_time*/, char *AMI_parameters_in, char **AMI_parameters_out,
              void **AMI_memory_handle, char **msg) {
    if (AMI_memory_handle == nullptr) {
        // The instance could never be closed: do not make one.
        return fail_init(nullptr, kNoHandleMessage, AMI_parameters_out, AMI_memory_handle, msg);
    }
    auto *self = static_cast<AmiMemory *>(std::calloc(1, sizeof(AmiMemory)));
    *AMI_memory_handle = self;
    if (self == nullptr) {
        return fail_out_of_memory(nullptr, AMI_parameters_out, AMI_memory_handle, msg);
    }

    auto *entries = static_cast<Param *>(std::calloc(kParamCount, sizeof(Param)));
    self->params = ParamBranch{kModelName, entries == nullptr ? 0 : kParamCount, entries};
    if (entries == nullptr) {
        return fail_out_of_memory(self, AMI_parameters_out, AMI_memory_handle, msg);
    }
    entries[kCornerEntry].name = "TX_Corner";
    entries[kCornerEntry].type = PARAM_INT;
    entries[kCornerEntry].value.as_int = 0;
    entries[kPreemphEntry].name = "TX_Preemph";
    entries[kPreemphEntry].type = PARAM_INT;
    entries[kPreemphEntry].value.as_int = 0;

    // Reports of the reading (conversion errors and the like) come first in
    // the message string, before the Info line.
    self->msg = nullptr;
    int32_t configured = 0;
    std::size_t left_out = 0;
    if (AMI_parameters_in != nullptr) {
        configured = ami::parse_tree_capped(AMI_parameters_in, self->params.name,
                                            self->params.count, self->params.entries, &self->msg,
                                            kReaderMessageLimit, &left_out);
    }

    ami::MessageScratch scratch;
    (void)std::snprintf(scratch.data(), ami::MessageScratch::kAnnouncedSize + 1,
                        "**Info** Configured %d items through parameter string.\n", configured);
    append_scratch(self->msg, scratch);
    if (self->msg == nullptr) {
        return fail_out_of_memory(self, AMI_parameters_out, AMI_memory_handle, msg);
    }
    validate_parameters(*self, scratch);

    // Every instance holds the filter of all three corners, whatever
    // TX_Preemph says. The design gives up only when memory runs out. A
    // refused sample interval leaves the filter empty, which passes samples
    // through and which AMI_Close releases like any other.
    const bool refused = refuse_sample_interval(sample_interval, self->msg);
    if (!refused) {
        self->filter = TxTapPZFGetFilter(sample_interval, scratch.data(),
                                         static_cast<int32_t>(ami::MessageScratch::kAnnouncedSize));
        scratch.clear();
        if (self->filter.filter_count != kCornerCount) {
            return fail_out_of_memory(self, AMI_parameters_out, AMI_memory_handle, msg);
        }
    }
    if (left_out > 0) {
        char line[160];
        (void)std::snprintf(line, sizeof line,
                            "**Warning** Halvorin_7314_Tx: %zu further messages about the "
                            "parameter string were left out.\n",
                            left_out);
        self->msg = string_cat(self->msg, line);
    }
    self->tx_preemph = entries[kPreemphEntry].value.as_int;
    self->tx_corner = entries[kCornerEntry].value.as_int;

    if (self->tx_preemph == 1 && impulse_matrix != nullptr && row_size > 0) {
        for (long k = 0; k <= aggressors; ++k) {
            double *response =
                impulse_matrix + static_cast<std::size_t>(k) * static_cast<std::size_t>(row_size);
            apply_preemphasis(*self, response, row_size, true);
        }
    }

    self->params_out = GrowTree(self->params.name, self->params.count, self->params.entries);
    if (self->params_out == nullptr) {
        return fail_out_of_memory(self, AMI_parameters_out, AMI_memory_handle, msg);
    }
    if (AMI_parameters_out != nullptr) {
        *AMI_parameters_out = self->params_out;
    }
    if (msg != nullptr) {
        *msg = self->msg;
    }
    return refused ? 0 : 1;
}

long AMI_GetWave(double *wave, long wave_size, double * /*clock_times*/, char **AMI_parameters_out,
                 void *AMI_memory) {
    if (AMI_memory == nullptr) {
        return 1;
    }
    auto *self = static_cast<AmiMemory *>(AMI_memory);
    if (self->tx_preemph == 1 && wave != nullptr && wave_size > 0) {
        apply_preemphasis(*self, wave, wave_size, false);
    }
    if (AMI_parameters_out != nullptr) {
        *AMI_parameters_out = nullptr;
    }
    return 1;
}

long AMI_Close(void *AMI_memory) {
    if (AMI_memory != nullptr) {
        release_instance(static_cast<AmiMemory *>(AMI_memory));
    }
    return 1;
}
