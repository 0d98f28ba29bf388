#include "tools/text_pattern.h"

#include <regex>

struct TextPattern::Compiled {
    std::regex expression;
};

std::optional<TextPattern> TextPattern::compile(const std::string& expression) {
    try {
        return TextPattern(std::make_unique<Compiled>(Compiled{std::regex(expression)}));
    } catch (const std::regex_error&) {
        return std::nullopt;
    }
}

bool TextPattern::found_in(const std::string& text) const {
    return std::regex_search(text, compiled_->expression);
}

TextPattern::TextPattern(std::unique_ptr<Compiled> compiled) : compiled_(std::move(compiled)) {}
TextPattern::TextPattern(TextPattern&&) noexcept = default;
TextPattern& TextPattern::operator=(TextPattern&&) noexcept = default;
TextPattern::~TextPattern() = default;
