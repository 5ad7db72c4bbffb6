// Parameter strings are IBIS-AMI syntax, where numbers always use a decimal
// point. A simulator may have set a locale with another decimal separator;
// this guard switches the calling thread to the C locale for the duration of
// a scope and back afterwards. Other threads are not affected.
#ifndef AMI_COMMON_C_NUMERIC_LOCALE_H
#define AMI_COMMON_C_NUMERIC_LOCALE_H

#include <locale.h>

namespace ami {

class CNumericLocale {
  public:
    // For "C" in every category glibc hands out its built-in locale object
    // without allocating.
    CNumericLocale() : c_locale_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr))) {
        if (c_locale_ != static_cast<locale_t>(nullptr)) {
            previous_ = uselocale(c_locale_);
        }
    }
    ~CNumericLocale() {
        if (c_locale_ != static_cast<locale_t>(nullptr)) {
            uselocale(previous_);
            freelocale(c_locale_);
        }
    }
    CNumericLocale(const CNumericLocale &) = delete;
    CNumericLocale &operator=(const CNumericLocale &) = delete;

  private:
    locale_t c_locale_;
    locale_t previous_ = static_cast<locale_t>(nullptr);
};

}  // namespace ami

#endif  // AMI_COMMON_C_NUMERIC_LOCALE_H
