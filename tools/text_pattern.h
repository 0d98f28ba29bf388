// A regular expression (ECMAScript) looked for in the screen's text. Compiled once; the
// standard library's regex stays inside text_pattern.cpp.
#pragma once

#include <memory>
#include <optional>
#include <string>

class TextPattern {
  public:
    // The pattern, or nothing when `expression` is not a valid regular expression.
    static std::optional<TextPattern> compile(const std::string& expression);

    // Whether the pattern occurs anywhere in `text`.
    bool found_in(const std::string& text) const;

    TextPattern(TextPattern&&) noexcept;
    TextPattern& operator=(TextPattern&&) noexcept;
    ~TextPattern();

  private:
    struct Compiled;
    explicit TextPattern(std::unique_ptr<Compiled> compiled);
    std::unique_ptr<Compiled> compiled_;
};
