// Switches the process to a locale whose decimal separator is a comma, as a
// simulator might, for the lifetime of the object. The locale is compiled
// into a temporary folder with localedef; available() is false where that
// cannot be done.
#ifndef AMI_TESTS_DECIMAL_COMMA_LOCALE_H
#define AMI_TESTS_DECIMAL_COMMA_LOCALE_H

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

class DecimalCommaLocale {
  public:
    DecimalCommaLocale() {
        char folder[] = "/tmp/ami_locale_XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            return;
        }
        folder_ = folder;
        const std::string command =
            "localedef -i de_DE -f UTF-8 " + folder_ + "/de_DE.UTF-8 >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            return;
        }
        const char *old_path = std::getenv("LOCPATH");
        had_locpath_ = old_path != nullptr;
        if (had_locpath_) {
            old_locpath_ = old_path;
        }
        setenv("LOCPATH", folder_.c_str(), 1);
        const char *previous = std::setlocale(LC_NUMERIC, nullptr);
        previous_ = previous == nullptr ? "C" : previous;
        available_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        char probe[16];
        std::snprintf(probe, sizeof probe, "%g", 0.5);
        available_ = available_ && std::string(probe) == "0,5";
    }
    ~DecimalCommaLocale() {
        std::setlocale(LC_NUMERIC, previous_.c_str());
        if (had_locpath_) {
            setenv("LOCPATH", old_locpath_.c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
        if (!folder_.empty()) {
            std::system(("rm -rf " + folder_).c_str());
        }
    }
    DecimalCommaLocale(const DecimalCommaLocale &) = delete;
    DecimalCommaLocale &operator=(const DecimalCommaLocale &) = delete;

    bool available() const { return available_; }

  private:
    std::string folder_;
    std::string previous_ = "C";
    std::string old_locpath_;
    bool had_locpath_ = false;
    bool available_ = false;
};

#endif  // AMI_TESTS_DECIMAL_COMMA_LOCALE_H
