// Simulators load and unload models many times in one process: a thousand
// rounds of dlopen, AMI_Init, AMI_GetWave, AMI_Close and dlclose must leave
// the process's resident memory where it was after the first rounds, and
// must actually unload the library each time.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

using InitFunction = long (*)(double *, long, long, double, double, char *, char **, void **,
                              char **);
using GetWaveFunction = long (*)(double *, long, double *, char **, void *);
using CloseFunction = long (*)(void *);

long resident_bytes() {
    long pages = 0;
    long resident = 0;
    std::FILE *statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return -1;
    }
    const int read = std::fscanf(statm, "%ld %ld", &pages, &resident);
    std::fclose(statm);
    return read == 2 ? resident * sysconf(_SC_PAGESIZE) : -1;
}

// One simulator session with a freshly loaded model.
void one_session(std::vector<double> &impulse, std::vector<double> &wave) {
    void *library = dlopen(AMI_MODEL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto init = reinterpret_cast<InitFunction>(dlsym(library, "AMI_Init"));
    auto get_wave = reinterpret_cast<GetWaveFunction>(dlsym(library, "AMI_GetWave"));
    auto close = reinterpret_cast<CloseFunction>(dlsym(library, "AMI_Close"));
    ASSERT_TRUE(init != nullptr && get_wave != nullptr && close != nullptr);
    char parameters[] = "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))";
    char *params_out = nullptr;
    char *msg = nullptr;
    void *memory = nullptr;
    ASSERT_EQ(init(impulse.data(), static_cast<long>(impulse.size()), 0, 1e-12, 3.2e-11, parameters,
                   &params_out, &memory, &msg),
              1);
    for (std::size_t start = 0; start < wave.size(); start += 1024) {
        ASSERT_EQ(get_wave(wave.data() + start, 1024, nullptr, &params_out, memory), 1);
    }
    ASSERT_EQ(close(memory), 1);
    ASSERT_EQ(dlclose(library), 0);
    // Unloaded: a no-load open finds it gone.
    void *still_there = dlopen(AMI_MODEL_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(still_there, nullptr);
    if (still_there != nullptr) {
        dlclose(still_there);
    }
}

TEST(PluginReload, ThousandLoadCyclesKeepResidentMemoryFlat) {
    std::vector<double> impulse(512, 0.0);
    impulse[3] = 1e12;
    std::vector<double> wave(8192, 0.5);
    for (int round = 0; round < 50; ++round) {
        ASSERT_NO_FATAL_FAILURE(one_session(impulse, wave));
    }
    const long warm = resident_bytes();
    ASSERT_GT(warm, 0);
    for (int round = 50; round < 1000; ++round) {
        ASSERT_NO_FATAL_FAILURE(one_session(impulse, wave)) << "round " << round;
    }
    EXPECT_LT(resident_bytes() - warm, 1L << 20);
}

}  // namespace
