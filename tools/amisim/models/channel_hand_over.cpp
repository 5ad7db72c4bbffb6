#include "tools/amisim/models/channel_hand_over.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/channel/touchstone.h"
#include "tools/amisim/channel/touchstone_channel.h"

namespace amisim {

namespace {

int fail(const std::string &message) {
    std::fprintf(stderr, "amisim: error: %s\n", message.c_str());
    return 2;
}

// Writes the channel as "time sample" lines into a new temporary file.
bool write_temporary_channel(const Channel &channel, double dt, std::string &path,
                             std::string &error) {
    const char *folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                          "/amisim-channel-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        error = pattern + ": " + std::strerror(errno);
        return false;
    }
    path = name.data();
    std::FILE *file = fdopen(descriptor, "w");
    if (file == nullptr) {
        close(descriptor);
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(file, "# time (s), impulse response (1/s)\n");
    const std::vector<double> &h = channel.columns[0];
    for (std::size_t n = 0; n < h.size(); ++n) {
        std::fprintf(file, "%.17g %.17g\n", static_cast<double>(n) * dt, h[n]);
    }
    if (std::fclose(file) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

bool needs_converted_channel(ElfClass model, const Options &options) {
    const ElfClass self = sizeof(void *) == 8 ? ElfClass::k64 : ElfClass::k32;
    return model != self && fft_available() && !options.channel_file.empty() &&
           looks_like_touchstone(options.channel_file);
}

int hand_over_with_converted_channel(ElfClass model, const std::string &model_path,
                                     const Options &options, int argc, char **argv) {
    Channel channel;
    std::string error;
    if (!read_touchstone_channel(options.channel_file, options.channel_ports,
                                 options.sample_interval, channel, error)) {
        return fail(error);
    }
    std::printf("channel (converted for the other stand-in): %s\n", channel.description.c_str());
    std::string path;
    if (!write_temporary_channel(channel, options.sample_interval, path, error)) {
        return fail(error);
    }
    // The same arguments with --channel naming the converted file, and
    // without --ports, which the converted file has no use for.
    std::vector<std::string> arguments(argv, argv + 1);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--channel" || argument == "--ports") && i + 1 < argc) {
            if (argument == "--channel") {
                arguments.push_back(argument);
                arguments.push_back(path);
            }
            ++i;
        } else if (argument.rfind("--channel=", 0) == 0) {
            arguments.push_back("--channel=" + path);
        } else if (argument.rfind("--ports=", 0) != 0) {
            arguments.push_back(argument);
        }
    }
    std::vector<char *> pointers;
    pointers.reserve(arguments.size() + 1);
    for (std::string &argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0) {
        unlink(path.c_str());
        return fail(std::string("cannot start the other stand-in: ") + std::strerror(errno));
    }
    if (child == 0) {
        hand_over_if_other_architecture(model, model_path, static_cast<int>(arguments.size()),
                                        pointers.data());
        _exit(2);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    unlink(path.c_str());
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return fail("the other stand-in ended by signal " + std::to_string(WTERMSIG(status)));
}

}  // namespace amisim
