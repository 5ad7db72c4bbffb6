#include "tools/amisim/report/json_writer.h"

#include <cmath>
#include <cstdio>

namespace amisim {

namespace {

// Length of the UTF-8 sequence at text[i], or 0 when the bytes there are
// not one (overlong forms, surrogates and code points past U+10FFFF
// included).
std::size_t utf8_length(const std::string &text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t lowest = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1Fu;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0Fu;
        lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07u;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

}  // namespace

std::string json_string(const std::string &text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8_length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!filled_.empty()) {
        out_ += filled_.back() ? ",\n" : "\n";
        filled_.back() = true;
        out_.append(2 * filled_.size(), ' ');
    }
}

void JsonWriter::open(char bracket) {
    before_value();
    out_ += bracket;
    filled_.push_back(false);
}

void JsonWriter::close(char bracket) {
    const bool filled = filled_.back();
    filled_.pop_back();
    if (filled) {
        out_ += '\n';
        out_.append(2 * filled_.size(), ' ');
    }
    out_ += bracket;
}

void JsonWriter::begin_object() {
    open('{');
}
void JsonWriter::end_object() {
    close('}');
}
void JsonWriter::begin_array() {
    open('[');
}
void JsonWriter::end_array() {
    close(']');
}

JsonWriter &JsonWriter::key(const std::string &name) {
    before_value();
    out_ += json_string(name) + ": ";
    after_key_ = true;
    return *this;
}

void JsonWriter::value(double number) {
    if (!std::isfinite(number)) {
        null();
        return;
    }
    before_value();
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", number);
    out_ += text;
}

void JsonWriter::value(std::int64_t number) {
    before_value();
    out_ += std::to_string(number);
}

void JsonWriter::value(std::uint64_t number) {
    before_value();
    out_ += std::to_string(number);
}

void JsonWriter::value(bool flag) {
    before_value();
    out_ += flag ? "true" : "false";
}

void JsonWriter::value(const std::string &text) {
    before_value();
    out_ += json_string(text);
}

void JsonWriter::null() {
    before_value();
    out_ += "null";
}

void JsonWriter::value(const std::vector<double> &numbers) {
    before_value();
    out_ += '[';
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) {
            out_ += ", ";
        }
        char text[32];
        if (std::isfinite(numbers[i])) {
            std::snprintf(text, sizeof text, "%.17g", numbers[i]);
            out_ += text;
        } else {
            out_ += "null";
        }
    }
    out_ += ']';
}

}  // namespace amisim
