// Just enough JSON for results.json: objects, arrays, strings, numbers,
// booleans and null, indented two spaces a level. Numbers are written with
// 17 significant digits, so a reader gets the same double back; numbers that
// are not finite have no JSON form and are written as null. Strings are
// escaped, and bytes that are not UTF-8 (a model's message may hold any)
// become U+FFFD, so the file is always valid JSON.
#ifndef AMISIM_JSON_WRITER_H
#define AMISIM_JSON_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

namespace amisim {

class JsonWriter {
  public:
    void begin_object();
    void end_object();
    void begin_array();
    void end_array();
    // The key of the next value, inside an object.
    JsonWriter &key(const std::string &name);

    void value(double number);
    void value(std::int64_t number);
    void value(std::uint64_t number);
    void value(int number) { value(static_cast<std::int64_t>(number)); }
    void value(bool flag);
    void value(const std::string &text);
    void value(const char *text) { value(std::string(text)); }
    void null();
    void value(const std::vector<double> &numbers);

    // The document, ending with a newline.
    std::string text() const { return out_ + "\n"; }

  private:
    void before_value();
    void open(char bracket);
    void close(char bracket);

    std::string out_;
    // Per open container: whether it holds a value yet.
    std::vector<bool> filled_;
    bool after_key_ = false;
};

// text as a JSON string literal, quotes included.
std::string json_string(const std::string &text);

}  // namespace amisim

#endif  // AMISIM_JSON_WRITER_H
