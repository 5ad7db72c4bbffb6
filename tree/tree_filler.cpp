// Filling a parameter tree from a parameter string. The lexer and the grammar
// are asked about every character; names are looked up in the branch the
// reader stands in, and values are converted by their entry's type and
// stored in place. Unknown names, and everything under them, are passed over
// silently. Every problem becomes a line of the message string; nothing
// stops the reading.
//
// The work per character is bounded (a message is at most the scratch's
// size, a number is read once per token), so reading is linear in the length
// of the string however many messages it produces.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "IBIS_AMI_tree.h"
#include "common/c_numeric_locale.h"
#include "common/message_scratch.h"
#include "common/text_builder.h"
#include "tree/array_growth.h"
#include "tree/capped_parse.h"
#include "tree/number_scan.h"

namespace {

// The outermost list, its sub-lists and up to 15 levels of lists of lists.
constexpr int kLevels = 16;
constexpr char kUnknownBranch[] = "NotMine";

// Reports of the filler: the text before and after the entry's name.
struct Report {
    const char *before;
    const char *after;
};
constexpr Report kCouldNotConvert{"**Error** Could not convert value for ", ".\n"};
constexpr Report kExtraValue{"**Warning** Extra white space and text encountered in value for ",
                             ".\n"};
constexpr Report kListForScalar{"**Error** '(' encountered in parameter string when value for ",
                                " was expected.\n"};

bool is_array(ParamType type) {
    return type == PARAM_DOUBLE_ARRAY || type == PARAM_LONG_ARRAY || type == PARAM_INT_ARRAY ||
           type == PARAM_SHORT_ARRAY;
}

class TreeFiller {
  public:
    TreeFiller(const char *name, int32_t count, Param *entries, std::size_t message_limit)
        : root_branch_{name, count, entries}, message_limit_(message_limit) {
        root_entry_.name = name;
        root_entry_.type = PARAM_BRANCH;
        root_entry_.value.branch = &root_branch_;
        // Level 0 holds the tree's root as its only entry, so the outermost
        // list must be headed by the root's name.
        levels_[0] = ParamBranch{"MotherEarth", 1, &root_entry_};
    }

    void read(const char *text) {
        for (const char *p = text; *p != '\0'; ++p) {
            const ParserState before = state_;
            kind_ = AmiLexer(p, kind_, before, &token_, &in_quote_, &token_complete_,
                             scratch_.data(), ami::MessageScratch::kAnnouncedSize);
            flush_scratch();
            if (token_complete_ == 1 && kind_ == TOKEN_TEXT) {
                take_text(before);
            } else if (token_complete_ == 1 && kind_ == TOKEN_OPEN && before == EXPECT_VALUE &&
                       depth_ <= kLevels - 2) {
                enter_sub_list();
            }
            state_ = AmiParser(kind_, before, &token_complete_, &depth_, scratch_.data(),
                               ami::MessageScratch::kAnnouncedSize);
            flush_scratch();
        }
    }

    int32_t configured() const { return configured_; }
    std::size_t left_out() const { return left_out_; }

    // The collected messages as a malloc'd text, or null when there are none
    // (or when memory ran out while collecting them).
    char *release_messages() { return messages_.empty() ? nullptr : messages_.release(); }

  private:
    // A message goes in whole while the text stays within the limit; from
    // the first that would pass it on, messages are only counted, so the
    // text kept is the start of the whole.
    bool room_for(std::size_t length) {
        if (left_out_ == 0 && length <= message_limit_ &&
            messages_.size() <= message_limit_ - length) {
            return true;
        }
        ++left_out_;
        return false;
    }

    // Messages of the lexer and the grammar stand followed by an empty line.
    void flush_scratch() {
        if (!scratch_.empty()) {
            if (room_for(std::strlen(scratch_.text()) + 1)) {
                messages_.append(scratch_.text());
                messages_.append('\n');
            }
            scratch_.clear();
        }
    }

    // Reports name the entry in full, whatever its length.
    void report(const Report &report) {
        if (room_for(std::strlen(report.before) + std::strlen(current_->name) +
                     std::strlen(report.after))) {
            messages_.append(report.before);
            messages_.append(current_->name);
            messages_.append(report.after);
        }
    }

    void take_text(ParserState before) {
        switch (before) {
            case EXPECT_NAME:
                current_ = look_up(levels_[depth_]);
                break;
            case EXPECT_VALUE:
                if (current_ != nullptr) {
                    const int32_t converted = convert_first_value();
                    configured_ += converted;
                    if (converted == 0) {
                        report(kCouldNotConvert);
                    }
                }
                break;
            case AFTER_VALUE:
                if (current_ != nullptr) {
                    if (is_array(current_->type)) {
                        const int32_t converted = append_to_array();
                        configured_ += converted;
                        if (converted == 0) {
                            report(kCouldNotConvert);
                        }
                    } else {
                        report(kExtraValue);
                        report(kCouldNotConvert);
                    }
                }
                break;
            default:
                break;  // the grammar reports text outside a list
        }
    }

