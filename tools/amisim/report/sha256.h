// SHA-256 of a file, for the record of what a run read: the same digest as
// sha256sum prints.
#ifndef AMISIM_SHA256_H
#define AMISIM_SHA256_H

#include <string>

namespace amisim {

// Lower-case hex digest of the bytes; of a file, false with a message when
// it cannot be read.
std::string sha256_hex(const std::string &bytes);
bool sha256_file(const std::string &path, std::string &digest, std::string &error);

}  // namespace amisim

#endif  // AMISIM_SHA256_H
