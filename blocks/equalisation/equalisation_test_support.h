// Shared pieces of the equalisation tests: bit patterns for exact
// comparisons, a PRBS7 bit source, and waveforms of it through a lossy
// channel.
#ifndef AMI_BLOCKS_EQUALISATION_EQUALISATION_TEST_SUPPORT_H
#define AMI_BLOCKS_EQUALISATION_EQUALISATION_TEST_SUPPORT_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "Kestrom_AMI_Model.h"

// The bits of each double, so that EXPECT_EQ compares exactly (signed
// zeros and NaNs included) and prints the values that differ.
inline std::vector<uint64_t> bits_of(const std::vector<double> &values) {
    std::vector<uint64_t> bits(values.size());
    if (!values.empty()) {
        std::memcpy(bits.data(), values.data(), values.size() * sizeof(double));
    }
    return bits;
}

// x^7 + x^6 + 1, from an all-ones register: 127 bits, then it repeats.
inline std::vector<int> prbs7_bits(std::size_t count) {
    std::vector<int> bits(count);
    unsigned state = 0x7fU;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned bit = ((state >> 6) ^ (state >> 5)) & 1U;
        state = ((state << 1) | bit) & 0x7fU;
        bits[i] = static_cast<int>(bit);
    }
    return bits;
}

// The bits as levels of +-0.5, samples_per_bit samples each, starting
// delay samples late (the first delay samples repeat the first bit's
// opposite), then through a two-pole low-pass (two equal first-order
// sections with the given per-sample pole), applied sample by sample.
inline std::vector<double> lossy_wave(const std::vector<int> &bits, int samples_per_bit, int delay,
                                      double pole) {
    std::vector<double> wave;
    wave.reserve(bits.size() * static_cast<std::size_t>(samples_per_bit) +
                 static_cast<std::size_t>(delay));
    const double before = bits.empty() || bits[0] != 0 ? -0.5 : 0.5;
    double first = before;
    double second = before;
    auto push = [&](double level) {
        first = pole * first + (1 - pole) * level;
        second = pole * second + (1 - pole) * first;
        wave.push_back(second);
    };
    for (int s = 0; s < delay; ++s) {
        push(before);
    }
    for (int bit : bits) {
        for (int s = 0; s < samples_per_bit; ++s) {
            push(bit != 0 ? 0.5 : -0.5);
        }
    }
    return wave;
}

// Every cell of a CDR record, decisions included, in field order.
inline std::vector<double> cdr_cells(const CDR &cdr) {
    std::vector<double> cells = {*cdr.clock_phase,
                                 static_cast<double>(*cdr.vote_threshold),
                                 static_cast<double>(*cdr.sample_index),
                                 static_cast<double>(*cdr.wrap_count),
                                 *cdr.edge_timer,
                                 *cdr.data_timer,
                                 *cdr.data_offset,
                                 *cdr.previous_sample,
                                 *cdr.data_decision,
                                 *cdr.edge_decision,
                                 *cdr.retimed,
                                 static_cast<double>(*cdr.votes),
                                 *cdr.next_reference,
                                 *cdr.last_reference};
    cells.insert(cells.end(), cdr.decisions, cdr.decisions + cdr.decision_count);
    return cells;
}

#endif  // AMI_BLOCKS_EQUALISATION_EQUALISATION_TEST_SUPPORT_H