    // The first entry whose name is exactly the token, case included.
    Param *look_up(const ParamBranch &branch) const {
        if (branch.entries == nullptr) {
            return nullptr;
        }
        const auto length = static_cast<std::size_t>(token_.length);
        for (int32_t i = 0; i < branch.count; ++i) {
            Param &entry = branch.entries[i];
            if (entry.name != nullptr && std::strncmp(entry.name, token_.start, length) == 0 &&
                entry.name[length] == '\0') {
                return &entry;
            }
        }
        return nullptr;
    }

    void enter_sub_list() {
        ParamBranch &level = levels_[depth_ + 1];
        level = ParamBranch{kUnknownBranch, 0, nullptr};
        if (current_ == nullptr) {
            return;
        }
        if (current_->type != PARAM_BRANCH) {
            report(kListForScalar);
        } else if (current_->value.branch != nullptr) {
            level = *current_->value.branch;
        }
    }

    // A token may be handed on again, longer, when an ignored quote joins
    // two words; the scanners read from the token's start on, so the number
    // found there is remembered rather than read again.
    ami::ScannedNumber scan(ami::NumberKind kind) {
        if (token_.start != scanned_start_ || kind != scanned_kind_) {
            scanned_ = ami::scan_number(token_.start, kind);
            scanned_start_ = token_.start;
            scanned_kind_ = kind;
        }
        return scanned_;
    }

    int32_t store_scalar(ami::NumberKind kind) {
        const ami::ScannedNumber number = scan(kind);
        if (!number.converted) {
            return 0;
        }
        ami::store_number(number, kind, &current_->value);
        return 1;
    }

    int32_t append_to_array() {
        if (current_->value.array == nullptr) {
            return 0;
        }
        const ami::NumberKind kind = ami::element_kind(current_->type);
        return ami::append_element(*current_->value.array, kind, scan(kind));
    }

    // The entry's text is the token's characters; the tree owns it, so an
    // earlier text is released.
    int32_t store_text() {
        const auto length = static_cast<std::size_t>(token_.length);
        auto *text = static_cast<char *>(std::malloc(length + 1));
        if (text == nullptr) {
            return 0;
        }
        std::memcpy(text, token_.start, length);
        text[length] = '\0';
        std::free(current_->value.text);
        current_->value.text = text;
        return 1;
    }

    int32_t convert_first_value() {
        switch (current_->type) {
            case PARAM_DOUBLE:
                return store_scalar(ami::NumberKind::Double);
            case PARAM_LONG:
                return store_scalar(ami::NumberKind::Long);
            case PARAM_INT:
                return store_scalar(ami::NumberKind::Int);
            case PARAM_SHORT:
                return store_scalar(ami::NumberKind::Short);
            case PARAM_CHAR:
                current_->value.as_char = *token_.start;
                return 1;
            case PARAM_DOUBLE_ARRAY:
            case PARAM_LONG_ARRAY:
            case PARAM_INT_ARRAY:
            case PARAM_SHORT_ARRAY:
                return append_to_array();
            case PARAM_STRING:
                return store_text();
            default:
                return 0;  // a branch, or a code outside the set, takes no text
        }
    }

    ParamBranch root_branch_;
    Param root_entry_{};
    ParamBranch levels_[kLevels] = {};

    TokenKind kind_ = TOKEN_SPACE;
    ParserState state_ = EXPECT_LIST;
    int32_t depth_ = 0;
    AmiToken token_ = {nullptr, 0};
    int32_t in_quote_ = 0;
    int32_t token_complete_ = 0;
    Param *current_ = nullptr;

    const char *scanned_start_ = nullptr;
    ami::NumberKind scanned_kind_ = ami::NumberKind::Double;
    ami::ScannedNumber scanned_;

    ami::MessageScratch scratch_;
    ami::TextBuilder messages_;
    std::size_t message_limit_;
    std::size_t left_out_ = 0;
    int32_t configured_ = 0;
};

}  // namespace

namespace ami {

int32_t parse_tree_capped(const char *text, const char *name, int32_t count, Param *entries,
                          char **msg, std::size_t message_limit, std::size_t *left_out) {
    if (msg != nullptr) {
        *msg = nullptr;
    }
    if (left_out != nullptr) {
        *left_out = 0;
    }
    if (text == nullptr || text[0] == '\0') {
        return 0;
    }
    const ami::CNumericLocale c_locale;
    TreeFiller filler(name, count, entries, message_limit);
    filler.read(text);
    char *messages = filler.release_messages();
    if (msg != nullptr) {
        *msg = messages;
    } else {
        std::free(messages);
    }
    if (left_out != nullptr) {
        *left_out = filler.left_out();
    }
    return filler.configured();
}

}  // namespace ami

int32_t ParseTree(const char *text, const char *name, int32_t count, Param *entries, char **msg) {
    return ami::parse_tree_capped(text, name, count, entries, msg, SIZE_MAX, nullptr);
}
