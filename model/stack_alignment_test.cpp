// The i386 library called with a stack aligned to 4, 8 or 12 bytes only,
// as simulators built by older compilers call it: results must not change.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Halvorin_7314_Tx.h"

extern "C" long misaligned_call(const void *function, const uint32_t *words, int word_count,
                                int misalignment);

namespace {

class ArgumentWords {
  public:
    template <typename T>
    ArgumentWords &operator<<(T value) {
        static_assert(sizeof(T) % 4 == 0, "cdecl arguments are whole words");
        uint32_t words[sizeof(T) / 4];
        std::memcpy(words, &value, sizeof(T));
        words_.insert(words_.end(), words, words + sizeof(T) / 4);
        return *this;
    }
    const uint32_t *data() const { return words_.data(); }
    int count() const { return static_cast<int>(words_.size()); }

  private:
    std::vector<uint32_t> words_;
};

struct CycleResult {
    long init = 0, getwave = 0, close = 0;
    std::string message, echo;
    std::vector<double> impulse, wave;
};

CycleResult run_cycle(int misalignment) {
    CycleResult r;
    r.impulse.assign(4 * 40, 0.0);
    for (int k = 0; k < 4; ++k) {
        r.impulse[static_cast<std::size_t>(k) * 40 + static_cast<std::size_t>(k)] = 1e12;
    }
    r.wave.assign(200, 0.0);
    for (std::size_t i = 0; i < r.wave.size(); ++i) {
        r.wave[i] = (i / 10) % 3 == 0 ? 0.5 : -0.5;
    }
    char parameters[] = "(Halvorin_7314_Tx (TX_Corner -1) (TX_Preemph 1))";
    char *params_out = nullptr;
    char *msg = nullptr;
    void *memory = nullptr;

    ArgumentWords init;
    init << r.impulse.data() << 40L << 3L << 1e-12 << 32e-12 << parameters << &params_out << &memory
         << &msg;
    r.init = misaligned_call(reinterpret_cast<const void *>(&AMI_Init), init.data(), init.count(),
                             misalignment);
    r.message = msg == nullptr ? "<null>" : msg;
    r.echo = params_out == nullptr ? "<null>" : params_out;

    ArgumentWords getwave;
    getwave << r.wave.data() << static_cast<long>(r.wave.size()) << static_cast<double *>(nullptr)
            << &params_out << memory;
    r.getwave = misaligned_call(reinterpret_cast<const void *>(&AMI_GetWave), getwave.data(),
                                getwave.count(), misalignment);

    ArgumentWords close;
    close << memory;
    r.close = misaligned_call(reinterpret_cast<const void *>(&AMI_Close), close.data(),
                              close.count(), misalignment);
    return r;
}

TEST(StackAlignment, EntryPointsWorkOnAStackAlignedToFourBytes) {
    const CycleResult aligned = run_cycle(0);
    ASSERT_EQ(aligned.init, 1);
    for (int misalignment : {4, 8, 12}) {
        SCOPED_TRACE("stack misaligned by " + std::to_string(misalignment));
        const CycleResult shifted = run_cycle(misalignment);
        EXPECT_EQ(shifted.init, 1);
        EXPECT_EQ(shifted.getwave, 1);
        EXPECT_EQ(shifted.close, 1);
        EXPECT_EQ(shifted.message, aligned.message);
        EXPECT_EQ(shifted.echo, aligned.echo);
        EXPECT_EQ(shifted.impulse, aligned.impulse);
        EXPECT_EQ(shifted.wave, aligned.wave);
    }
}

}  // namespace
